#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <functional>

namespace NorvAccount {
Q_NAMESPACE

// ok is true exactly for a status in 200..299; status 0 means no HTTP answer arrived.
using ResponseCallback = std::function<void(bool ok, int status, const QJsonObject& body)>;
using BinaryCallback = std::function<void(bool ok, int status, const QByteArray& data)>;

enum class RefreshResult
{
    Success = 0,
    // The service refused the refresh token, or there is none.
    Rejected = 1,
    // No answer, a server error, a time-out: the session may still be good.
    TransientFailure = 2,
};
Q_ENUM_NS(RefreshResult)

enum class AuthState
{
    Unknown = 0,
    Unauthenticated = 1,
    Authenticated = 3,
};
Q_ENUM_NS(AuthState)

struct ClientConfig
{
    QString authBaseUrl;
    QString realm = QStringLiteral("norvane");
    QString accountApiUrl;
    QString clientId;
    // Reverse-domain identifier: the "X-App-Id" header and the credential service name.
    QString appId;
    QString appName = QStringLiteral("Norvane Notes");
    QString appVersion;
    // Empty: derived from the running kernel.
    QString platform;
    QString portalUrl;
};

} // namespace NorvAccount
