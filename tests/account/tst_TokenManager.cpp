#include "Clock.h"
#include "TokenManager.h"
#include "TokenStore.h"

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
};

void tst_TokenManager::expiry_data()
{
    QTest::addColumn<QString>("token");
    QTest::addColumn<qint64>("expiry");
    // {"exp": 1700000001} is 19 bytes, so its padded and unpadded Base64 differ.
    QTest::newRow("unpadded payload") << jwt(R"({"exp": 1700000001})") << qint64(1700000001);
    QTest::newRow("padded payload") << jwt(R"({"exp": 1700000001})", true) << qint64(1700000001);
    QTest::newRow("past 2038 needs 64 bits") << jwt(R"({"exp":4102444800})") << qint64(4102444800);
    QTest::newRow("payload is an array") << jwt(R"([1700000001])") << qint64(0);
    QTest::newRow("payload not base64") << QStringLiteral("a.!!!.c") << qint64(0);
    QTest::newRow("one part") << QStringLiteral("opaque-token") << qint64(0);
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

QTEST_GUILESS_MAIN(tst_TokenManager)
#include "tst_TokenManager.moc"
