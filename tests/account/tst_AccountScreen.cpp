#include "AccountScreen.h"
#include "SignedInClient.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace NorvAccount;

// The account screen against the reference server: every page fills from the services, and every
// action tells the user truthfully whether it worked.
class tst_AccountScreen : public QObject
{
    Q_OBJECT
private slots:
    void pagesLoad_data();
    void pagesLoad();
    void actions_data();
    void actions();
    void relativeTime_data();
    void relativeTime();
};

static DevServer::User seeded(const QString& name)
{
    return name == QLatin1String("ada")   ? DevServer::Ada
           : name == QLatin1String("ben") ? DevServer::Ben
                                          : DevServer::Cleo;
}

template <typename T> static QList<T*> shown(const QWidget& root, const QString& name)
{
    QList<T*> result;
    for (T* widget : root.findChildren<T*>(name)) {
        if (!widget->isHidden())
            result << widget;
    }
    return result;
}

// Shows the screen and waits until the profile and the group came from the services.
static bool load(AccountScreen& screen)
{
    QSignalSpy rebuilt(&screen, &AccountScreen::pageRebuilt);
    screen.show();
    screen.refreshAll();
    auto has = [&](int page) {
        for (const QList<QVariant>& args : rebuilt) {
            if (args.at(0).toInt() == page)
                return true;
        }
        return false;
    };
    return QTest::qWaitFor(
        [&] {
            return has(AccountScreen::ProfilePage) && has(AccountScreen::GroupPage) &&
                   has(AccountScreen::DevicesPage) && has(AccountScreen::SecurityPage);
        },
        20000);
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
    auto client = signedInClient(server, seeded(user));
    AccountScreen screen(client.get());
    QVERIFY(load(screen));

    QCOMPARE(screen.findChild<QLabel*>("emailLabel")->text(), user + QStringLiteral("@example.com"));
    QCOMPARE(screen.isGroupOwner(), owner);
    QCOMPARE(shown<QWidget>(screen, "memberRow").size(), members);
    QCOMPARE(shown<QPushButton>(screen, "joinGroupButton").size(), members == 0 ? 1 : 0);
    // Only the owner invites and removes; only a member leaves; an owner cannot delete the account.
    QCOMPARE(shown<QPushButton>(screen, "inviteByEmailButton").size(), owner ? 1 : 0);
    QCOMPARE(shown<QPushButton>(screen, "removeMemberButton").size(), owner ? members - 1 : 0);
    QCOMPARE(shown<QPushButton>(screen, "leaveGroupButton").size(), members > 0 && !owner ? 1 : 0);
    QCOMPARE(screen.findChild<QPushButton*>("deleteAccountButton")->isEnabled(), !owner);
    QCOMPARE(!screen.findChild<QLabel*>("ownerNote")->isHidden(), owner);
    // This very session is listed, marked as current and not revocable; its device too.
    QCOMPARE(shown<QWidget>(screen, "sessionRow").size(), 1);
    QCOMPARE(shown<QPushButton>(screen, "revokeSessionButton").size(), 0);
    QCOMPARE(shown<QWidget>(screen, "deviceRow").size(), 1);
    QVERIFY(shown<QLabel>(screen, "platformLine").first()->text().endsWith(QLatin1String("v1.1.1")));
}

void tst_AccountScreen::actions_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("answers"); // text inputs; "yes"/"no" answer questions
    QTest::addColumn<QString>("fault");       // "METHOD path" answered with 500
    QTest::addColumn<QString>("expected");    // status line; "" for none
    QTest::addColumn<bool>("error");
    auto row = [](const char* name, const char* user, const char* button, const QStringList& answers, const char* fault,
                  const char* expected, bool error) {
        QTest::newRow(name) << user << button << answers << fault << expected << error;
    };
    const char* invite = "POST /account/v1/group/invite";
    const QStringList password{"ben-secret-1", "new-secret-9", "new-secret-9"};
    row("name", "ada", "editDisplayNameButton", {"Ada King"}, "", "Display name updated.", false);
    row("name fails", "ada", "editDisplayNameButton", {"Ada King"}, "PATCH /auth/api/v1/realms/norvane/users/me",
        "Failed to update profile.", true);
    row("name blank", "ada", "editDisplayNameButton", {"   "}, "", "", false);
    row("password", "ben", "changePasswordButton", password, "", "Password changed.", false);
    row("password wrong", "ben", "changePasswordButton", {"not-it-at-all", "new-secret-9", "new-secret-9"}, "",
        "Failed to change password.", true);
    row("password short", "ben", "changePasswordButton", {"ben-secret-1", "short"}, "",
        "Password must be at least 8 characters.", true);
    row("password mismatch", "ben", "changePasswordButton", {"ben-secret-1", "new-secret-9", "new-secret-8"}, "",
        "Passwords do not match.", true);
    row("join", "cleo", "joinGroupButton", {"$CODE"}, "", "Joined group.", false);
    row("join bad code", "cleo", "joinGroupButton", {"nope"}, "", "Invalid or expired invite code.", true);
    row("invite", "ada", "inviteByEmailButton", {"cleo@example.com"}, "", "Invitation sent.", false);
    row("invite fails", "ada", "inviteByEmailButton", {"cleo@example.com"}, invite, "Failed to send invitation.", true);
    row("code", "ada", "generateCodeButton", {}, "", "", false);
    row("code fails", "ada", "generateCodeButton", {}, invite, "Failed to generate code.", true);
    row("leave", "ben", "leaveGroupButton", {"yes"}, "", "Left group.", false);
    row("leave fails", "ben", "leaveGroupButton", {"yes"}, "POST /account/v1/group/leave", "Could not leave the group.",
        true);
    row("remove member", "ada", "removeMemberButton", {"yes"}, "", "Ben Okafor removed.", false);
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
    DevServer server;
    NORV_REQUIRE_DEVSERVER(server);
    if (answers.contains(QLatin1String("$CODE"))) {
        auto ada = signedInClient(server, DevServer::Ada);
        QString code;
        ada->accountClient()->generateInviteCode([&](const GroupInvitation& i) { code = i.inviteCode; });
        QVERIFY(QTest::qWaitFor([&] { return !code.isEmpty(); }, 20000));
        answers.replaceInStrings(QStringLiteral("$CODE"), code);
    }
    auto client = signedInClient(server, seeded(user));
    AccountScreen screen(client.get());
    QVERIFY(load(screen));
    QSignalSpy logout(&screen, &AccountScreen::logoutRequested);

    ScriptedPrompts prompts;
    for (const QString& answer : answers) {
        if (answer == QLatin1String("yes") || answer == QLatin1String("no"))
            prompts.questions << (answer == QLatin1String("yes"));
        else
            prompts.texts << answer;
    }
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
    if (button == QLatin1String("generateCodeButton") && fault.isEmpty()) {
        QTRY_COMPARE_WITH_TIMEOUT(prompts.informed.size(), 1, 20000);
        QVERIFY(prompts.informed.first().startsWith(QLatin1String("Invite Code|")));
    }
    if (button == QLatin1String("deleteAccountButton")) {
        const bool confirmed = answers.first() == QLatin1String("DELETE");
        if (confirmed && fault.isEmpty()) {
            // The account goes, the user is signed out and told the notes stay.
            QTRY_COMPARE_WITH_TIMEOUT(logout.size(), 1, 20000);
            QCOMPARE(prompts.informed.size(), 1);
            QVERIFY(prompts.informed.first().contains(QLatin1String("notes stay")));
        } else {
            QTest::qWait(0);
            QCOMPARE(logout.size(), 0);
            // Anything but the exact word asks the service nothing.
            if (!confirmed)
                QCOMPARE(server.requests(QStringLiteral("/account/v1/profile")).size(), 0);
        }
    }
    if (button == QLatin1String("removeMemberButton") && !error) {
        QTRY_COMPARE_WITH_TIMEOUT(shown<QWidget>(screen, "memberRow").size(), 1, 20000);
    }
    if (button == QLatin1String("joinGroupButton") && !error) {
        QTRY_COMPARE_WITH_TIMEOUT(shown<QWidget>(screen, "memberRow").size(), 3, 20000);
        QCOMPARE(shown<QPushButton>(screen, "leaveGroupButton").size(), 1);
    }
}

void tst_AccountScreen::relativeTime_data()
{
    QTest::addColumn<int>("secondsAgo"); // -1: no time at all
    QTest::addColumn<QString>("expected");
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QTest::newRow("59 s") << 59 << "Active now";
    QTest::newRow("61 s") << 61 << "1m ago";
    QTest::newRow("2 h") << 7200 << "2h ago";
    QTest::newRow("6 d 23 h") << 604799 << "6d ago";
    QTest::newRow("8 d shows the date") << 8 * 86400 << now.addDays(-8).toLocalTime().toString("MMM d, yyyy");
    QTest::newRow("unknown") << -1 << "Unknown";
}

void tst_AccountScreen::relativeTime()
{
    QFETCH(int, secondsAgo);
    QFETCH(QString, expected);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QCOMPARE(AccountScreen::relativeTime(secondsAgo < 0 ? QDateTime() : now.addSecs(-secondsAgo), now), expected);
}

QTEST_MAIN(tst_AccountScreen)
#include "tst_AccountScreen.moc"
