#include "../DevServer.h"
#include "AccountPrompts.h"
#include "AccountScreen.h"
#include "ApiClient.h"
#include "NorvAccountClient.h"
#include "ShareMembersDialog.h"
#include "TokenManager.h"
#include "TokenStore.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <memory>

using namespace NorvAccount;

// The application's account facade signed in to the reference server as one seeded user, with its
// tokens in memory, as a browser sign-in would leave it.
static std::unique_ptr<Client> signedInClient(DevServer& server, const QString& name)
{
    ClientConfig config;
    config.authBaseUrl = server.authBaseUrl().toString();
    config.accountApiUrl = server.accountApiUrl().toString();
    config.appId = QStringLiteral("app.norvane.Notes.tests");
    config.appVersion = QStringLiteral("1.1.1");
    auto client = std::make_unique<Client>(config, std::make_unique<MemoryTokenStore>());
    client->notesApi()->setBaseUrl(server.syncApiUrl());
    const DevServer::Tokens tokens = server.signIn({qPrintable(name + "@example.com"), ""});
    client->tokenManager()->setTokens(tokens.access, tokens.refresh);
    client->initialize();
    return client;
}

// Answers the account screen's and the share dialog's questions in order, and records what was asked.
struct ScriptedPrompts
{
    // Answers in order: texts for inputs, "yes" for a question; when they run out, inputs are cancelled.
    QStringList answers;
    QStringList asked;
    QStringList informed;

    ScriptedPrompts()
    {
        Prompts p;
        p.getText = [this](QWidget*, const QString& title, const QString& label, const QString&, QLineEdit::EchoMode,
                           bool* ok) {
            asked << title + QLatin1Char('|') + label;
            *ok = !answers.isEmpty();
            return *ok ? answers.takeFirst() : QString();
        };
        p.question = [this](QWidget*, const QString& title, const QString& text) {
            asked << title + QLatin1Char('|') + text;
            return !answers.isEmpty() && answers.takeFirst() == QLatin1String("yes");
        };
        p.information = [this](QWidget*, const QString& title, const QString& text) {
            informed << title + QLatin1Char('|') + text;
        };
        setPrompts(p);
    }
    ~ScriptedPrompts() { setPrompts({}); }
};

// The account screen and the share dialog against the reference server: every page fills from the
// services, every action tells the user truthfully whether it worked, group changes bring the new
// role with the refreshed token, and shares are granted, changed and taken back.
class tst_AccountScreen : public QObject
{
    Q_OBJECT
private slots:
    void pagesLoad_data();
    void pagesLoad();
    void actions_data();
    void actions();
    void shareDialog_data();
    void shareDialog();
    void avatarInitialsStandOut_data();
    void avatarInitialsStandOut();
};

// A backend that names members by their account id, while the service answers with sign-in ids.
class AccountIdSharing : public NoteSharingService
{
public:
    using NoteSharingService::NoteSharingService;
    QString memberIdentity(const GroupMember& member) const override { return member.accountId; }
};

template <typename T = QWidget> static QList<T*> shown(const QWidget& root, const QString& name)
{
    QList<T*> result;
    for (T* widget : root.findChildren<T*>(name)) {
        if (!widget->isHidden())
            result << widget;
    }
    return result;
}

// The group role the current access token names.
static QString roleClaim(Client* client)
{
    const QString payload = client->tokenManager()->accessToken().section(QLatin1Char('.'), 1, 1);
    const QJsonDocument claims =
        QJsonDocument::fromJson(QByteArray::fromBase64(payload.toLatin1(), QByteArray::Base64UrlEncoding));
    return claims["custom"]["nor"]["role"].toString();
}

// Shows the screen and waits until every page came from the services.
static bool load(AccountScreen& screen)
{
    QSet<int> pages;
    auto c = QObject::connect(&screen, &AccountScreen::pageRebuilt, [&pages](int page) { pages.insert(page); });
    screen.show();
    screen.refreshAll();
    const bool loaded = QTest::qWaitFor([&] { return pages.size() == 4; }, 20000);
    QObject::disconnect(c);
    return loaded;
}

void tst_AccountScreen::pagesLoad_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<int>("members"); // 0: no group
    QTest::addColumn<bool>("owner");
    QTest::newRow("owner") << "ada" << 2 << true;
    QTest::newRow("member") << "ben" << 2 << false;
    QTest::newRow("no group") << "cleo" << 0 << false;
}

void tst_AccountScreen::pagesLoad()
{
    QFETCH(QString, user);
    QFETCH(int, members);
    QFETCH(bool, owner);
    DevServer server;
    NORV_REQUIRE_DEVSERVER(server);
    auto client = signedInClient(server, user);
    AccountScreen screen(client.get());
    QVERIFY(load(screen));

    QCOMPARE(screen.isGroupOwner(), owner);
    QCOMPARE(shown(screen, "memberRow").size(), members);
    QCOMPARE(shown(screen, "joinGroupButton").size(), members == 0 ? 1 : 0);
    // Only the owner invites and removes; only a member leaves; an owner cannot delete the account.
    QCOMPARE(shown(screen, "inviteByEmailButton").size(), owner ? 1 : 0);
    QCOMPARE(shown(screen, "removeMemberButton").size(), owner ? members - 1 : 0);
    QCOMPARE(shown(screen, "leaveGroupButton").size(), members > 0 && !owner ? 1 : 0);
    QCOMPARE(screen.findChild<QPushButton*>("deleteAccountButton")->isEnabled(), !owner);
    // This very session is listed and not revocable; its device too.
    QCOMPARE(shown(screen, "sessionRow").size(), 1);
    QCOMPARE(shown(screen, "revokeSessionButton").size(), 0);
    QCOMPARE(shown(screen, "deviceRow").size(), 1);
}

void tst_AccountScreen::actions_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("answers"); // text inputs; "yes"/"no" answer questions
    QTest::addColumn<QString>("fault");       // "METHOD path" answered with 500
    QTest::addColumn<QString>("expected");    // status line; "" for none
    QTest::addColumn<bool>("error");
    QTest::addColumn<QString>("role"); // the token's role afterwards; "" when the group stays as it was
    auto row = [](const char* name, const char* user, const char* button, const QStringList& answers, const char* fault,
                  const char* expected, bool error, const char* role = "") {
        QTest::newRow(name) << user << button << answers << fault << expected << error << role;
    };
    const QStringList password{"ben-secret-1", "new-secret-9", "new-secret-9"};
    row("name", "ada", "editDisplayNameButton", {"Ada King"}, "", "Display name updated.", false);
    row("password", "ben", "changePasswordButton", password, "", "Password changed.", false);
    row("password wrong", "ben", "changePasswordButton", {"not-it-at-all", "new-secret-9", "new-secret-9"}, "",
        "Failed to change password.", true);
    row("password mismatch", "ben", "changePasswordButton", {"ben-secret-1", "new-secret-9", "new-secret-8"}, "",
        "Passwords do not match.", true);
    row("join by e-mail invitation", "cleo", "joinGroupButton", {"$MAILCODE"}, "", "Joined group.", false, "member");
    row("join bad code", "cleo", "joinGroupButton", {"nope"}, "", "Invalid or expired invite code.", true);
    row("invite", "ada", "inviteByEmailButton", {"cleo@example.com"}, "", "Invitation sent.", false);
    row("code", "ada", "generateCodeButton", {}, "", "", false);
    row("leave", "ben", "leaveGroupButton", {"yes"}, "", "Left group.", false, "none");
    row("remove member", "ada", "removeMemberButton", {"yes"}, "", "Ben Okafor removed.", false, "owner");
    row("remove member fails", "ada", "removeMemberButton", {"yes"}, "DELETE /account/v1/group/members/*",
        "Could not remove Ben Okafor.", true);
    row("delete", "cleo", "deleteAccountButton", {"DELETE"}, "", "", false);
    row("delete lower case", "cleo", "deleteAccountButton", {"delete"}, "", "", false);
    row("delete fails", "cleo", "deleteAccountButton", {"DELETE"}, "DELETE /account/v1/profile",
        "Failed to delete account.", true);
}

void tst_AccountScreen::actions()
{
    QFETCH(QString, user);
    QFETCH(QString, button);
    QFETCH(QStringList, answers);
    QFETCH(QString, fault);
    QFETCH(QString, expected);
    QFETCH(bool, error);
    QFETCH(QString, role);
    DevServer server;
    NORV_REQUIRE_DEVSERVER(server);
    if (answers.value(0) == QLatin1String("$MAILCODE")) {
        // Ada invites by e-mail; the invitation carries the code to type.
        const QString access = server.signIn(DevServer::Ada).access;
        answers =
            QStringList{server.callJson("POST", "/account/v1/group/invite", {{"email", "cleo@example.com"}}, access)
                            .json()["invite_code"]
                            .toString()};
    }
    auto client = signedInClient(server, user);
    AccountScreen screen(client.get());
    QVERIFY(load(screen));
    QSignalSpy logout(&screen, &AccountScreen::logoutRequested);
    QSignalSpy groupChanged(client->accountClient(), &AccountClient::groupChanged);

    ScriptedPrompts prompts;
    prompts.answers = answers;
    if (!fault.isEmpty()) {
        const QStringList parts = fault.split(QLatin1Char(' '));
        QVERIFY(server.addFault(
            {{"pattern", parts.at(1)}, {"method", parts.at(0)}, {"action", "status"}, {"status", 500}}));
    }
    server.clearRequests();
    const QList<QPushButton*> buttons = shown<QPushButton>(screen, button);
    QVERIFY2(!buttons.isEmpty(), qPrintable(button));
    buttons.first()->click();

    if (!expected.isEmpty()) {
        QTRY_COMPARE_WITH_TIMEOUT(screen.statusText(), expected, 20000);
        QCOMPARE(screen.statusIsError(), error);
    }
    // A change of group is announced, and the refreshed token already names the new role.
    QTRY_COMPARE_WITH_TIMEOUT(groupChanged.size(), role.isEmpty() ? 0 : 1, 20000);
    if (!role.isEmpty())
        QCOMPARE(roleClaim(client.get()), role);
    if (button == QLatin1String("generateCodeButton"))
        QTRY_COMPARE_WITH_TIMEOUT(prompts.informed.size(), 1, 20000);
    if (button == QLatin1String("inviteByEmailButton") && !error)
        QTRY_COMPARE_WITH_TIMEOUT(shown(screen, "invitationRow").size(), 1, 20000);
    if (button == QLatin1String("deleteAccountButton")) {
        // Only the exact word deletes; the user is then signed out and told so.
        const bool deletes = answers.first() == QLatin1String("DELETE") && fault.isEmpty();
        QTRY_COMPARE_WITH_TIMEOUT(logout.size(), deletes ? 1 : 0, 20000);
        QCOMPARE(prompts.informed.size(), deletes ? 1 : 0);
        if (answers.first() != QLatin1String("DELETE"))
            QCOMPARE(server.requests(QStringLiteral("/account/v1/profile")).size(), 0);
    }
    if (button == QLatin1String("removeMemberButton"))
        QTRY_COMPARE_WITH_TIMEOUT(shown(screen, "memberRow").size(), error ? 2 : 1, 20000);
    if (button == QLatin1String("joinGroupButton") && !error)
        QTRY_COMPARE_WITH_TIMEOUT(shown(screen, "memberRow").size(), 3, 20000);
    if (button == QLatin1String("leaveGroupButton") && !error)
        QTRY_COMPARE_WITH_TIMEOUT(shown(screen, "joinGroupButton").size(), 1, 20000);
}

void tst_AccountScreen::shareDialog_data()
{
    QTest::addColumn<bool>("byAccountId");
    QTest::newRow("sign-in id") << false;
    // The service echoes the sign-in id: a member shared by account id must still count as shared.
    QTest::newRow("account id") << true;
}

void tst_AccountScreen::shareDialog()
{
    QFETCH(bool, byAccountId);
    DevServer server;
    NORV_REQUIRE_DEVSERVER(server);
    auto client = signedInClient(server, QStringLiteral("ada"));
    const QString notebookId = QStringLiteral("nb-shared-1");
    server.callJson("POST", "/notes/v1/notebooks", {{"id", notebookId}, {"name", "Lab book"}},
                    server.signIn(DevServer::Ada).access);
    std::unique_ptr<NoteSharingService> backend =
        byAccountId ? std::make_unique<AccountIdSharing>(client->notesApi(), NoteSharingService::Notebooks)
                    : std::make_unique<NoteSharingService>(client->notesApi(), NoteSharingService::Notebooks);
    ShareMembersDialog dialog(client.get(), backend.get(), notebookId, ShareDialogTexts{});
    QSignalSpy changed(&dialog, &ShareMembersDialog::sharingChanged);
    dialog.show();
    QTRY_VERIFY_WITH_TIMEOUT(dialog.isLoaded(), 20000);
    // Ada herself is never offered; Ben is.
    QCOMPARE(shown(dialog, "memberRow").size(), 1);

    // The user grants view only; the row then changes it to edit in place.
    dialog.setPermission(QStringLiteral("view"));
    shown<QPushButton>(dialog, "shareButton").first()->click();
    QTRY_COMPARE_WITH_TIMEOUT(changed.size(), 1, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(dialog.isLoaded() && shown(dialog, "shareRow").size() == 1, 20000);
    QCOMPARE(dialog.shares().last().permission, QStringLiteral("view"));
    QCOMPARE(shown(dialog, "memberRow").size(), 0);
    auto* access = shown<QComboBox>(dialog, "sharePermission").first();
    QCOMPARE(access->currentData().toString(), QStringLiteral("view"));
    access->setCurrentIndex(access->findData(QStringLiteral("edit")));
    emit access->activated(access->currentIndex());
    QTRY_COMPARE_WITH_TIMEOUT(changed.size(), 2, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(dialog.isLoaded() && dialog.shares().size() == 2, 20000);
    QCOMPARE(dialog.shares().last().permission, QStringLiteral("edit"));

    {
        // Saying No keeps the share.
        ScriptedPrompts prompts;
        prompts.answers << "no";
        shown<QPushButton>(dialog, "removeButton").first()->click();
        QCOMPARE(prompts.asked.size(), 1);
        QVERIFY(!dialog.isBusy());
    }
    ScriptedPrompts prompts;
    prompts.answers << "yes";
    shown<QPushButton>(dialog, "removeButton").first()->click();
    QTRY_COMPARE_WITH_TIMEOUT(changed.size(), 3, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(dialog.isLoaded() && shown(dialog, "memberRow").size() == 1, 20000);
    QCOMPARE(shown(dialog, "shareRow").size(), 0);

    // A grant the service refuses shows its reason and changes nothing.
    server.addFault({{"pattern", "/notes/v1/notebooks/*/share"}, {"action", "status"}, {"status", 409}});
    shown<QPushButton>(dialog, "shareButton").first()->click();
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.findChild<QLabel*>("errorLabel")->isHidden(), 20000);
    QCOMPARE(changed.size(), 3);
}

void tst_AccountScreen::avatarInitialsStandOut_data()
{
    QTest::addColumn<QColor>("circle"); // the palette's highlight, which the avatars are drawn in
    QTest::newRow("dark theme") << QColor(QStringLiteral("#42A5F5"));
    QTest::newRow("light theme") << QColor(QStringLiteral("#1565C0"));
    QTest::newRow("pale system highlight") << QColor(QStringLiteral("#CDE8FF"));
    QTest::newRow("deep system highlight") << QColor(QStringLiteral("#30140A"));
}

// The initials meet the usual 4.5:1 contrast for text on whatever circle the theme gives.
void tst_AccountScreen::avatarInitialsStandOut()
{
    QFETCH(QColor, circle);
    auto luminance = [](const QColor& c) {
        auto linear = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
    };
    const double a = luminance(circle);
    const double b = luminance(ShareMembersDialog::initialsColour(circle));
    const double contrast = (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
    QVERIFY2(contrast >= 4.5, qPrintable(QString::number(contrast)));
}

QTEST_MAIN(tst_AccountScreen)
#include "tst_AccountScreen.moc"
