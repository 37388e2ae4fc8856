#include "AccountClient.h"

#include "AccountLog.h"
#include "ApiClient.h"
#include "AuthClient.h"

#include <QDesktopServices>
#include <QJsonArray>
#include <QPointer>

namespace NorvAccount {

namespace {

QString text(const QJsonObject& json, const char* key)
{
    return json.value(QLatin1String(key)).toString();
}

QDateTime date(const QJsonObject& json, const char* key)
{
    return QDateTime::fromString(text(json, key), Qt::ISODateWithMs);
}

template <typename Record> QList<Record> listOf(const QJsonObject& json, const char* key)
{
    QList<Record> records;
    const QJsonArray array = json.value(QLatin1String(key)).toArray();
    records.reserve(array.size());
    for (const QJsonValue& value : array)
        records.append(Record::fromJson(value.toObject()));
    return records;
}

} // namespace

Profile Profile::fromJson(const QJsonObject& json)
{
    Profile profile;
    profile.id = text(json, "id");
    profile.email = text(json, "email");
    profile.displayName = text(json, "display_name");
    profile.avatarUrl = text(json, "avatar_url");
    profile.language = text(json, "language");
    profile.timezone = text(json, "timezone");
    profile.status = text(json, "status");
    profile.createdAt = date(json, "created_at");
    if (json.contains(QLatin1String("group"))) {
        const QJsonObject group = json.value(QLatin1String("group")).toObject();
        profile.group = GroupSummary{text(group, "id"), text(group, "name"), text(group, "role"),
                                     group.value(QLatin1String("member_count")).toInt()};
    }
    return profile;
}

Device Device::fromJson(const QJsonObject& json)
{
    return Device{text(json, "id"),
                  text(json, "device_name"),
                  text(json, "platform"),
                  text(json, "app_id"),
                  text(json, "app_version"),
                  date(json, "last_sync_at"),
                  text(json, "device_fingerprint"),
                  date(json, "created_at")};
}

GroupMember GroupMember::fromJson(const QJsonObject& json)
{
    return GroupMember{text(json, "account_id"), text(json, "auth_user_id"), text(json, "display_name"),
                       text(json, "email"),      text(json, "role"),         date(json, "joined_at")};
}

GroupInvitation GroupInvitation::fromJson(const QJsonObject& json)
{
    return GroupInvitation{text(json, "id"), text(json, "invited_email"), text(json, "invite_code"),
                           text(json, "status"), date(json, "expires_at")};
}

Group Group::fromJson(const QJsonObject& json)
{
    Group group;
    group.id = text(json, "id");
    group.name = text(json, "name");
    group.maxSeats = json.value(QLatin1String("max_seats")).toInt();
    group.members = listOf<GroupMember>(json, "members");
    group.pendingInvitations = listOf<GroupInvitation>(json, "pending_invitations");
    return group;
}

AccountClient::AccountClient(ApiClient* api, AuthClient* auth, const ClientConfig& config, QObject* parent)
    : QObject(parent)
    , m_api(api)
    , m_auth(auth)
    , m_appId(config.appId)
    , m_appName(config.appName)
    , m_appVersion(config.appVersion)
    , m_portalUrl(config.portalUrl)
    , m_openUrl([](const QUrl& url) { QDesktopServices::openUrl(url); })
{}

void AccountClient::getProfile(std::function<void(const Profile&)> callback)
{
    m_api->get(QStringLiteral("/profile"), [callback](bool ok, int, const QJsonObject& body) {
        callback(ok ? Profile::fromJson(body) : Profile());
    });
}

void AccountClient::getDevices(std::function<void(const QList<Device>&)> callback)
{
    m_api->get(QStringLiteral("/devices"), [callback](bool ok, int, const QJsonObject& body) {
        callback(ok ? listOf<Device>(body, "devices") : QList<Device>());
    });
}

void AccountClient::removeDevice(const QString& id, std::function<void(bool ok)> callback)
{
    m_api->deleteResource(QStringLiteral("/devices/%1").arg(id), [callback](bool ok, int, const QJsonObject&) {
        if (callback)
            callback(ok);
    });
}

void AccountClient::getGroup(std::function<void(const Group&)> callback)
{
    m_api->get(QStringLiteral("/group"),
               [callback](bool ok, int, const QJsonObject& body) { callback(ok ? Group::fromJson(body) : Group()); });
}

void AccountClient::generateInviteCode(std::function<void(const GroupInvitation&)> callback)
{
    m_api->post(QStringLiteral("/group/invite"), QJsonObject(), [callback](bool ok, int, const QJsonObject& body) {
        callback(ok ? GroupInvitation::fromJson(body) : GroupInvitation());
    });
}

void AccountClient::inviteByEmail(const QString& email, std::function<void(const GroupInvitation&)> callback)
{
    m_api->post(QStringLiteral("/group/invite"), QJsonObject{{QStringLiteral("email"), email}},
                [callback](bool ok, int, const QJsonObject& body) {
                    callback(ok ? GroupInvitation::fromJson(body) : GroupInvitation());
                });
}

// The role and group travel in the access token, so a change of group is only real for the rest of
// the application once the tokens have been refreshed.
void AccountClient::refreshThenAnnounce(std::function<void()> done)
{
    QPointer<AccountClient> self(this);
    auto finish = [self, done] {
        if (self)
            emit self->groupChanged();
        if (done)
            done();
    };
    if (!m_auth) {
        finish();
        return;
    }
    m_auth->refreshToken([finish](bool) { finish(); });
}

void AccountClient::joinGroup(const QString& code, std::function<void(bool ok)> callback)
{
    QPointer<AccountClient> self(this);
    m_api->post(QStringLiteral("/group/join/%1").arg(code), QJsonObject(),
                [self, callback](bool ok, int status, const QJsonObject&) {
                    if (!ok || !self) {
                        if (!ok)
                            qCInfo(lcAccount) << "Joining a group failed with status" << status;
                        if (callback)
                            callback(ok);
                        return;
                    }
                    self->refreshThenAnnounce([callback] {
                        if (callback)
                            callback(true);
                    });
                });
}

void AccountClient::leaveGroup(std::function<void(bool ok)> callback)
{
    QPointer<AccountClient> self(this);
    m_api->post(QStringLiteral("/group/leave"), QJsonObject(), [self, callback](bool ok, int, const QJsonObject&) {
        if (!ok || !self) {
            if (callback)
                callback(ok);
            return;
        }
        self->refreshThenAnnounce([callback] {
            if (callback)
                callback(true);
        });
    });
}

void AccountClient::removeMember(const QString& id, std::function<void(bool ok)> callback)
{
    QPointer<AccountClient> self(this);
    m_api->deleteResource(QStringLiteral("/group/members/%1").arg(id),
                          [self, callback](bool ok, int, const QJsonObject&) {
                              if (ok && self)
                                  emit self->groupChanged();
                              if (callback)
                                  callback(ok);
                          });
}

void AccountClient::revokeInvitation(const QString& id, std::function<void(bool ok)> callback)
{
    m_api->deleteResource(QStringLiteral("/group/invitations/%1").arg(id),
                          [callback](bool ok, int, const QJsonObject&) {
                              if (callback)
                                  callback(ok);
                          });
}

void AccountClient::deleteAccount(std::function<void(bool ok)> callback)
{
    m_api->deleteResource(QStringLiteral("/profile"), [callback](bool ok, int, const QJsonObject&) {
        if (callback)
            callback(ok);
    });
}

QUrl AccountClient::portalUrl(const QString& path) const
{
    if (m_portalUrl.isEmpty())
        return QUrl();
    QString url = m_portalUrl;
    if (url.endsWith(QLatin1Char('/')))
        url.chop(1);
    if (!path.isEmpty())
        url += path.startsWith(QLatin1Char('/')) ? path : QLatin1Char('/') + path;
    return QUrl(url);
}

void AccountClient::openPortal(const QString& path)
{
    const QUrl url = portalUrl(path);
    if (!url.isEmpty() && m_openUrl)
        m_openUrl(url);
}

} // namespace NorvAccount
