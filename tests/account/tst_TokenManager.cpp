#include "Clock.h"
#include "CredentialManagerTokenStore.h"
#include "TokenManager.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using namespace NorvAccount;

namespace {

const QDateTime kNow(QDate(2026, 6, 17), QTime(10, 30), Qt::UTC);

QString jwt(const QByteArray& payload, bool padded = false)
{
    QByteArray::Base64Options options = QByteArray::Base64UrlEncoding;
    if (!padded)
        options |= QByteArray::OmitTrailingEquals;
    return QStringLiteral("eyJhbGciOiJIUzI1NiJ9.%1.c2ln").arg(QString::fromLatin1(payload.toBase64(options)));
}

QString jwtExpiringIn(qint64 seconds)
{
    return jwt(QJsonDocument(QJsonObject{{QStringLiteral("exp"), kNow.toSecsSinceEpoch() + seconds}})
                   .toJson(QJsonDocument::Compact));
}

} // namespace

class tst_TokenManager : public QObject
{
    Q_OBJECT

private slots:
    void expiry_data();
    void expiry();
    void validity_data();
    void validity();
    void concurrentCallersShareOneRefresh_data();
    void concurrentCallersShareOneRefresh();
    void refreshAnsweringAfterSignOutIsDropped();
    void credentialManagerForm();
};

void tst_TokenManager::expiry_data()
{
    QTest::addColumn<QString>("token");
    QTest::addColumn<qint64>("expiry");
    // {"exp": 1700000001} is 19 bytes, so its padded and unpadded Base64 differ.
    QTest::newRow("unpadded payload") << jwt(R"({"exp": 1700000001})") << qint64(1700000001);
    QTest::newRow("padded payload") << jwt(R"({"exp": 1700000001})", true) << qint64(1700000001);
    QTest::newRow("past 2038 needs 64 bits") << jwt(R"({"exp":4102444800})") << qint64(4102444800);
    QTest::newRow("no exp") << jwt(R"({"sub":"u1"})") << qint64(0);
    QTest::newRow("exp as text") << jwt(R"({"exp":"1700000001"})") << qint64(0);
    QTest::newRow("payload is an array") << jwt(R"([1700000001])") << qint64(0);
    QTest::newRow("payload not base64") << QStringLiteral("a.!!!.c") << qint64(0);
    QTest::newRow("one part") << QStringLiteral("opaque-token") << qint64(0);
    QTest::newRow("empty") << QString() << qint64(0);
}

void tst_TokenManager::expiry()
{
    QFETCH(QString, token);
    QFETCH(qint64, expiry);
    QCOMPARE(tokenExpiry(token), expiry);
}

void tst_TokenManager::validity_data()
{
    QTest::addColumn<QString>("access");
    QTest::addColumn<QString>("refresh");
    QTest::addColumn<bool>("usable");
    QTest::addColumn<bool>("needsRefresh");
    QTest::newRow("an hour left") << jwtExpiringIn(3600) << "r" << true << false;
    QTest::newRow("31 s left") << jwtExpiringIn(31) << "r" << true << false;
    QTest::newRow("20 s left counts as expired") << jwtExpiringIn(20) << "r" << false << true;
    QTest::newRow("expired, no refresh token") << jwtExpiringIn(-5) << "" << false << false;
    QTest::newRow("no exp counts as expired") << jwt(R"({"sub":"u1"})") << "r" << false << true;
}

void tst_TokenManager::validity()
{
    QFETCH(QString, access);
    QFETCH(QString, refresh);
    QFETCH(bool, usable);
    QFETCH(bool, needsRefresh);
    Clock::Fixed clock(kNow);
    TokenManager tokens(std::make_unique<MemoryTokenStore>());
    tokens.setTokens(access, refresh);
    QCOMPARE(tokens.accessToken(), usable ? access : QString());
    QCOMPARE(tokens.needsRefresh(), needsRefresh);
}

void tst_TokenManager::concurrentCallersShareOneRefresh_data()
{
    QTest::addColumn<int>("outcome"); // 0 success, 1 rejected, 2 transient
    QTest::newRow("success") << int(RefreshResult::Success);
    QTest::newRow("rejected") << int(RefreshResult::Rejected);
    QTest::newRow("transient") << int(RefreshResult::TransientFailure);
}

void tst_TokenManager::concurrentCallersShareOneRefresh()
{
    QFETCH(int, outcome);
    Clock::Fixed clock(kNow);
    auto vault = std::make_shared<MemoryTokenStore::Vault>();
    TokenManager tokens(std::make_unique<MemoryTokenStore>(vault));
    tokens.setTokens(jwtExpiringIn(-1), QStringLiteral("r1"));

    QStringList handedOver;
    TokenManager::RefreshSuccess succeed;
    TokenManager::RefreshFailure failWith;
    tokens.setRefreshHandler([&](const QString& token, auto success, auto failure) {
        handedOver << token;
        succeed = success;
        failWith = failure;
    });
    QStringList heard;
    for (const char* caller : {"a", "b", "c"})
        tokens.refresh([&heard, caller](RefreshResult r) { heard << QStringLiteral("%1:%2").arg(caller).arg(int(r)); });
    QCOMPARE(handedOver, QStringList{QStringLiteral("r1")});
    QVERIFY(heard.isEmpty());

    const QString fresh = jwtExpiringIn(600);
    if (outcome == int(RefreshResult::Success))
        succeed(fresh, QStringLiteral("r2"));
    else
        failWith(outcome == int(RefreshResult::Rejected));
    QCOMPARE(heard, (QStringList{QStringLiteral("a:%1").arg(outcome), QStringLiteral("b:%1").arg(outcome),
                                 QStringLiteral("c:%1").arg(outcome)}));
    const bool ok = outcome == int(RefreshResult::Success);
    QCOMPARE(vault->value(QStringLiteral("norvane_refresh_token")), ok ? QStringLiteral("r2") : QStringLiteral("r1"));
    QCOMPARE(tokens.accessToken(), ok ? fresh : QString());
    // The next caller starts a new refresh, with whatever refresh token is current.
    tokens.refresh({});
    QCOMPARE(handedOver.size(), 2);
    QCOMPARE(handedOver.last(), ok ? QStringLiteral("r2") : QStringLiteral("r1"));
}

void tst_TokenManager::refreshAnsweringAfterSignOutIsDropped()
{
    Clock::Fixed clock(kNow);
    auto vault = std::make_shared<MemoryTokenStore::Vault>();
    TokenManager tokens(std::make_unique<MemoryTokenStore>(vault));
    tokens.setTokens(jwtExpiringIn(-1), QStringLiteral("r1"));
    TokenManager::RefreshSuccess lateAnswer;
    tokens.setRefreshHandler([&](const QString&, auto success, auto) { lateAnswer = success; });
    QList<RefreshResult> heard;
    tokens.refresh([&heard](RefreshResult r) { heard << r; });

    tokens.clear();
    QCOMPARE(heard, QList<RefreshResult>{RefreshResult::Rejected});
    lateAnswer(jwtExpiringIn(600), QStringLiteral("r2"));
    QVERIFY(vault->isEmpty());
    QCOMPARE(tokens.refreshToken(), QString());
    QCOMPARE(tokens.accessToken(), QString());
    QCOMPARE(heard.size(), 1);
}

void tst_TokenManager::credentialManagerForm()
{
    QCOMPARE(CredentialManagerTokenStore::targetName(QStringLiteral("app.norvane.notes"),
                                                     QStringLiteral("norvane_access_token")),
             QStringLiteral("Norvane/app.norvane.notes/norvane_access_token"));
    // UTF-8 without a terminator, so the blob size is the byte length.
    const QString token = QStringLiteral("é.x");
    QCOMPARE(CredentialManagerTokenStore::encodeBlob(token), QByteArray("\xc3\xa9.x"));
    QCOMPARE(CredentialManagerTokenStore::decodeBlob(CredentialManagerTokenStore::encodeBlob(token)), token);
}

QTEST_GUILESS_MAIN(tst_TokenManager)
#include "tst_TokenManager.moc"
