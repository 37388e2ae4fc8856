// The account API: profile, devices, the account group with its invitations and members.
#include "ServiceHost.h"

#include <QRandomGenerator>

namespace {

constexpr qint64 InvitationLifetimeMs = 7LL * 24 * 3600 * 1000;

QString inviteCode()
{
    static const char alphabet[] = "ABCDEFGHJKLMNPQRSTUVWXYZ23456789";
    QString code;
    for (int i = 0; i < 10; ++i)
        code += QLatin1Char(alphabet[QRandomGenerator::system()->bounded(int(sizeof alphabet) - 1)]);
    return code;
}

} // namespace

QJsonObject ServiceHost::groupSummary(const QString& accountId)
{
    const QString groupId = m_store.groupOf(accountId);
    const auto group = m_store.one(QStringLiteral("SELECT * FROM groups WHERE id = ?"), {groupId});
    if (!group)
        return {};
    return QJsonObject{{"id", groupId},
                       {"name", group->value("name").toString()},
                       {"role", m_store.roleIn(accountId)},
                       {"member_count", int(m_store.groupMembers(groupId).size())}};
}

QJsonObject ServiceHost::invitationJson(const QVariantMap& inv)
{
    return QJsonObject{{"id", inv.value("id").toString()},
                       {"invited_email", inv.value("invited_email").toString()},
                       {"invite_code", inv.value("invite_code").toString()},
                       {"status", inv.value("status").toString()},
                       {"expires_at", isoMs(inv.value("expires_at").toLongLong())}};
}

void ServiceHost::registerAccountRoutes()
{
    const QString base = QStringLiteral("/account/v1");
    // Every account route needs a caller; this wraps the check once.
    const auto authed = [this](std::function<Response(const Caller&, const Request&, const Params&)> handler) {
        return [this, handler](const Request& request, const Params& params) {
            Response refusal;
            const auto caller = authenticate(request, &refusal);
            return caller ? handler(*caller, request, params) : refusal;
        };
    };

    m_http->route("GET", base + QStringLiteral("/profile"),
                  authed([this](const Caller& c, const Request&, const Params&) {
                      const Account& a = c.account;
                      QJsonObject profile{{"id", a.accountId},
                                          {"email", a.email},
                                          {"display_name", a.displayName},
                                          {"avatar_url", ""},
                                          {"language", a.language},
                                          {"timezone", a.timezone},
                                          {"status", a.status},
                                          {"created_at", isoMs(a.createdAt)}};
                      const QJsonObject group = groupSummary(a.accountId);
                      if (!group.isEmpty())
                          profile.insert("group", group);
                      return Response::json(200, profile);
                  }));

    m_http->route("DELETE", base + QStringLiteral("/profile"),
                  authed([this](const Caller& c, const Request&, const Params&) {
                      const QString groupId = m_store.groupOf(c.account.accountId);
                      if (m_store.roleIn(c.account.accountId) == QLatin1String("owner") &&
                          m_store.groupMembers(groupId).size() > 1)
                          return Response::error(409, QStringLiteral("the group owner must remove all members first"));
                      m_store.exec(QStringLiteral("UPDATE users SET status = 'pending_deletion' WHERE auth_id = ?"),
                                   {c.account.authId});
                      return Response::json(200, {{"status", "pending_deletion"},
                                                  {"delete_after", isoMs(nowMs() + 30LL * 24 * 3600 * 1000)}});
                  }));

    m_http->route(
        "GET", base + QStringLiteral("/devices"), authed([this](const Caller& c, const Request&, const Params&) {
            QJsonArray list;
            for (const auto& d :
                 m_store.all(QStringLiteral("SELECT * FROM devices WHERE account_id = ? ORDER BY created_at"),
                             {c.account.accountId})) {
                const QVariant lastSync = d.value("last_sync_at");
                list.append(
                    QJsonObject{{"id", d.value("id").toString()},
                                {"device_name", d.value("device_name").toString()},
                                {"platform", d.value("platform").toString()},
                                {"app_id", d.value("app_id").toString()},
                                {"app_version", d.value("app_version").toString()},
                                {"last_sync_at", lastSync.isNull() ? QJsonValue() : isoMs(lastSync.toLongLong())},
                                {"device_fingerprint", d.value("fingerprint").toString()},
                                {"created_at", isoMs(d.value("created_at").toLongLong())}});
            }
            return Response::json(200, {{"devices", list}});
        }));

    m_http->route("DELETE", base + QStringLiteral("/devices/{}"),
                  authed([this](const Caller& c, const Request&, const Params& p) {
                      const auto d = m_store.one(QStringLiteral("SELECT session_id FROM devices WHERE id = ? AND"
                                                                " account_id = ?"),
                                                 {p[0], c.account.accountId});
                      if (!d)
                          return Response::error(404, QStringLiteral("no such device"));
                      // A removed device is signed out as well.
                      revokeSession(d->value("session_id").toString());
                      return Response::noContent();
                  }));

    m_http->route(
        "GET", base + QStringLiteral("/group"), authed([this](const Caller& c, const Request&, const Params&) {
            const QString groupId = m_store.groupOf(c.account.accountId);
            const auto group = m_store.one(QStringLiteral("SELECT * FROM groups WHERE id = ?"), {groupId});
            if (!group)
                return Response::error(404, QStringLiteral("not in a group"));
            QJsonArray members;
            for (const QString& id : m_store.groupMembers(groupId)) {
                const auto a = m_store.accountByAccountId(id);
                if (!a)
                    continue;
                const auto m = m_store.one(QStringLiteral("SELECT * FROM group_members WHERE account_id = ?"), {id});
                members.append(QJsonObject{{"account_id", a->accountId},
                                           {"auth_user_id", a->authId},
                                           {"display_name", a->displayName},
                                           {"email", a->email},
                                           {"role", m->value("role").toString()},
                                           {"joined_at", isoMs(m->value("joined_at").toLongLong())}});
            }
            // Invite codes are the owner's to hand out; members see none.
            QJsonArray invitations;
            if (m_store.roleIn(c.account.accountId) == QLatin1String("owner")) {
                for (const auto& inv : m_store.all(QStringLiteral("SELECT * FROM invitations WHERE group_id = ? AND"
                                                                  " status = 'pending' AND expires_at > ?"
                                                                  " ORDER BY created_at"),
                                                   {groupId, nowMs()}))
                    invitations.append(invitationJson(inv));
            }
            return Response::json(200, {{"id", groupId},
                                        {"name", group->value("name").toString()},
                                        {"max_seats", group->value("max_seats").toInt()},
                                        {"members", members},
                                        {"pending_invitations", invitations}});
        }));

    m_http->route(
        "POST", base + QStringLiteral("/group/invite"),
        authed([this](const Caller& c, const Request& request, const Params&) {
            const QString groupId = m_store.groupOf(c.account.accountId);
            if (groupId.isEmpty())
                return Response::error(404, QStringLiteral("not in a group"));
            if (m_store.roleIn(c.account.accountId) != QLatin1String("owner"))
                return Response::error(403, QStringLiteral("only the group owner can invite"));
            QString email;
            if (!request.body.trimmed().isEmpty()) {
                const auto body = Json::parseObject(request.body);
                if (!body || (body->contains("email") && !body->value("email").isString()))
                    return Response::error(400, QStringLiteral("body must be {} or {\"email\": text}"));
                email = body->value("email").toString().trimmed().toLower();
                if (body->contains("email") && (!email.contains(QLatin1Char('@')) || email.size() > 254))
                    return Response::error(400, QStringLiteral("email is not an address"));
            }
            const auto seats =
                m_store.scalar(QStringLiteral("SELECT max_seats FROM groups WHERE id = ?"), {groupId}).toInt();
            if (m_store.groupMembers(groupId).size() >= seats)
                return Response::error(409, QStringLiteral("the group has no free seat"));
            const qint64 now = nowMs();
            const QString id = newId();
            m_store.exec(QStringLiteral("INSERT INTO invitations VALUES (?, ?, ?, ?, 'pending', ?, ?)"),
                         {id, groupId, email, inviteCode(), now, now + InvitationLifetimeMs});
            return Response::json(
                201, invitationJson(*m_store.one(QStringLiteral("SELECT * FROM invitations WHERE id = ?"), {id})));
        }));

    m_http->route(
        "POST", base + QStringLiteral("/group/join/{}"),
        authed([this](const Caller& c, const Request&, const Params& p) {
            const auto inv = m_store.one(QStringLiteral("SELECT * FROM invitations WHERE invite_code = ? AND"
                                                        " status = 'pending' AND expires_at > ?"),
                                         {p[0].trimmed().toUpper(), nowMs()});
            if (!inv)
                return Response::error(404, QStringLiteral("invalid or expired invite code"));
            const QString invited = inv->value("invited_email").toString();
            if (!invited.isEmpty() && invited != c.account.email)
                return Response::error(403, QStringLiteral("this invitation is for another email address"));
            if (!m_store.groupOf(c.account.accountId).isEmpty())
                return Response::error(409, QStringLiteral("already in a group; leave it first"));
            const QString groupId = inv->value("group_id").toString();
            const auto seats =
                m_store.scalar(QStringLiteral("SELECT max_seats FROM groups WHERE id = ?"), {groupId}).toInt();
            if (m_store.groupMembers(groupId).size() >= seats)
                return Response::error(409, QStringLiteral("the group has no free seat"));
            m_store.exec(QStringLiteral("INSERT INTO group_members VALUES (?, ?, 'member', ?)"),
                         {c.account.accountId, groupId, nowMs()});
            m_store.exec(QStringLiteral("UPDATE invitations SET status = 'accepted' WHERE id = ?"), {inv->value("id")});
            return Response::json(200, {{"group", groupSummary(c.account.accountId)}});
        }));

    m_http->route(
        "POST", base + QStringLiteral("/group/leave"), authed([this](const Caller& c, const Request&, const Params&) {
            const QString groupId = m_store.groupOf(c.account.accountId);
            if (groupId.isEmpty())
                return Response::error(404, QStringLiteral("not in a group"));
            if (m_store.roleIn(c.account.accountId) == QLatin1String("owner"))
                return Response::error(409, QStringLiteral("the owner cannot leave the group"));
            m_store.exec(QStringLiteral("DELETE FROM group_members WHERE account_id = ?"), {c.account.accountId});
            dropSharesBetween(c.account.accountId, m_store.groupMembers(groupId));
            return Response::noContent();
        }));

    m_http->route("DELETE", base + QStringLiteral("/group/members/{}"),
                  authed([this](const Caller& c, const Request&, const Params& p) {
                      const QString groupId = m_store.groupOf(c.account.accountId);
                      if (groupId.isEmpty())
                          return Response::error(404, QStringLiteral("not in a group"));
                      if (m_store.roleIn(c.account.accountId) != QLatin1String("owner"))
                          return Response::error(403, QStringLiteral("only the group owner can remove members"));
                      const auto member = m_store.accountByEitherId(p[0]);
                      if (!member || m_store.groupOf(member->accountId) != groupId)
                          return Response::error(404, QStringLiteral("no such member"));
                      if (m_store.roleIn(member->accountId) == QLatin1String("owner"))
                          return Response::error(409, QStringLiteral("the owner cannot be removed"));
                      m_store.exec(QStringLiteral("DELETE FROM group_members WHERE account_id = ?"),
                                   {member->accountId});
                      dropSharesBetween(member->accountId, m_store.groupMembers(groupId));
                      return Response::noContent();
                  }));

    m_http->route("DELETE", base + QStringLiteral("/group/invitations/{}"),
                  authed([this](const Caller& c, const Request&, const Params& p) {
                      const QString groupId = m_store.groupOf(c.account.accountId);
                      if (m_store.roleIn(c.account.accountId) != QLatin1String("owner"))
                          return Response::error(403, QStringLiteral("only the group owner can revoke invitations"));
                      const auto inv = m_store.one(QStringLiteral("SELECT id FROM invitations WHERE id = ? AND"
                                                                  " group_id = ? AND status = 'pending'"),
                                                   {p[0], groupId});
                      if (!inv)
                          return Response::error(404, QStringLiteral("no such invitation"));
                      m_store.exec(QStringLiteral("UPDATE invitations SET status = 'revoked' WHERE id = ?"), {p[0]});
                      return Response::noContent();
                  }));
}
