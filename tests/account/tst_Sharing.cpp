#include "../DevServer.h"
#include "../sync/SyncTestRig.h"
#include "SharingBackend.h"

#include <QTest>

// Sharing between two seeded people of one group, each with a library of their own: what one
// shares, the other pulls; view-only stays with the owner's text, edit goes both ways, and
// taking the share back takes the note away.
class tst_Sharing : public QObject
{
    Q_OBJECT
private slots:
    void shareSyncUnshare_data();
    void shareSyncUnshare();
};

// Runs one sharing call and waits for its answer.
template <typename... Args>
static std::tuple<Args...> await(const std::type_identity_t<std::function<void(std::function<void(Args...)>)>>& call)
{
    std::optional<std::tuple<Args...>> result;
    call([&](Args... args) { result.emplace(args...); });
    return QTest::qWaitFor([&] { return result.has_value(); }, 20000) ? *result : std::tuple<Args...>{};
}

static QList<NorvAccount::ShareMember> sharesOf(NoteSharingService& service, const QString& item)
{
    return std::get<0>(await<QList<NorvAccount::ShareMember>>([&](auto cb) { service.listMembers(item, cb); }));
}

static std::tuple<bool, QString> shareWith(NoteSharingService& service, const QString& item, const QString& who,
                                           const QString& permission)
{
    return await<bool, QString>([&](auto cb) { service.shareWith(item, who, permission, cb); });
}

void tst_Sharing::shareSyncUnshare_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("note") << int(NoteSharingService::Notes);
    QTest::newRow("notebook") << int(NoteSharingService::Notebooks);
}

void tst_Sharing::shareSyncUnshare()
{
    QFETCH(int, mode);
    DevServer server;
    NORV_REQUIRE_DEVSERVER(server);
    const QString root = server.url().toString();
    Device ada(root, QStringLiteral("ada@example.com"));
    Device ben(root, QStringLiteral("ben@example.com"));
    QVERIFY(ada.ok && ben.ok);
    const QString benId = server.signIn(DevServer::Ben).authUserId;

    QString notebookId;
    if (mode == NoteSharingService::Notebooks) {
        notebookId = ada.newNotebook(QStringLiteral("Lab book"));
        QVERIFY(!notebookId.isEmpty());
    }
    const Note note = ada.newNote(QStringLiteral("Engine tables"), notebookId);
    QVERIFY(ada.sync());
    NoteSharingService sharing(ada.api, NoteSharingService::Mode(mode));
    const QString item = notebookId.isEmpty() ? note.id : notebookId;

    // Someone outside the group cannot be given the note; the service's reason reaches the caller.
    const auto [refused, error] = shareWith(sharing, item, server.signIn(DevServer::Cleo).authUserId, "view");
    QVERIFY(!refused);
    QVERIFY2(error.contains(QLatin1String("not in your group")), qPrintable(error));

    QVERIFY(std::get<0>(shareWith(sharing, item, benId, "view")));
    const QList<NorvAccount::ShareMember> shares = sharesOf(sharing, item);
    QCOMPARE(shares.size(), 2); // the owner, then Ben
    QCOMPARE(shares.at(1).sharedWithAccountId, benId);

    QVERIFY(ben.sync());
    std::optional<Note> received = ben.notes->noteById(note.id);
    QVERIFY(received);
    QCOMPARE(received->body, note.body);
    QCOMPARE(received->permission, QStringLiteral("view"));

    // View only: an edit that reaches the service anyway is refused, and the owner keeps her text.
    ben.edit(note.id, QStringLiteral("Ben was here"));
    ben.sync();
    QVERIFY(ada.sync());
    QCOMPARE(ada.notes->noteById(note.id)->body, note.body);

    // Edit: the held-back change goes through, and the owner's next change comes back.
    QVERIFY(std::get<0>(shareWith(sharing, item, benId, "edit")));
    QVERIFY(ben.sync());
    QCOMPARE(ben.notes->noteById(note.id)->permission, QStringLiteral("edit"));
    QVERIFY(ada.sync());
    QCOMPARE(ada.notes->noteById(note.id)->body, Device::bodyOf(QStringLiteral("Ben was here")));
    ada.edit(note.id, QStringLiteral("Ada answers"));
    QVERIFY(ada.sync());
    QVERIFY(ben.sync());
    QCOMPARE(ben.notes->noteById(note.id)->body, Device::bodyOf(QStringLiteral("Ada answers")));

    // Unsharing takes the note away from Ben, text and all.
    const QString shareId = sharesOf(sharing, item).at(1).id;
    QVERIFY(std::get<0>(await<bool>([&](auto cb) { sharing.removeShare(item, shareId, cb); })));
    QCOMPARE(sharesOf(sharing, item).size(), 1);
    QVERIFY(ben.sync());
    QVERIFY(ben.notes->sharedWithMe().isEmpty());
    for (const QString& entry : ben.library())
        QVERIFY2(!entry.contains(QLatin1String("Ada answers")), qPrintable(entry));
}

QTEST_GUILESS_MAIN(tst_Sharing)
#include "tst_Sharing.moc"
