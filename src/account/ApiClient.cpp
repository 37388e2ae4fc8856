#include "ApiClient.h"

#include "AccountLog.h"
#include "TokenManager.h"

#include <QHttpMultiPart>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace NorvAccount {

namespace {

QByteArray encodeBody(const QJsonObject& body)
{
    return body.isEmpty() ? QByteArray() : QJsonDocument(body).toJson(QJsonDocument::Compact);
}

QJsonObject parseObject(const QByteArray& data)
{
    const QJsonDocument doc = QJsonDocument::fromJson(data);
    return doc.isObject() ? doc.object() : QJsonObject();
}

bool sameOrigin(const QUrl& a, const QUrl& b)
{
    return a.scheme() == b.scheme() && a.host() == b.host() && a.port(-1) == b.port(-1);
}

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

} // namespace

ApiClient::ApiClient(TokenManager* tokens, QObject* parent)
    : QObject(parent)
    , m_tokens(tokens)
    , m_network(new QNetworkAccessManager(this))
{}

void ApiClient::setAppInfo(const QString& appId, const QString& appVersion, const QString& platform)
{
    m_appId = appId;
    m_appVersion = appVersion;
    m_platform = platform;
}

QUrl ApiClient::buildUrl(const QString& path, const QUrlQuery& query) const
{
    QUrl url = m_baseUrl;
    url.setPath(m_baseUrl.path(QUrl::FullyDecoded) + path, QUrl::DecodedMode);
    if (!query.isEmpty())
        url.setQuery(query);
    return url;
}

void ApiClient::get(const QString& path, ResponseCallback callback, const QUrlQuery& query)
{
    sendRequest("GET", path, QJsonObject(), std::move(callback), query, true);
}

void ApiClient::getPublic(const QString& path, ResponseCallback callback, const QUrlQuery& query)
{
    sendRequest("GET", path, QJsonObject(), std::move(callback), query, false);
}

void ApiClient::post(const QString& path, const QJsonObject& body, ResponseCallback callback)
{
    sendRequest("POST", path, body, std::move(callback), QUrlQuery(), true);
}

void ApiClient::postPublic(const QString& path, const QJsonObject& body, ResponseCallback callback)
{
    sendRequest("POST", path, body, std::move(callback), QUrlQuery(), false);
}

void ApiClient::put(const QString& path, const QJsonObject& body, ResponseCallback callback)
{
    sendRequest("PUT", path, body, std::move(callback), QUrlQuery(), true);
}

void ApiClient::patch(const QString& path, const QJsonObject& body, ResponseCallback callback)
{
    sendRequest("PATCH", path, body, std::move(callback), QUrlQuery(), true);
}

void ApiClient::deleteResource(const QString& path, ResponseCallback callback, const QUrlQuery& query)
{
    sendRequest("DELETE", path, QJsonObject(), std::move(callback), query, true);
}

void ApiClient::sendRequest(const QByteArray& method, const QString& path, const QJsonObject& body,
                            ResponseCallback callback, const QUrlQuery& query, bool authenticated)
{
    Call call;
    call.method = method;
    call.url = buildUrl(path, query);
    call.body = encodeBody(body);
    call.json = std::move(callback);
    send(std::move(call), authenticated);
}

void ApiClient::sendWithToken(const QByteArray& method, const QString& path, const QJsonObject& body,
                              const QString& token, ResponseCallback callback)
{
    Call call;
    call.method = method;
    call.url = buildUrl(path);
    call.firstUrl = call.url;
    call.body = encodeBody(body);
    call.token = token;
    call.json = std::move(callback);
    executeRequest(std::move(call));
}

void ApiClient::getBinary(const QString& path, BinaryCallback callback, const QUrlQuery& query)
{
    Call call;
    call.method = "GET";
    call.url = buildUrl(path, query);
    call.kind = Kind::Binary;
    call.binary = std::move(callback);
    send(std::move(call), true);
}

void ApiClient::postMultipart(const QString& path, QHttpMultiPart* multipart, ResponseCallback callback)
{
    if (!multipart) {
        if (callback)
            callback(false, 0, QJsonObject());
        return;
    }
    Call call;
    call.method = "POST";
    call.url = buildUrl(path);
    call.kind = Kind::Multipart;
    call.multipart = multipart;
    call.json = std::move(callback);
    send(std::move(call), true);
}

void ApiClient::send(Call call, bool authenticated)
{
    call.firstUrl = call.url;
    if (!authenticated || !m_tokens) {
        executeRequest(std::move(call));
        return;
    }
    // A multipart body cannot be sent twice, so it gets no retry after a 401.
    call.retryOn401 = call.kind != Kind::Multipart;
    if (!m_tokens->needsRefresh()) {
        call.token = m_tokens->accessToken();
        executeRequest(std::move(call));
        return;
    }
    qCDebug(lcAccount).noquote() << "ApiClient: token needs refresh before" << call.method << call.url.path();
    QPointer<ApiClient> self(this);
    m_tokens->refresh([self, call](RefreshResult result) mutable {
        if (!self) {
            if (call.multipart)
                call.multipart->deleteLater();
            return;
        }
        if (result == RefreshResult::Success) {
            call.token = self->m_tokens->accessToken();
            self->executeRequest(std::move(call));
            return;
        }
        qCWarning(lcAccount).noquote() << "ApiClient: token refresh"
                                       << (result == RefreshResult::Rejected ? "rejected" : "failed (transient)")
                                       << "for" << call.method << call.url.path();
        if (result == RefreshResult::Rejected)
            emit self->authenticationRequired();
        self->fail(call, result == RefreshResult::Rejected ? 401 : 0);
    });
}

void ApiClient::executeRequest(Call call)
{
    QNetworkRequest request(call.url);
    switch (call.kind) {
    case Kind::Json:
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
        request.setRawHeader("Accept", "application/json");
        break;
    case Kind::Binary:
        request.setRawHeader("Accept", "*/*");
        break;
    case Kind::Multipart:
        break;
    }
    if (!m_appId.isEmpty())
        request.setRawHeader("X-App-Id", m_appId.toUtf8());
    if (!m_appVersion.isEmpty())
        request.setRawHeader("X-App-Version", m_appVersion.toUtf8());
    if (!m_platform.isEmpty())
        request.setRawHeader("X-Platform", m_platform.toUtf8());
    if (!call.token.isEmpty() && sameOrigin(call.url, call.firstUrl))
        request.setRawHeader("Authorization", QStringLiteral("Bearer %1").arg(call.token).toUtf8());
    request.setTransferTimeout(m_transferTimeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);

    QNetworkReply* reply = nullptr;
    if (call.kind == Kind::Multipart) {
        if (call.multipart)
            reply = m_network->post(request, call.multipart.data());
    } else if (call.method == "GET") {
        reply = m_network->get(request);
    } else if (call.method == "POST") {
        reply = m_network->post(request, call.body);
    } else if (call.method == "PUT") {
        reply = m_network->put(request, call.body);
    } else if (call.method == "PATCH") {
        reply = m_network->sendCustomRequest(request, "PATCH", call.body);
    } else if (call.method == "DELETE") {
        reply = m_network->deleteResource(request);
    }
    if (!reply) {
        fail(call, 0);
        return;
    }
    if (call.multipart)
        call.multipart->setParent(reply);
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, call = std::move(call)]() mutable { onFinished(reply, std::move(call)); });
}

void ApiClient::onFinished(QNetworkReply* reply, Call call)
{
    reply->deleteLater();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QByteArray data = reply->isOpen() ? reply->readAll() : QByteArray();
    const QNetworkReply::NetworkError error = reply->error();

    if (call.kind != Kind::Multipart && isRedirect(status) && call.redirects < kMaxRedirects) {
        // The raw header: the parsed one drops relative locations.
        const QUrl location = QUrl::fromEncoded(reply->rawHeader("Location").trimmed());
        const QUrl target = call.url.resolved(location);
        const bool downgrade = call.url.scheme() == QLatin1String("https") && target.scheme() != call.url.scheme();
        if (location.isValid() && !location.isEmpty() && !downgrade) {
            Call next = call;
            next.url = target;
            ++next.redirects;
            if (status == 303 || ((status == 301 || status == 302) && call.method == "POST")) {
                next.method = "GET";
                next.body.clear();
            }
            executeRequest(std::move(next));
            return;
        }
    }

    if (status == 401 && call.retryOn401 && m_tokens) {
        QPointer<ApiClient> self(this);
        m_tokens->refresh([self, call](RefreshResult result) mutable {
            if (!self)
                return;
            if (result == RefreshResult::Success) {
                call.url = call.firstUrl;
                call.redirects = 0;
                call.retryOn401 = false;
                call.token = self->m_tokens->accessToken();
                self->executeRequest(std::move(call));
                return;
            }
            if (result == RefreshResult::Rejected)
                emit self->authenticationRequired();
            self->fail(call, result == RefreshResult::Rejected ? 401 : 0);
        });
        return;
    }

    if (status == 0 && error != QNetworkReply::NoError) {
        // The transfer time-out shows up as a cancelled operation; say what it was.
        const QString message = error == QNetworkReply::OperationCanceledError
                                    ? QStringLiteral("The server did not answer in time.")
                                    : reply->errorString();
        qCWarning(lcAccount).noquote() << "ApiClient:" << call.method << call.url.path() << "failed:" << message;
        if (call.kind != Kind::Multipart)
            emit networkError(message);
        fail(call, 0);
        return;
    }
    deliver(call, status, data);
}

void ApiClient::fail(const Call& call, int status)
{
    if (call.multipart)
        call.multipart->deleteLater();
    if (call.json)
        call.json(false, status, QJsonObject());
    if (call.binary)
        call.binary(false, status, QByteArray());
}

void ApiClient::deliver(const Call& call, int status, const QByteArray& data)
{
    const bool ok = status >= 200 && status <= 299;
    if (call.json)
        call.json(ok, status, parseObject(data));
    if (call.binary)
        call.binary(ok, status, data);
}

} // namespace NorvAccount
