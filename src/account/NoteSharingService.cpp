#include "ApiClient.h"
#include "SharingBackend.h"

#include <QJsonArray>

namespace NorvAccount {

ShareMember ShareMember::fromJson(const QJsonObject& json)
{
    ShareMember share;
    share.id = json.value(QLatin1String("id")).toString();
    share.sharedWithAccountId = json.value(QLatin1String("shared_with_account_id")).toString();
    share.sharedWithEmail = json.value(QLatin1String("shared_with_email")).toString();
    share.sharedWithDisplayName = json.value(QLatin1String("shared_with_display_name")).toString();
    share.permission = json.value(QLatin1String("permission")).toString();
    const qint64 created = json.value(QLatin1String("created_at")).toInteger(0);
    if (created > 0)
        share.createdAt = QDateTime::fromMSecsSinceEpoch(created).toLocalTime().toString(Qt::ISODate);
    return share;
}

} // namespace NorvAccount

using NorvAccount::ShareMember;

NoteSharingService::NoteSharingService(NorvAccount::ApiClient* api, Mode mode, QObject* parent)
    : SharingBackend(parent)
    , m_api(api)
    , m_mode(mode)
{}

void NoteSharingService::listMembers(const QString& itemId, ListCallback callback)
{
    const QString path = m_mode == Notes ? QStringLiteral("/shares/notes/%1") : QStringLiteral("/notebooks/%1/shares");
    m_api->get(path.arg(itemId), [callback](bool ok, int, const QJsonObject& body) {
        QList<ShareMember> shares;
        if (ok) {
            for (const QJsonValue& value : body.value(QLatin1String("shares")).toArray())
                shares.append(ShareMember::fromJson(value.toObject()));
        }
        callback(shares);
    });
}

void NoteSharingService::shareWith(const QString& itemId, const QString& memberIdentity, const QString& permission,
                                   ShareCallback callback)
{
    const QString path = m_mode == Notes ? QStringLiteral("/shares/notes/%1") : QStringLiteral("/notebooks/%1/share");
    // The service accepts either id; both keys carry the one identity so either reading finds it.
    const QJsonObject body{
        {QStringLiteral("account_id"), memberIdentity},
        {QStringLiteral("auth_user_id"), memberIdentity},
        {QStringLiteral("permission"),
         permission == QLatin1String("view") ? QStringLiteral("view") : QStringLiteral("edit")},
    };
    m_api->post(path.arg(itemId), body, [callback](bool ok, int status, const QJsonObject& reply) {
        if (ok) {
            callback(true, QString());
            return;
        }
        QString error = reply.value(QLatin1String("error")).toString();
        if (error.isEmpty())
            error = tr("Share failed (HTTP %1)").arg(status);
        callback(false, error);
    });
}

void NoteSharingService::removeShare(const QString& itemId, const QString& shareId, RemoveCallback callback)
{
    const QString path =
        m_mode == Notes ? QStringLiteral("/shares/notes/%1/%2") : QStringLiteral("/notebooks/%1/shares/%2");
    m_api->deleteResource(path.arg(itemId, shareId), [callback](bool ok, int, const QJsonObject&) { callback(ok); });
}

QString NoteSharingService::memberIdentity(const NorvAccount::GroupMember& member) const
{
    return member.authUserId.isEmpty() ? member.accountId : member.authUserId;
}
