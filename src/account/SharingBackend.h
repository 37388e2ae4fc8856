#pragma once

#include "AccountClient.h"

#include <QObject>
#include <functional>

namespace NorvAccount {

class ApiClient;

// One share of a note or notebook as the notes service reports it.
struct ShareMember
{
    QString id;
    // Whom the share names; the service may give either the member's account id or sign-in id.
    QString sharedWithAccountId;
    QString sharedWithEmail;
    QString sharedWithDisplayName;
    // "view", "edit" or "owner".
    QString permission;
    // Local ISO 8601 text; empty when the service gave no positive time.
    QString createdAt;

    static ShareMember fromJson(const QJsonObject& json);
};

// Lists who has access to one item, grants access to a group member and takes it away again.
class SharingBackend : public QObject
{
    Q_OBJECT
public:
    using ListCallback = std::function<void(const QList<ShareMember>&)>;
    using ShareCallback = std::function<void(bool ok, const QString& error)>;
    using RemoveCallback = std::function<void(bool ok)>;

    using QObject::QObject;

    virtual void listMembers(const QString& itemId, ListCallback callback) = 0;
    virtual void shareWith(const QString& itemId, const QString& memberIdentity, const QString& permission,
                           ShareCallback callback) = 0;
    virtual void removeShare(const QString& itemId, const QString& shareId, RemoveCallback callback) = 0;
    // The identity the service names this member by.
    virtual QString memberIdentity(const GroupMember& member) const { return member.accountId; }
};

} // namespace NorvAccount

// Sharing over the notes service, for notes or for notebooks (a shared notebook shares every note
// in it, present and future).
class NoteSharingService : public NorvAccount::SharingBackend
{
    Q_OBJECT
public:
    enum Mode
    {
        Notes = 0,
        Notebooks = 1,
    };

    NoteSharingService(NorvAccount::ApiClient* api, Mode mode, QObject* parent = nullptr);

    Mode mode() const { return m_mode; }

    void listMembers(const QString& itemId, ListCallback callback) override;
    void shareWith(const QString& itemId, const QString& memberIdentity, const QString& permission,
                   ShareCallback callback) override;
    void removeShare(const QString& itemId, const QString& shareId, RemoveCallback callback) override;
    // The sign-in id when the member has one, else the account id.
    QString memberIdentity(const NorvAccount::GroupMember& member) const override;

private:
    NorvAccount::ApiClient* m_api;
    Mode m_mode;
};
