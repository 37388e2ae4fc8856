#include "HttpLayer.h"

#include <QDateTime>
#include <QHttpServerRequest>
#include <QJsonDocument>
#include <QPointer>
#include <QTcpSocket>
#include <QTextStream>
#include <QTimer>
#include <ctime>
#include <memory>

namespace {

qint64 threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

QByteArray reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 204:
        return "No Content";
    case 302:
        return "Found";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 409:
        return "Conflict";
    case 411:
        return "Length Required";
    case 413:
        return "Payload Too Large";
    case 429:
        return "Too Many Requests";
    case 500:
        return "Internal Server Error";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    case 504:
        return "Gateway Timeout";
    default:
        return "Status";
    }
}

QByteArray methodName(QHttpServerRequest::Method method)
{
    switch (method) {
    case QHttpServerRequest::Method::Get:
        return "GET";
    case QHttpServerRequest::Method::Put:
        return "PUT";
    case QHttpServerRequest::Method::Delete:
        return "DELETE";
    case QHttpServerRequest::Method::Post:
        return "POST";
    case QHttpServerRequest::Method::Head:
        return "HEAD";
    case QHttpServerRequest::Method::Options:
        return "OPTIONS";
    case QHttpServerRequest::Method::Patch:
        return "PATCH";
    default:
        return "UNKNOWN";
    }
}

QByteArray serialise(const Response& response, bool close)
{
    QByteArray out = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reason(response.status) + "\r\n";
    if (!response.contentType.isEmpty())
        out += "Content-Type: " + response.contentType + "\r\n";
    out += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    for (const auto& [name, value] : response.headers)
        out += name + ": " + value + "\r\n";
    if (close)
        out += "Connection: close\r\n";
    out += "\r\n";
    return out + response.body;
}

const QRegularExpression requestLine(QStringLiteral("^[A-Z]+ \\S+ HTTP/1\\.[01]$"));

// Runs before the HTTP library's own reader on every chunk. `skip` counts the bytes of the
// current request body that are still to come, so that only request heads are inspected.
void guardChunk(QTcpSocket* socket, qint64& skip, qint64 cap)
{
    if (socket->property("norvRefused").toBool()) {
        socket->readAll();
        return;
    }
    const qint64 available = socket->bytesAvailable();
    if (skip >= available) {
        skip -= available;
        return;
    }
    const QByteArray data = socket->peek(qMin<qint64>(available, 32 * 1024));
    const qint64 offset = skip;
    skip = 0;
    const qsizetype end = data.indexOf("\r\n\r\n", offset);
    if (end < 0)
        return; // the head is split over reads; the size check after parsing still applies
    const QList<QByteArray> lines = data.mid(offset, end - offset).split('\n');
    if (lines.isEmpty() || !requestLine.match(QString::fromLatin1(lines.first().trimmed())).hasMatch())
        return;
    qint64 length = 0;
    bool chunked = false;
    for (const QByteArray& line : lines.mid(1)) {
        const qsizetype colon = line.indexOf(':');
        if (colon < 0)
            continue;
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "content-length")
            length = value.toLongLong();
        else if (name == "transfer-encoding" && value.toLower().contains("chunked"))
            chunked = true;
    }
    if (length > cap || length < 0 || chunked) {
        const int status = chunked ? 411 : 413;
        const QString message = chunked ? QStringLiteral("chunked request bodies are not accepted")
                                        : QStringLiteral("request body too large");
        socket->setProperty("norvRefused", true);
        socket->readAll();
        socket->write(serialise(Response::error(status, message), true));
        socket->disconnectFromHost();
        return;
    }
    skip = qMax<qint64>(0, (end + 4 - offset) + length - (available - offset));
}

QString redactQuery(QUrlQuery query)
{
    const auto items = query.queryItems(QUrl::FullyDecoded);
    for (const auto& [key, value] : items) {
        const QString lower = key.toLower();
        if (lower.contains(QLatin1String("token")) || lower.contains(QLatin1String("password")) ||
            lower == QLatin1String("code")) {
            query.removeAllQueryItems(key);
            query.addQueryItem(key, QStringLiteral("<redacted>"));
        }
    }
    return query.toString(QUrl::FullyEncoded);
}

} // namespace

Response Response::json(int status, const QJsonObject& object)
{
    return Response{status, "application/json", QJsonDocument(object).toJson(QJsonDocument::Compact), {}};
}

Response Response::error(int status, const QString& message)
{
    return json(status, QJsonObject{{QStringLiteral("error"), message}});
}

Response Response::raw(int status, const QByteArray& contentType, const QByteArray& body)
{
    return Response{status, contentType, body, {}};
}

namespace Json {

std::optional<QJsonObject> parseObject(const QByteArray& body)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

bool isInteger(const QJsonValue& value)
{
    if (!value.isDouble())
        return false;
    const double d = value.toDouble();
    return d == static_cast<double>(static_cast<qint64>(d)) && qAbs(d) < 9.0e15;
}

} // namespace Json

QJsonObject Fault::toJson() const
{
    static const char* names[] = {"status", "drop", "delay", "hang", "malformed", "max_body", "drop"};
    QJsonObject o{{"id", id},
                  {"action", QString::fromLatin1(names[static_cast<int>(kind)])},
                  {"pattern", pattern},
                  {"method", QString::fromLatin1(method)},
                  {"remaining", remaining}};
    if (kind == Kind::Status)
        o.insert("status", status);
    if (kind == Kind::Delay)
        o.insert("delay_ms", delayMs);
    if (kind == Kind::MaxBody)
        o.insert("max_body", maxBody);
    if (kind == Kind::Drop || kind == Kind::DropAfter)
        o.insert("after", kind == Kind::DropAfter);
    return o;
}

std::optional<Fault> Fault::fromJson(const QJsonObject& o, QString* error)
{
    Fault f;
    const QString action = o.value("action").toString();
    static const QHash<QString, Kind> kinds{{"status", Kind::Status},       {"drop", Kind::Drop},
                                            {"delay", Kind::Delay},         {"hang", Kind::Hang},
                                            {"malformed", Kind::Malformed}, {"max_body", Kind::MaxBody}};
    if (!kinds.contains(action)) {
        *error = QStringLiteral("action must be one of status, drop, delay, hang, malformed, max_body");
        return std::nullopt;
    }
    f.kind = kinds.value(action);
    f.pattern = o.value("pattern").toString();
    if (f.pattern.isEmpty() || !f.pattern.startsWith(QLatin1Char('/'))) {
        *error = QStringLiteral("pattern must be a path starting with /");
        return std::nullopt;
    }
    QString regex = QRegularExpression::escape(f.pattern);
    regex.replace(QLatin1String("\\*"), QLatin1String(".*"));
    f.matcher = QRegularExpression(QLatin1Char('^') + regex + QLatin1Char('$'));
    f.method = o.value("method").toString().toUpper().toLatin1();
    const auto intField = [&](const char* key, qint64 fallback, qint64 low, qint64 high) -> std::optional<qint64> {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined())
            return fallback;
        if (!Json::isInteger(v) || v.toInteger() < low || v.toInteger() > high) {
            *error = QStringLiteral("%1 must be an integer from %2 to %3").arg(QLatin1String(key)).arg(low).arg(high);
            return std::nullopt;
        }
        return v.toInteger();
    };
    const auto status = intField("status", 503, 100, 599);
    const auto delay = intField("delay_ms", 1000, 0, 600000);
    const auto maxBody = intField("max_body", 1024, 0, HttpLayer::HardBodyCap);
    const auto times = intField("times", -1, -1, 1000000);
    if (!status || !delay || !maxBody || !times)
        return std::nullopt;
    f.status = int(*status);
    f.delayMs = int(*delay);
    f.maxBody = *maxBody;
    f.remaining = *times == 0 ? -1 : int(*times);
    if (f.kind == Kind::Drop && o.value("after").toBool())
        f.kind = Kind::DropAfter; // run the route, then lose its answer
    return f;
}

void GuardedTcpServer::incomingConnection(qintptr descriptor)
{
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    auto skip = std::make_shared<qint64>(0);
    const qint64 cap = m_cap;
    connect(socket, &QTcpSocket::readyRead, socket, [socket, skip, cap] { guardChunk(socket, *skip, cap); });
    addPendingConnection(socket);
}

HttpLayer::HttpLayer(QObject* parent)
    : QAbstractHttpServer(parent)
{}

void HttpLayer::route(const QByteArray& method, const QString& pattern, Handler handler)
{
    m_routes.append(Route{method, pattern.split(QLatin1Char('/'), Qt::SkipEmptyParts), std::move(handler)});
}

quint16 HttpLayer::listenLoopback(quint16 port)
{
    auto* server = new GuardedTcpServer(HardBodyCap, this);
    if (!server->listen(QHostAddress::LocalHost, port)) {
        delete server;
        return 0;
    }
    bind(server);
    return server->serverPort();
}

int HttpLayer::addFault(Fault fault)
{
    fault.id = m_nextFaultId++;
    m_faults.append(fault);
    return fault.id;
}

bool HttpLayer::removeFault(int id)
{
    return m_faults.removeIf([id](const Fault& f) { return f.id == id; }) > 0;
}

QJsonArray HttpLayer::faultsJson() const
{
    QJsonArray list;
    for (const Fault& f : m_faults)
        list.append(f.toJson());
    return list;
}

QJsonArray HttpLayer::requestLog(const QString& pathPrefix) const
{
    QJsonArray list;
    for (const QJsonObject& entry : m_log) {
        if (entry.value("path").toString().startsWith(pathPrefix))
            list.append(entry);
    }
    return list;
}

Fault* HttpLayer::matchFault(const Request& request, Fault::Kind kind)
{
    for (Fault& f : m_faults) {
        if (f.kind != kind || f.remaining == 0)
            continue;
        if (!f.method.isEmpty() && f.method != request.method)
            continue;
        if (!f.matcher.match(request.path).hasMatch())
            continue;
        if (kind == Fault::Kind::MaxBody && request.body.size() <= f.maxBody)
            continue; // only a body above the limit uses up the switch
        if (f.remaining > 0)
            --f.remaining;
        return &f;
    }
    return nullptr;
}

void HttpLayer::record(const Request& request, int status)
{
    if (request.path.startsWith(QLatin1String("/admin")))
        return;
    QJsonObject headers;
    for (auto it = request.headers.cbegin(); it != request.headers.cend(); ++it) {
        QString value = QString::fromUtf8(it.value());
        if (it.key() == "authorization")
            value = value.section(QLatin1Char(' '), 0, 0) + QStringLiteral(" <redacted>");
        else if (it.key() == "cookie" || it.key() == "set-cookie")
            value = QStringLiteral("<redacted>");
        headers.insert(QString::fromLatin1(it.key()), value);
    }
    m_log.append(QJsonObject{{"seq", ++m_logSeq},
                             {"method", QString::fromLatin1(request.method)},
                             {"path", request.path},
                             {"query", redactQuery(request.query)},
                             {"status", status},
                             {"cpu_ms", request.handlerCpuMs},
                             {"headers", headers}});
    if (m_log.size() > 2000)
        m_log.removeFirst();
    if (m_verbose)
        QTextStream(stderr) << request.method << ' ' << request.path << ' ' << status << Qt::endl;
}

bool HttpLayer::handleRequest(const QHttpServerRequest& in, QTcpSocket* socket)
{
    Request request;
    request.method = methodName(in.method());
    const QUrl url = in.url();
    request.path = url.path(QUrl::FullyEncoded);
    for (const QString& part : request.path.split(QLatin1Char('/'), Qt::SkipEmptyParts))
        request.segments.append(QUrl::fromPercentEncoding(part.toUtf8()));
    request.query = QUrlQuery(url);
    for (const auto& [name, value] : in.headers())
        request.headers.insert(name.toLower(), value);
    request.body = in.body();
    request.remote = in.remoteAddress();

    if (matchFault(request, Fault::Kind::Drop)) {
        record(request, 0);
        socket->abort();
        return true;
    }
    if (matchFault(request, Fault::Kind::Hang)) {
        record(request, 0);
        return true; // the socket stays open and silent until the client gives up
    }
    if (Fault* f = matchFault(request, Fault::Kind::Delay)) {
        QPointer<QTcpSocket> guarded(socket);
        auto copy = std::make_shared<Request>(std::move(request));
        QTimer::singleShot(f->delayMs, this, [this, guarded, copy] {
            if (guarded && guarded->state() == QAbstractSocket::ConnectedState)
                respond(guarded, *copy, dispatch(*copy));
        });
        return true;
    }
    const qint64 cpuBefore = threadCpuMs();
    Response response = dispatch(request);
    request.handlerCpuMs = threadCpuMs() - cpuBefore;
    respond(socket, request, std::move(response));
    return true;
}

void HttpLayer::missingHandler(const QHttpServerRequest&, QTcpSocket*) {}

Response HttpLayer::dispatch(const Request& request)
{
    if (request.segments.value(0) == QLatin1String("admin") && !request.remote.isLoopback())
        return Response::error(403, QStringLiteral("the admin routes answer loopback clients only"));
    if (Fault* f = matchFault(request, Fault::Kind::Status))
        return Response::error(f->status, QStringLiteral("fault switch answered %1").arg(f->status));
    if (matchFault(request, Fault::Kind::MaxBody))
        return Response::error(413, QStringLiteral("request body too large"));
    if (request.body.size() > HardBodyCap)
        return Response::error(413, QStringLiteral("request body too large"));

    bool pathMatched = false;
    for (const Route& route : m_routes) {
        Params params;
        const QStringList& pattern = route.segments;
        bool match = true;
        qsizetype i = 0;
        for (; i < pattern.size(); ++i) {
            if (pattern[i] == QLatin1String("**")) {
                if (i >= request.segments.size())
                    match = false;
                else
                    params += request.segments.mid(i);
                i = request.segments.size();
                break;
            }
            if (i >= request.segments.size()) {
                match = false;
                break;
            }
            if (pattern[i] == QLatin1String("{}"))
                params.append(request.segments[i]);
            else if (pattern[i] != request.segments[i]) {
                match = false;
                break;
            }
        }
        if (!match || i != request.segments.size())
            continue;
        pathMatched = true;
        if (route.method != request.method)
            continue;
        return route.handler(request, params);
    }
    if (pathMatched)
        return Response::error(405, QStringLiteral("method not allowed"));
    return Response::error(404, QStringLiteral("no such route"));
}

void HttpLayer::respond(QTcpSocket* socket, const Request& request, Response response)
{
    if (matchFault(request, Fault::Kind::DropAfter)) {
        record(request, 0);
        socket->abort();
        return;
    }
    if (matchFault(request, Fault::Kind::Malformed)) {
        response.contentType = "application/json";
        response.body = "{\"changes\": [{\"id\": \"trunc";
    }
    record(request, response.status);
    const bool close = request.header("connection").toLower() == "close";
    socket->write(serialise(response, close));
    if (close)
        socket->disconnectFromHost();
}
