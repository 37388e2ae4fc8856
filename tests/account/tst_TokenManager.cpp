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

// What a token's payload says about its expiry, and what the manager then makes of the pair.
class tst_TokenManager : public QObject
{
    Q_OBJECT

private slots:
    void expiry_data();
    void expiry();
};

void tst_TokenManager::expiry_data()
{
    QTest::addColumn<QString>("access");
    QTest::addColumn<QString>("refresh");
    QTest::addColumn<qint64>("expiry"); // 0: none readable
    QTest::addColumn<bool>("usable");   // the manager hands the access token out
    QTest::addColumn<bool>("needsRefresh");
    const auto row = [](const char* name, const QString& access, const char* refresh, qint64 expiry, bool usable,
                        bool needsRefresh) {
        QTest::newRow(name) << access << QString::fromLatin1(refresh) << expiry << usable << needsRefresh;
    };
    // {"exp": 1700000001} is 19 bytes, so its padded and unpadded Base64 differ.
    row("unpadded payload", jwt(R"({"exp": 1700000001})"), "r", 1700000001, false, true);
    row("padded payload", jwt(R"({"exp": 1700000001})", true), "r", 1700000001, false, true);
    row("past 2038 needs 64 bits", jwt(R"({"exp":4102444800})"), "r", 4102444800, true, false);
    row("payload is an array", jwt(R"([1700000001])"), "r", 0, false, true);
    row("payload not base64", QStringLiteral("a.!!!.c"), "r", 0, false, true);
    row("one part", QStringLiteral("opaque-token"), "r", 0, false, true);
    row("31 s left", jwtExpiringIn(31), "r", kNow.toSecsSinceEpoch() + 31, true, false);
    row("20 s left counts as expired", jwtExpiringIn(20), "r", kNow.toSecsSinceEpoch() + 20, false, true);
    row("expired, no refresh token", jwtExpiringIn(-5), "", kNow.toSecsSinceEpoch() - 5, false, false);
    row("no exp counts as expired", jwt(R"({"sub":"u1"})"), "r", 0, false, true);
}

void tst_TokenManager::expiry()
{
    QFETCH(QString, access);
    QFETCH(QString, refresh);
    QFETCH(qint64, expiry);
    QFETCH(bool, usable);
    QFETCH(bool, needsRefresh);
    QCOMPARE(tokenExpiry(access), expiry);
    Clock::Fixed clock(kNow);
    TokenManager tokens(std::make_unique<MemoryTokenStore>());
    tokens.setTokens(access, refresh);
    QCOMPARE(tokens.accessToken(), usable ? access : QString());
    QCOMPARE(tokens.needsRefresh(), needsRefresh);
}

QTEST_GUILESS_MAIN(tst_TokenManager)
#include "tst_TokenManager.moc"
