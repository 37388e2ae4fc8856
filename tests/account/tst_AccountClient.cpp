#include "AccountClient.h"
#include "ApiClient.h"
#include "SignedInClient.h"

#include <QSignalSpy>
#include <QTest>

using namespace NorvAccount;

// The account endpoints against the reference server: a group that grows by invitation, shrinks by
// leaving and by removal, and a role that changes with the refreshed token.
class tst_AccountClient : public QObject
{
    Q_OBJECT
private slots:
    void invitationAndJoin_data();
    void invitationAndJoin();
    void leaveAndRemove();
    void portalUrl_data();
    void portalUrl();
};

template <typename T> static T await(std::function<void(std::function<void(const T&)>)> call)
{
    T result{};
    bool done = false;
    call([&](const T& value) {
        result = value;
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, 20000))
        qWarning("no answer");
    return result;
}

static QString roleClaim(Client* client)
{
    const QStringList parts = client->tokenManager()->accessToken().split(QLatin1Char('.'));
    const QJsonObject payload =
        QJsonDocument::fromJson(QByteArray::fromBase64(parts.value(1).toLatin1(), QByteArray::Base64UrlEncoding))
            .object();
    return payload["custom"].toObject()["nor"].toObject()["role"].toString();
}

void tst_AccountClient::invitationAndJoin_data()
{
    QTest::addColumn<QString>("email");  // empty: an invite code handed over by hand
    QTest::addColumn<QString>("joiner"); // who uses the code
    QTest::addColumn<bool>("joins");
    QTest::newRow("code") << QString() << "cleo@example.com" << true;
    QTest::newRow("e-mail") << "cleo@example.com"
                            << "cleo@example.com" << true;
    QTest::newRow("garbage code") << "-"
                                  << "cleo@example.com" << false;
}

void tst_AccountClient::invitationAndJoin()
{
    QFETCH(QString, email);
    QFETCH(QString, joiner);
    QFETCH(bool, joins);
    DevServer server;
    NORV_REQUIRE_DEVSERVER(server);
    auto ada = signedInClient(server, DevServer::Ada);
    const QByteArray joinerEmail = joiner.toLatin1();
    auto other = signedInClient(server, DevServer::User{joinerEmail.constData(), ""});

    QString code = QStringLiteral("no-such-code");
    if (email != QLatin1String("-")) {
        const GroupInvitation invitation = await<GroupInvitation>([&](auto cb) {
            if (email.isEmpty())
                ada->accountClient()->generateInviteCode(cb);
            else
                ada->accountClient()->inviteByEmail(email, cb);
        });
        QVERIFY(!invitation.id.isEmpty());
        QVERIFY(!invitation.inviteCode.isEmpty());
        QCOMPARE(invitation.invitedEmail, email);
        code = invitation.inviteCode;
        const Group pending = await<Group>([&](auto cb) { ada->accountClient()->getGroup(cb); });
        QCOMPARE(pending.pendingInvitations.size(), 1);
    }

    const QString roleBefore = roleClaim(other.get());
    QSignalSpy changed(other->accountClient(), &AccountClient::groupChanged);
    const bool ok = await<bool>([&](auto cb) { other->accountClient()->joinGroup(code, cb); });
    QCOMPARE(ok, joins);
    QCOMPARE(changed.size(), joins ? 1 : 0);
    if (!joins) {
        QCOMPARE(roleClaim(other.get()), roleBefore);
        return;
    }
    // The callback runs after the refresh: the token already names the new role.
    QCOMPARE(roleClaim(other.get()), QStringLiteral("member"));
    const Group group = await<Group>([&](auto cb) { ada->accountClient()->getGroup(cb); });
    QCOMPARE(group.members.size(), 3);
    QVERIFY(group.pendingInvitations.isEmpty());
}

void tst_AccountClient::leaveAndRemove()
{
    DevServer server;
    NORV_REQUIRE_DEVSERVER(server);
    auto ada = signedInClient(server, DevServer::Ada);
    auto ben = signedInClient(server, DevServer::Ben);
    auto cleo = signedInClient(server, DevServer::Cleo);
    const QString code =
        await<GroupInvitation>([&](auto cb) { ada->accountClient()->generateInviteCode(cb); }).inviteCode;
    QVERIFY(await<bool>([&](auto cb) { cleo->accountClient()->joinGroup(code, cb); }));

    // A member leaves, and the role goes with the next token.
    QSignalSpy benChanged(ben->accountClient(), &AccountClient::groupChanged);
    QVERIFY(await<bool>([&](auto cb) { ben->accountClient()->leaveGroup(cb); }));
    QCOMPARE(benChanged.size(), 1);
    QCOMPARE(roleClaim(ben.get()), QStringLiteral("none"));
    QVERIFY(!await<Profile>([&](auto cb) { ben->accountClient()->getProfile(cb); }).group.has_value());

    // Cleo leaves the group by Ada's hand.
    const Group before = await<Group>([&](auto cb) { ada->accountClient()->getGroup(cb); });
    QCOMPARE(before.members.size(), 2);
    QString cleoId;
    for (const GroupMember& member : before.members) {
        if (member.email == QLatin1String("cleo@example.com"))
            cleoId = member.accountId;
    }
    QSignalSpy adaChanged(ada->accountClient(), &AccountClient::groupChanged);
    QVERIFY(await<bool>([&](auto cb) { ada->accountClient()->removeMember(cleoId, cb); }));
    QCOMPARE(adaChanged.size(), 1);
    const Group after = await<Group>([&](auto cb) { ada->accountClient()->getGroup(cb); });
    QCOMPARE(after.members.size(), 1);
    QVERIFY(!await<Profile>([&](auto cb) { cleo->accountClient()->getProfile(cb); }).group.has_value());
}

void tst_AccountClient::portalUrl_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected"); // empty: nothing opens
    const QString portal = QStringLiteral("https://portal.example");
    QTest::newRow("no path") << portal + '/' << "" << portal;
    QTest::newRow("leading slash") << portal << "/billing" << portal + "/billing";
    QTest::newRow("no leading slash") << portal + '/' << "billing" << portal + "/billing";
    QTest::newRow("no portal") << QString() << "billing" << QString();
}

void tst_AccountClient::portalUrl()
{
    QFETCH(QString, base);
    QFETCH(QString, path);
    QFETCH(QString, expected);
    ClientConfig config;
    config.portalUrl = base;
    AccountClient client(nullptr, nullptr, config);
    QList<QUrl> opened;
    client.setUrlOpener([&](const QUrl& url) { opened << url; });
    client.openPortal(path);
    QCOMPARE(opened.size(), expected.isEmpty() ? 0 : 1);
    if (!expected.isEmpty())
        QCOMPARE(opened.first().toString(), expected);
}

QTEST_GUILESS_MAIN(tst_AccountClient)
#include "tst_AccountClient.moc"
