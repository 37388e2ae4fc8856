// Note and notebook shares. A share lets one member of the owner's group see (or edit) the item.
#include "ServiceHost.h"

namespace {

struct Scope
{
    QString table;  // note_shares or notebook_shares
    QString column; // note_id or notebook_id
    bool notebook;
};

const Scope NoteScope{QStringLiteral("note_shares"), QStringLiteral("note_id"), false};
const Scope NotebookScope{QStringLiteral("notebook_shares"), QStringLiteral("notebook_id"), true};

} // namespace

QJsonObject ServiceHost::shareJson(const QVariantMap& share)
{
    const auto who = m_store.accountByAccountId(share.value("recipient").toString());
    // People are named by their sign-in id here, the identity the sharing dialog matches group members by.
    return QJsonObject{{"id", share.value("id").toString()},
                       {"shared_with_account_id", who ? who->authId : QString()},
                       {"shared_with_email", who ? who->email : QString()},
                       {"shared_with_display_name", who ? who->displayName : QString()},
                       {"permission", share.value("permission").toString()},
                       {"created_at", share.value("created_at").toLongLong()}};
}

QJsonObject ServiceHost::ownerShareJson(const QString& ownerAccountId, qint64 createdAt)
{
    return shareJson(QVariantMap{{"id", QStringLiteral("owner")},
                                 {"recipient", ownerAccountId},
                                 {"permission", QStringLiteral("owner")},
                                 {"created_at", createdAt}});
}

void ServiceHost::dropSharesBetween(const QString& accountId, const QStringList& others)
{
    QHash<QString, QSet<QString>> before;
    QStringList noteShares, notebookShares;
    for (const auto& row : m_store.all(QStringLiteral("SELECT s.id, s.note_id, s.recipient, n.owner FROM note_shares s"
                                                      " JOIN notes n ON n.id = s.note_id"))) {
        const QString owner = row.value("owner").toString(), recipient = row.value("recipient").toString();
        if ((owner == accountId && others.contains(recipient)) || (recipient == accountId && others.contains(owner))) {
            noteShares.append(row.value("id").toString());
            before.insert(row.value("note_id").toString(), audience(row.value("note_id").toString()));
        }
    }
    for (const auto& row : m_store.all(QStringLiteral("SELECT s.id, s.notebook_id, s.recipient, n.owner FROM"
                                                      " notebook_shares s JOIN notebooks n ON n.id = s.notebook_id"))) {
        const QString owner = row.value("owner").toString(), recipient = row.value("recipient").toString();
        if ((owner == accountId && others.contains(recipient)) || (recipient == accountId && others.contains(owner))) {
            notebookShares.append(row.value("id").toString());
            for (const auto& n :
                 m_store.all(QStringLiteral("SELECT id FROM notes WHERE notebook_id = ?"), {row.value("notebook_id")}))
                before.insert(n.value("id").toString(), audience(n.value("id").toString()));
        }
    }
    m_store.transaction();
    for (const QString& id : noteShares)
        m_store.exec(QStringLiteral("DELETE FROM note_shares WHERE id = ?"), {id});
    for (const QString& id : notebookShares)
        m_store.exec(QStringLiteral("DELETE FROM notebook_shares WHERE id = ?"), {id});
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        announceNote(it.key(), it.value());
    m_store.commit();
}

void ServiceHost::registerShareRoutes()
{
    struct Item
    {
        QString owner;
        qint64 createdAt = 0;
        QStringList noteIds; // notes whose audience a share of this item changes
    };
    // The item as the caller may see it; nothing when it does not exist for them.
    const auto lookup = [this](const Scope& scope, const QString& id, const QString& caller) -> std::optional<Item> {
        Item item;
        if (scope.notebook) {
            if (notebookPermissionFor(caller, id).isEmpty())
                return std::nullopt;
            const auto nb = m_store.one(QStringLiteral("SELECT * FROM notebooks WHERE id = ?"), {id});
            item.owner = nb->value("owner").toString();
            item.createdAt = nb->value("created_at").toLongLong();
            for (const auto& n : m_store.all(QStringLiteral("SELECT id FROM notes WHERE notebook_id = ? AND owner = ?"),
                                             {id, item.owner}))
                item.noteIds.append(n.value("id").toString());
        } else {
            const auto note = m_store.one(QStringLiteral("SELECT * FROM notes WHERE id = ?"), {id});
            if (!note || permissionFor(caller, *note).isEmpty())
                return std::nullopt;
            item.owner = note->value("owner").toString();
            item.createdAt = note->value("created_at").toLongLong();
            item.noteIds.append(id);
        }
        return item;
    };

    const auto list = [this, lookup](const Scope& scope) -> Handler {
        return [this, lookup, scope](const Request& request, const Params& p) {
            Response refusal;
            const auto caller = authenticate(request, &refusal);
            if (!caller)
                return refusal;
            const auto item = lookup(scope, p[0], caller->account.accountId);
            if (!item)
                return Response::error(404, scope.notebook ? QStringLiteral("no such notebook")
                                                           : QStringLiteral("no such note"));
            QJsonArray shares{ownerShareJson(item->owner, item->createdAt)};
            for (const auto& s : m_store.all(QStringLiteral("SELECT * FROM %1 WHERE %2 = ? ORDER BY created_at, id")
                                                 .arg(scope.table, scope.column),
                                             {p[0]}))
                shares.append(shareJson(s));
            return Response::json(200, {{"shares", shares}});
        };
    };

    const auto grant = [this, lookup](const Scope& scope) -> Handler {
        return [this, lookup, scope](const Request& request, const Params& p) {
            Response refusal;
            const auto caller = authenticate(request, &refusal);
            if (!caller)
                return refusal;
            const auto body = Json::parseObject(request.body);
            if (!body)
                return Response::error(400, QStringLiteral("body must be a JSON object"));
            const QJsonValue permissionValue = body->value("permission");
            const QString permission =
                permissionValue.isUndefined() ? QStringLiteral("edit") : permissionValue.toString();
            if (permission != QLatin1String("view") && permission != QLatin1String("edit"))
                return Response::error(400, QStringLiteral("permission must be \"view\" or \"edit\""));
            const QString who = body->value("auth_user_id").toString().isEmpty()
                                    ? body->value("account_id").toString()
                                    : body->value("auth_user_id").toString();
            const auto item = lookup(scope, p[0], caller->account.accountId);
            if (!item)
                return Response::error(404, scope.notebook ? QStringLiteral("no such notebook")
                                                           : QStringLiteral("no such note"));
            if (item->owner != caller->account.accountId)
                return Response::error(403, QStringLiteral("only the owner can share it"));
            const auto recipient = who.isEmpty() ? std::nullopt : m_store.accountByEitherId(who);
            if (!recipient)
                return Response::error(404, QStringLiteral("no such person"));
            if (recipient->accountId == item->owner)
                return Response::error(400, QStringLiteral("you already own it"));
            const QString group = m_store.groupOf(item->owner);
            if (group.isEmpty() || m_store.groupOf(recipient->accountId) != group)
                return Response::error(403, QStringLiteral("%1 is not in your group").arg(recipient->displayName));
            QHash<QString, QSet<QString>> before;
            for (const QString& n : item->noteIds)
                before.insert(n, audience(n));
            m_store.transaction();
            const auto existing = m_store.one(
                QStringLiteral("SELECT * FROM %1 WHERE %2 = ? AND recipient = ?").arg(scope.table, scope.column),
                {p[0], recipient->accountId});
            QString shareId = existing ? existing->value("id").toString() : newId();
            if (existing)
                m_store.exec(QStringLiteral("UPDATE %1 SET permission = ? WHERE id = ?").arg(scope.table),
                             {permission, shareId});
            else
                m_store.exec(QStringLiteral("INSERT INTO %1 (id, %2, recipient, permission, created_at)"
                                            " VALUES (?, ?, ?, ?, ?)")
                                 .arg(scope.table, scope.column),
                             {shareId, p[0], recipient->accountId, permission, nowMs()});
            for (auto it = before.cbegin(); it != before.cend(); ++it)
                announceNote(it.key(), it.value());
            m_store.commit();
            const auto share = m_store.one(QStringLiteral("SELECT * FROM %1 WHERE id = ?").arg(scope.table), {shareId});
            return Response::json(existing ? 200 : 201, shareJson(*share));
        };
    };

    const auto revoke = [this, lookup](const Scope& scope) -> Handler {
        return [this, lookup, scope](const Request& request, const Params& p) {
            Response refusal;
            const auto caller = authenticate(request, &refusal);
            if (!caller)
                return refusal;
            const auto item = lookup(scope, p[0], caller->account.accountId);
            const auto share =
                m_store.one(QStringLiteral("SELECT * FROM %1 WHERE id = ? AND %2 = ?").arg(scope.table, scope.column),
                            {p[1], p[0]});
            if (!item || !share)
                return Response::error(404, QStringLiteral("no such share"));
            // The owner revokes any share; a recipient may only step away from their own.
            if (item->owner != caller->account.accountId &&
                share->value("recipient").toString() != caller->account.accountId)
                return Response::error(403, QStringLiteral("only the owner can revoke this share"));
            QHash<QString, QSet<QString>> before;
            for (const QString& n : item->noteIds)
                before.insert(n, audience(n));
            m_store.transaction();
            m_store.exec(QStringLiteral("DELETE FROM %1 WHERE id = ?").arg(scope.table), {p[1]});
            for (auto it = before.cbegin(); it != before.cend(); ++it)
                announceNote(it.key(), it.value());
            m_store.commit();
            return Response::noContent();
        };
    };

    m_http->route("GET", QStringLiteral("/notes/v1/shares/notes/{}"), list(NoteScope));
    m_http->route("POST", QStringLiteral("/notes/v1/shares/notes/{}"), grant(NoteScope));
    m_http->route("DELETE", QStringLiteral("/notes/v1/shares/notes/{}/{}"), revoke(NoteScope));
    m_http->route("GET", QStringLiteral("/notes/v1/notebooks/{}/shares"), list(NotebookScope));
    m_http->route("POST", QStringLiteral("/notes/v1/notebooks/{}/share"), grant(NotebookScope));
    m_http->route("DELETE", QStringLiteral("/notes/v1/notebooks/{}/shares/{}"), revoke(NotebookScope));
}
