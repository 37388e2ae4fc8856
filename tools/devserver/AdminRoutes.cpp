// Loopback-only controls for tests: fault switches, the request log and tokens without a browser.
#include "ServiceHost.h"

void ServiceHost::registerAdminRoutes()
{
    m_http->route("POST", QStringLiteral("/admin/faults"), [this](const Request& request, const Params&) {
        const auto body = Json::parseObject(request.body);
        if (!body)
            return Response::error(400, QStringLiteral("body must be a JSON object"));
        QString error;
        auto fault = Fault::fromJson(*body, &error);
        if (!fault)
            return Response::error(400, error);
        const int id = m_http->addFault(*fault);
        return Response::json(201, {{"id", id}});
    });
    m_http->route("GET", QStringLiteral("/admin/faults"), [this](const Request&, const Params&) {
        return Response::json(200, {{"faults", m_http->faultsJson()}});
    });
    m_http->route("DELETE", QStringLiteral("/admin/faults"), [this](const Request&, const Params&) {
        m_http->clearFaults();
        return Response::noContent();
    });
    m_http->route("DELETE", QStringLiteral("/admin/faults/{}"), [this](const Request&, const Params& p) {
        bool ok = false;
        const int id = p[0].toInt(&ok);
        return ok && m_http->removeFault(id) ? Response::noContent()
                                             : Response::error(404, QStringLiteral("no such fault"));
    });

    m_http->route("GET", QStringLiteral("/admin/requests"), [this](const Request& request, const Params&) {
        return Response::json(200, {{"requests", m_http->requestLog(request.queryValue(QStringLiteral("path")))}});
    });
    m_http->route("DELETE", QStringLiteral("/admin/requests"), [this](const Request&, const Params&) {
        m_http->clearRequestLog();
        return Response::noContent();
    });

    // Every accepted version of a note, oldest first, to show that no push destroyed another's text.
    m_http->route("GET", QStringLiteral("/admin/notes/{}/versions"), [this](const Request&, const Params& p) {
        QJsonArray versions;
        for (const auto& v :
             m_store.all(QStringLiteral("SELECT * FROM note_versions WHERE note_id = ? ORDER BY version"), {p[0]}))
            versions.append(QJsonObject{{"version", v.value("version").toLongLong()},
                                        {"body", v.value("body").toString()},
                                        {"author", v.value("author").toString()},
                                        {"stored_at", v.value("stored_at").toLongLong()}});
        return Response::json(200, {{"versions", versions}});
    });

    // Signs a seeded user in without the browser; "access_ttl" may be negative to get an expired token.
    m_http->route("POST", QStringLiteral("/admin/tokens"), [this](const Request& request, const Params&) {
        const auto body = Json::parseObject(request.body);
        if (!body || !body->value("email").isString())
            return Response::error(400, QStringLiteral("body must be {\"email\": text, \"access_ttl\": seconds}"));
        const auto account = m_store.accountByEmail(body->value("email").toString());
        if (!account)
            return Response::error(404, QStringLiteral("no such user"));
        const QJsonValue ttl = body->value("access_ttl");
        if (!ttl.isUndefined() && (!Json::isInteger(ttl) || qAbs(ttl.toInteger()) > 365LL * 24 * 3600))
            return Response::error(400, QStringLiteral("access_ttl must be an integer number of seconds"));
        const int seconds = ttl.isUndefined() ? m_options.accessTtlSeconds : int(ttl.toInteger());
        const QString session = createSession(*account, request);
        const TokenPair tokens = issueTokens(*account, session, seconds);
        return Response::json(201, {{"access_token", tokens.accessToken},
                                    {"refresh_token", tokens.refreshToken},
                                    {"session_id", session},
                                    {"auth_user_id", account->authId},
                                    {"account_id", account->accountId}});
    });
}
