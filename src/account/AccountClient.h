#pragma once

#include "AccountTypes.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <optional>

namespace NorvAccount {

class ApiClient;
class AuthClient;

struct GroupSummary
{
    QString id;
    QString name;
    QString role;
    int memberCount = 0;
};

struct Profile
{
    QString id;
    QString email;
    QString displayName;
    QString avatarUrl;
    QString language;
    QString timezone;
    QString status;
    QDateTime createdAt;
    // Present exactly when the answer carried a "group" key.
    std::optional<GroupSummary> group;

    static Profile fromJson(const QJsonObject& json);
    // The group's id, empty outside a group.
    QString groupId() const { return group ? group->id : QString(); }
};

struct Device
{
    QString id;
    QString deviceName;
    QString platform;
    QString appId;
    QString appVersion;
    QDateTime lastSyncAt;
    QString deviceFingerprint;
    QDateTime createdAt;

    static Device fromJson(const QJsonObject& json);
};

struct GroupMember
{
    QString accountId;
    QString authUserId;
    QString displayName;
    QString email;
    QString role;
    QDateTime joinedAt;

    static GroupMember fromJson(const QJsonObject& json);
    bool isOwner() const { return role == QLatin1String("owner"); }
};

struct GroupInvitation
{
    QString id;
    QString invitedEmail;
    QString inviteCode;
    QString status;
    QDateTime expiresAt;

    static GroupInvitation fromJson(const QJsonObject& json);
};

struct Group
{
    QString id;
    QString name;
    int maxSeats = 0;
    QList<GroupMember> members;
    QList<GroupInvitation> pendingInvitations;

    static Group fromJson(const QJsonObject& json);
};

// The account API: profile, devices, the account group with its members and invitations, and
// account deletion. Every callback runs exactly once; a failure hands it an empty record, an empty
// list or false. Calls without a callback give no feedback.
class AccountClient : public QObject
{
    Q_OBJECT
public:
    using UrlOpener = std::function<void(const QUrl& url)>;

    AccountClient(ApiClient* api, AuthClient* auth, const ClientConfig& config, QObject* parent = nullptr);

    void getProfile(std::function<void(const Profile&)> callback);
    void getDevices(std::function<void(const QList<Device>&)> callback);
    void removeDevice(const QString& id, std::function<void(bool ok)> callback = {});
    void getGroup(std::function<void(const Group&)> callback);
    void generateInviteCode(std::function<void(const GroupInvitation&)> callback);
    void inviteByEmail(const QString& email, std::function<void(const GroupInvitation&)> callback);
    // On success the tokens are refreshed first, so the new role is in them when the callback runs.
    void joinGroup(const QString& code, std::function<void(bool ok)> callback);
    // The callback is optional; the service's answer is otherwise ignored.
    void leaveGroup(std::function<void(bool ok)> callback = {});
    void removeMember(const QString& id, std::function<void(bool ok)> callback = {});
    void revokeInvitation(const QString& id, std::function<void(bool ok)> callback = {});
    void deleteAccount(std::function<void(bool ok)> callback);

    // The portal address for a path; empty when no portal is configured.
    QUrl portalUrl(const QString& path) const;
    void openPortal(const QString& path);
    void setUrlOpener(UrlOpener opener) { m_openUrl = std::move(opener); }

signals:
    void groupChanged();

private:
    void refreshThenAnnounce(std::function<void()> done);

    ApiClient* m_api;
    AuthClient* m_auth;
    QString m_appId;
    QString m_appName;
    QString m_appVersion;
    QString m_portalUrl;
    UrlOpener m_openUrl;
};

} // namespace NorvAccount
