#include "ShareMembersDialog.h"
#include "SignedInClient.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace NorvAccount;

// A backend that names members by their account id, while the service answers with sign-in ids.
class AccountIdSharing : public NoteSharingService
{
public:
    using NoteSharingService::NoteSharingService;
    QString memberIdentity(const GroupMember& member) const override { return member.accountId; }
};

class tst_ShareMembersDialog : public QObject
{
    Q_OBJECT
private slots:
    void shareAndRemove_data();
    void shareAndRemove();
    void outsideAGroup();
    void initials_data();
    void initials();
};

static int shownCount(const QWidget& root, const char* name)
{
    int count = 0;
    for (QWidget* w : root.findChildren<QWidget*>(name))
        count += w->isHidden() ? 0 : 1;
    return count;
}

template <typename T = QPushButton> static T* firstShown(const QWidget& root, const char* name)
{
    for (T* w : root.findChildren<T*>(name)) {
        if (!w->isHidden())
            return w;
    }
    return nullptr;
}

static QString notebookOnServer(DevServer& server)
{
    const QString id = QStringLiteral("nb-shared-1");
    server.callJson("POST", "/notes/v1/notebooks", {{"id", id}, {"name", "Lab book"}},
                    server.signIn(DevServer::Ada).access);
    return id;
}

void tst_ShareMembersDialog::shareAndRemove_data()
{
    QTest::addColumn<bool>("byAccountId");
    QTest::newRow("sign-in id") << false;
    // The service echoes the sign-in id: a member shared by account id must still count as shared.
    QTest::newRow("account id") << true;
}

void tst_ShareMembersDialog::shareAndRemove()
{
    QFETCH(bool, byAccountId);
    DevServer server;
    NORV_REQUIRE_DEVSERVER(server);
    auto ada = signedInClient(server, DevServer::Ada);
    const QString notebookId = notebookOnServer(server);
    std::unique_ptr<NoteSharingService> backend =
        byAccountId ? std::make_unique<AccountIdSharing>(ada->notesApi(), NoteSharingService::Notebooks)
                    : std::make_unique<NoteSharingService>(ada->notesApi(), NoteSharingService::Notebooks);
    ShareMembersDialog dialog(ada.get(), backend.get(), notebookId, ShareDialogTexts{});
    QSignalSpy changed(&dialog, &ShareMembersDialog::sharingChanged);
    dialog.show();
    QTRY_VERIFY_WITH_TIMEOUT(dialog.isLoaded(), 20000);

    // Ada herself is never offered; Ben is, and nobody has access yet.
    QCOMPARE(shownCount(dialog, "memberRow"), 1);
    QCOMPARE(shownCount(dialog, "shareRow"), 0);
    QCOMPARE(shownCount(dialog, "emptySharesLabel"), 1);
    QCOMPARE(firstShown<QWidget>(dialog, "memberRow")->findChild<QLabel*>("nameLabel")->text(),
             QStringLiteral("Ben Okafor"));

    // The user grants view only; the row then changes it to edit in place.
    QCOMPARE(dialog.permission(), QStringLiteral("edit"));
    dialog.setPermission(QStringLiteral("view"));
    firstShown(dialog, "shareButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(changed.size(), 1, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(dialog.isLoaded() && shownCount(dialog, "shareRow") == 1, 20000);
    QCOMPARE(dialog.shares().last().permission, QStringLiteral("view"));
    auto* access = firstShown<QComboBox>(dialog, "sharePermission");
    QCOMPARE(access->currentData().toString(), QStringLiteral("view"));
    access->setCurrentIndex(access->findData(QStringLiteral("edit")));
    emit access->activated(access->currentIndex());
    QTRY_COMPARE_WITH_TIMEOUT(changed.size(), 2, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(dialog.isLoaded() && dialog.shares().size() == 2, 20000);
    QCOMPARE(dialog.shares().last().permission, QStringLiteral("edit"));
    QCOMPARE(shownCount(dialog, "memberRow"), 0);
    QVERIFY(!dialog.findChild<QLabel*>("everyoneNote")->isHidden());
    QCOMPARE(firstShown(dialog, "removeButton")->parentWidget()->findChild<QLabel*>("nameLabel")->text(),
             QStringLiteral("Ben Okafor"));

    {
        // Saying No keeps the share.
        ScriptedPrompts prompts;
        prompts.questions << false;
        firstShown(dialog, "removeButton")->click();
        QCOMPARE(prompts.asked.size(), 1);
        QVERIFY(prompts.asked.first().contains(QLatin1String("Ben Okafor")));
        QVERIFY(!dialog.isBusy());
    }
    ScriptedPrompts prompts;
    prompts.questions << true;
    firstShown(dialog, "removeButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(changed.size(), 3, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(dialog.isLoaded() && shownCount(dialog, "memberRow") == 1, 20000);
    QCOMPARE(shownCount(dialog, "shareRow"), 0);

    // A grant the service refuses shows its reason and changes nothing.
    server.addFault({{"pattern", "/notes/v1/notebooks/*/share"}, {"action", "status"}, {"status", 409}});
    firstShown(dialog, "shareButton")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.findChild<QLabel*>("errorLabel")->isHidden(), 20000);
    QVERIFY(!dialog.findChild<QLabel*>("errorLabel")->text().isEmpty());
    QCOMPARE(changed.size(), 3);
}

void tst_ShareMembersDialog::outsideAGroup()
{
    DevServer server;
    NORV_REQUIRE_DEVSERVER(server);
    auto cleo = signedInClient(server, DevServer::Cleo);
    NoteSharingService backend(cleo->notesApi(), NoteSharingService::Notes);
    ShareMembersDialog dialog(cleo.get(), &backend, QStringLiteral("no-such-note"), ShareDialogTexts{});
    dialog.show();
    QTRY_VERIFY_WITH_TIMEOUT(dialog.isLoaded(), 20000);
    QVERIFY(!dialog.findChild<QLabel*>("noGroupNote")->isHidden());
    QVERIFY(dialog.findChild<QLabel*>("everyoneNote")->isHidden());
    QCOMPARE(shownCount(dialog, "memberRow"), 0);
}

void tst_ShareMembersDialog::initials_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("email");
    QTest::addColumn<QString>("expected");
    const QStringList rows = {"ada lovelace|a@x|AL", "  Mary  Ann Evans ||ME", "Cleo|c@x|C", "|ben@x|B", "||?"};
    for (const QString& row : rows) {
        const QStringList f = row.split('|');
        QTest::newRow(qPrintable(row)) << f[0] << f[1] << f[2];
    }
}

void tst_ShareMembersDialog::initials()
{
    QFETCH(QString, name);
    QFETCH(QString, email);
    QFETCH(QString, expected);
    QCOMPARE(ShareMembersDialog::initials(name, email), expected);
}

QTEST_MAIN(tst_ShareMembersDialog)
#include "tst_ShareMembersDialog.moc"
