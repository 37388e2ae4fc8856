#pragma once

#include <QAbstractHttpServer>
#include <QHash>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QRegularExpression>
#include <QTcpServer>
#include <QUrlQuery>
#include <functional>
#include <optional>

class QTcpSocket;

// One incoming request, copied out of the HTTP library so that a delayed answer can still read it.
struct Request
{
    QByteArray method;    // "GET", "POST", ...
    QString path;         // percent-encoded path as it came in
    QStringList segments; // decoded path segments ("%2F" stays inside its segment)
    QUrlQuery query;
    QHash<QByteArray, QByteArray> headers; // lower-case names
    QByteArray body;
    QHostAddress remote;
    qint64 handlerCpuMs = 0; // CPU the route spent building the answer, for the request log

    QByteArray header(const QByteArray& name) const { return headers.value(name.toLower()); }
    QString queryValue(const QString& key) const { return query.queryItemValue(key, QUrl::FullyDecoded); }
};

struct Response
{
    int status = 200;
    QByteArray contentType;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;

    static Response json(int status, const QJsonObject& object);
    static Response error(int status, const QString& message);
    static Response noContent() { return Response{204, {}, {}, {}}; }
    static Response raw(int status, const QByteArray& contentType, const QByteArray& body);
    void addHeader(const QByteArray& name, const QByteArray& value) { headers.append(qMakePair(name, value)); }
};

using Params = QStringList;
using Handler = std::function<Response(const Request&, const Params&)>;

// A run-time fault for requests whose path matches a wildcard pattern ("*" matches anything, "/" included).
struct Fault
{
    enum class Kind
    {
        Status,
        Drop,
        Delay,
        Hang,
        Malformed,
        MaxBody,
        DropAfter
    };
    int id = 0;
    Kind kind = Kind::Status;
    QByteArray method; // empty: every method
    QString pattern;
    QRegularExpression matcher;
    int status = 503;
    int delayMs = 0;
    qint64 maxBody = 0;
    int remaining = -1; // matches left; -1 means until removed

    QJsonObject toJson() const;
    static std::optional<Fault> fromJson(const QJsonObject& object, QString* error);
};

// Refuses bodies above a hard cap from the announced Content-Length before the HTTP library buffers them.
class GuardedTcpServer : public QTcpServer
{
public:
    explicit GuardedTcpServer(qint64 cap, QObject* parent = nullptr)
        : QTcpServer(parent)
        , m_cap(cap)
    {}

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    qint64 m_cap;
};

// The HTTP front: routing by method and path pattern, fault switches, and a request log without secrets.
class HttpLayer : public QAbstractHttpServer
{
public:
    static constexpr qint64 HardBodyCap = 64 * 1024 * 1024;
    static constexpr qint64 JsonBodyCap = 8 * 1024 * 1024;

    explicit HttpLayer(QObject* parent = nullptr);

    // Patterns are paths whose segments are literal, "{}" for one parameter or a final "**" for the rest.
    void route(const QByteArray& method, const QString& pattern, Handler handler);
    quint16 listenLoopback(quint16 port);
    void setVerbose(bool verbose) { m_verbose = verbose; }

    int addFault(Fault fault);
    bool removeFault(int id);
    void clearFaults() { m_faults.clear(); }
    QJsonArray faultsJson() const;

    QJsonArray requestLog(const QString& pathPrefix) const;
    void clearRequestLog() { m_log.clear(); }

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    struct Route
    {
        QByteArray method;
        QStringList segments;
        Handler handler;
    };

    Response dispatch(const Request& request);
    Fault* matchFault(const Request& request, Fault::Kind kind);
    void respond(QTcpSocket* socket, const Request& request, Response response);
    void record(const Request& request, int status);

    QList<Route> m_routes;
    QList<Fault> m_faults;
    int m_nextFaultId = 1;
    QList<QJsonObject> m_log;
    qint64 m_logSeq = 0;
    bool m_verbose = false;
};

// Small typed readers for untrusted JSON.
namespace Json {
std::optional<QJsonObject> parseObject(const QByteArray& body);
bool isInteger(const QJsonValue& value);
} // namespace Json
