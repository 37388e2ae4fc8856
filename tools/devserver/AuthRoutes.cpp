// The sign-in service: browser login page with its loopback redirect, token refresh, logout and the user calls.
#include "ServiceHost.h"

#include <QCryptographicHash>
#include <QUrl>

namespace {

struct LoginParams
{
    QString clientId;
    QString redirectUri;
    QString state;
    QString email;
    QString password;
};

LoginParams loginParams(const Request& request)
{
    LoginParams p;
    QUrlQuery form;
    if (request.method == "POST") {
        QByteArray body = request.body;
        body.replace('+', ' '); // form encoding writes spaces as "+"
        form = QUrlQuery(QString::fromUtf8(body));
    }
    const auto value = [&](const QString& key) {
        return form.hasQueryItem(key) ? form.queryItemValue(key, QUrl::FullyDecoded) : request.queryValue(key);
    };
    p.clientId = value(QStringLiteral("client_id"));
    p.redirectUri = value(QStringLiteral("redirect_uri"));
    p.state = value(QStringLiteral("state"));
    p.email = form.queryItemValue(QStringLiteral("email"), QUrl::FullyDecoded);
    p.password = form.queryItemValue(QStringLiteral("password"), QUrl::FullyDecoded);
    return p;
}

// Tokens may only travel to a listener on this machine.
bool isLoopbackRedirect(const QUrl& url)
{
    const QString host = url.host().toLower();
    return url.isValid() && url.scheme() == QLatin1String("http") && url.port() > 0 &&
           (host == QLatin1String("localhost") || host == QLatin1String("127.0.0.1") || host == QLatin1String("::1"));
}

Response page(int status, const QString& title, const QString& inner)
{
    const QString html = QStringLiteral("<!doctype html><html><head><meta charset='utf-8'><title>%1</title></head>"
                                        "<body style='font-family: sans-serif; max-width: 380px; margin: 60px auto;'>"
                                        "<h2>%1</h2>%2</body></html>")
                             .arg(title.toHtmlEscaped(), inner);
    return Response::raw(status, "text/html; charset=utf-8", html.toUtf8());
}

Response loginForm(const LoginParams& p, const QString& error)
{
    const auto hidden = [](const char* name, const QString& value) {
        return QStringLiteral("<input type='hidden' name='%1' value='%2'>")
            .arg(QLatin1String(name), value.toHtmlEscaped());
    };
    QString inner;
    if (!error.isEmpty())
        inner += QStringLiteral("<p id='error' style='color: #b00020'>%1</p>").arg(error.toHtmlEscaped());
    inner += QStringLiteral("<form method='post'>") + hidden("client_id", p.clientId) +
             hidden("redirect_uri", p.redirectUri) + hidden("state", p.state) +
             QStringLiteral("<p><label>Email<br><input name='email' type='email' value='%1' autofocus></label></p>"
                            "<p><label>Password<br><input name='password' type='password'></label></p>"
                            "<p><button type='submit'>Sign in</button></p></form>")
                 .arg(p.email.toHtmlEscaped());
    return page(error.isEmpty() ? 200 : 401, QStringLiteral("Sign in to Norvane"), inner);
}

QJsonObject userJson(const Account& a)
{
    return QJsonObject{{"id", a.authId},         {"email", a.email}, {"display_name", a.displayName},
                       {"username", a.username}, {"avatar_url", ""}, {"created_at", isoMs(a.createdAt)}};
}

} // namespace

void ServiceHost::registerAuthRoutes()
{
    const QString login = QStringLiteral("/auth/%1/account/login").arg(m_options.realm);
    const QString api = QStringLiteral("/auth/api/v1/realms/%1").arg(m_options.realm);

    const auto loginHandler = [this](const Request& request, const Params&) {
        const LoginParams p = loginParams(request);
        const QUrl redirect(p.redirectUri, QUrl::StrictMode);
        if (p.clientId.isEmpty())
            return page(400, QStringLiteral("Sign-in failed"), QStringLiteral("<p>The client_id is missing.</p>"));
        if (!isLoopbackRedirect(redirect))
            return page(400, QStringLiteral("Sign-in failed"),
                        QStringLiteral("<p>The redirect_uri must be an http address on localhost.</p>"));
        std::optional<Account> account;
        if (!m_options.autoLoginEmail.isEmpty()) {
            account = m_store.accountByEmail(m_options.autoLoginEmail);
        } else {
            if (request.method == "GET")
                return loginForm(p, QString());
            account = m_store.accountByEmail(p.email);
            if (!account || !m_store.checkPassword(account->authId, p.password))
                return loginForm(p, QStringLiteral("Wrong email or password."));
        }
        if (!account)
            return page(500, QStringLiteral("Sign-in failed"), QStringLiteral("<p>Unknown user.</p>"));
        // Signing in during the grace period takes back a scheduled deletion.
        m_store.exec(QStringLiteral("UPDATE users SET status = 'active' WHERE auth_id = ?"), {account->authId});
        const QString session = createSession(*account, request);
        const TokenPair tokens = issueTokens(*account, session, m_options.accessTtlSeconds);
        QUrl target = redirect;
        QUrlQuery query(target);
        query.addQueryItem(QStringLiteral("access_token"), tokens.accessToken);
        query.addQueryItem(QStringLiteral("refresh_token"), tokens.refreshToken);
        query.addQueryItem(QStringLiteral("token_type"), QStringLiteral("Bearer"));
        query.addQueryItem(QStringLiteral("expires_in"), QString::number(m_options.accessTtlSeconds));
        if (!p.state.isEmpty())
            query.addQueryItem(QStringLiteral("state"), QString::fromLatin1(QUrl::toPercentEncoding(p.state)));
        target.setQuery(query);
        Response r = page(302, QStringLiteral("Signed in"), QStringLiteral("<p>Returning to the application.</p>"));
        r.addHeader("Location", target.toEncoded());
        r.addHeader("Cache-Control", "no-store");
        return r;
    };
    // The account portal only needs to exist for the browser that the app opens on it.
    const auto portal = [](const Request& request, const Params&) {
        return page(200, QStringLiteral("Norvane account portal"),
                    QStringLiteral("<p>Development stand-in. Requested: <code>%1</code></p>")
                        .arg(request.path.toHtmlEscaped()));
    };
    m_http->route("GET", QStringLiteral("/portal"), portal);
    m_http->route("GET", QStringLiteral("/portal/**"), portal);
    m_http->route("GET", login, loginHandler);
    m_http->route("POST", login, loginHandler);

    m_http->route("POST", api + QStringLiteral("/auth/token/refresh"), [this](const Request& request, const Params&) {
        const auto body = Json::parseObject(request.body);
        if (!body || !body->value("refresh_token").isString() || body->value("refresh_token").toString().isEmpty())
            return Response::error(400, QStringLiteral("body must be {\"refresh_token\": text}"));
        const auto rejected = Response::json(401, {{"error", "invalid_grant"}});
        const QString hash = QString::fromLatin1(
            QCryptographicHash::hash(body->value("refresh_token").toString().toUtf8(), QCryptographicHash::Sha256)
                .toHex());
        const auto row = m_store.one(QStringLiteral("SELECT * FROM refresh_tokens WHERE hash = ?"), {hash});
        if (!row || row->value("revoked").toInt() != 0 ||
            row->value("created_at").toLongLong() + 30LL * 24 * 3600 * 1000 < nowMs())
            return rejected;
        const QString sessionId = row->value("session_id").toString();
        const auto session = m_store.one(QStringLiteral("SELECT * FROM sessions WHERE id = ?"), {sessionId});
        if (!session || session->value("revoked").toInt() != 0)
            return rejected;
        const auto account = m_store.accountByAuthId(session->value("auth_id").toString());
        if (!account)
            return rejected;
        m_store.transaction();
        // The successor of an earlier refresh was never used (its answer may have been lost): replace it.
        if (!row->value("successor").isNull())
            m_store.exec(QStringLiteral("UPDATE refresh_tokens SET revoked = 1 WHERE hash = ?"),
                         {row->value("successor")});
        // First use of this token retires the one it replaced.
        m_store.exec(QStringLiteral("UPDATE refresh_tokens SET used = 1 WHERE hash = ?"), {hash});
        if (!row->value("predecessor").isNull())
            m_store.exec(QStringLiteral("UPDATE refresh_tokens SET revoked = 1 WHERE hash = ?"),
                         {row->value("predecessor")});
        const TokenPair tokens = issueTokens(*account, sessionId, m_options.accessTtlSeconds, hash);
        m_store.exec(QStringLiteral("UPDATE sessions SET last_active_at = ? WHERE id = ?"), {nowMs(), sessionId});
        m_store.commit();
        return Response::json(200, {{"access_token", tokens.accessToken},
                                    {"refresh_token", tokens.refreshToken},
                                    {"token_type", "Bearer"},
                                    {"expires_in", m_options.accessTtlSeconds}});
    });

    m_http->route("POST", api + QStringLiteral("/auth/logout"), [this](const Request& request, const Params&) {
        Response refusal;
        const auto caller = authenticate(request, &refusal);
        if (!caller)
            return refusal;
        revokeSession(caller->sessionId);
        return Response::noContent();
    });

    m_http->route("GET", api + QStringLiteral("/users/me"), [this](const Request& request, const Params&) {
        Response refusal;
        const auto caller = authenticate(request, &refusal);
        return caller ? Response::json(200, userJson(caller->account)) : refusal;
    });

    m_http->route("PATCH", api + QStringLiteral("/users/me"), [this](const Request& request, const Params&) {
        Response refusal;
        const auto caller = authenticate(request, &refusal);
        if (!caller)
            return refusal;
        const auto body = Json::parseObject(request.body);
        if (!body || !body->value("display_name").isString())
            return Response::error(400, QStringLiteral("body must be {\"display_name\": text}"));
        const QString name = body->value("display_name").toString().trimmed();
        if (name.isEmpty() || name.size() > 100)
            return Response::error(400, QStringLiteral("display_name must have 1 to 100 characters"));
        m_store.exec(QStringLiteral("UPDATE users SET display_name = ? WHERE auth_id = ?"),
                     {name, caller->account.authId});
        return Response::json(200, userJson(*m_store.accountByAuthId(caller->account.authId)));
    });

    m_http->route("POST", api + QStringLiteral("/users/me/password"), [this](const Request& request, const Params&) {
        Response refusal;
        const auto caller = authenticate(request, &refusal);
        if (!caller)
            return refusal;
        const auto body = Json::parseObject(request.body);
        if (!body || !body->value("current_password").isString() || !body->value("new_password").isString())
            return Response::error(400, QStringLiteral("body must carry current_password and new_password"));
        if (!m_store.checkPassword(caller->account.authId, body->value("current_password").toString()))
            return Response::error(403, QStringLiteral("current password is wrong"));
        const QString fresh = body->value("new_password").toString();
        if (fresh.size() < 8 || fresh.size() > 200)
            return Response::error(400, QStringLiteral("new password must have 8 to 200 characters"));
        m_store.setPassword(caller->account.authId, fresh);
        // A new password ends every other session of the person.
        for (const auto& s : m_store.all(QStringLiteral("SELECT id FROM sessions WHERE auth_id = ? AND id <> ?"
                                                        " AND revoked = 0"),
                                         {caller->account.authId, caller->sessionId}))
            revokeSession(s.value("id").toString());
        return Response::noContent();
    });

    m_http->route("GET", api + QStringLiteral("/users/me/sessions"), [this](const Request& request, const Params&) {
        Response refusal;
        const auto caller = authenticate(request, &refusal);
        if (!caller)
            return refusal;
        QJsonArray list;
        for (const auto& s : m_store.all(QStringLiteral("SELECT * FROM sessions WHERE auth_id = ? AND revoked = 0"
                                                        " ORDER BY last_active_at DESC"),
                                         {caller->account.authId})) {
            list.append(QJsonObject{{"id", s.value("id").toString()},
                                    {"user_agent", s.value("user_agent").toString()},
                                    {"ip_address", s.value("ip_address").toString()},
                                    {"created_at", isoMs(s.value("created_at").toLongLong())},
                                    {"last_active_at", isoMs(s.value("last_active_at").toLongLong())},
                                    {"is_current", s.value("id").toString() == caller->sessionId}});
        }
        return Response::json(200, {{"sessions", list}, {"count", list.size()}});
    });

    m_http->route("DELETE", api + QStringLiteral("/users/me/sessions/{}"),
                  [this](const Request& request, const Params& params) {
                      Response refusal;
                      const auto caller = authenticate(request, &refusal);
                      if (!caller)
                          return refusal;
                      const auto s = m_store.one(QStringLiteral("SELECT id FROM sessions WHERE id = ? AND auth_id = ?"
                                                                " AND revoked = 0"),
                                                 {params[0], caller->account.authId});
                      if (!s)
                          return Response::error(404, QStringLiteral("no such session"));
                      revokeSession(params[0]);
                      return Response::noContent();
                  });
}
