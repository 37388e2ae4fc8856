#include "WebAuthHandler.h"

#include "AccountLog.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>

namespace NorvAccount {

namespace {

const QByteArray kDonePage =
    "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n\r\n<html><body style='font-family: "
    "sans-serif; text-align: center; padding: 40px;'><h2>Authentication complete!</h2><p>You can close this tab "
    "and return to the application.</p></body></html>";

const QByteArray kNotFound = "HTTP/1.1 404 Not Found\r\nContent-Type: text/plain\r\nContent-Length: 10\r\n"
                             "Connection: close\r\n\r\nNot found\n";

// The first request line's target ("GET /callback?x=1 HTTP/1.1" gives "/callback?x=1").
QString requestTarget(const QString& request)
{
    const int first = request.indexOf(QLatin1Char(' '));
    if (first < 0)
        return QString();
    const int second = request.indexOf(QLatin1Char(' '), first + 1);
    const int lineEnd = request.indexOf(QLatin1Char('\r'));
    if (second < 0 || (lineEnd >= 0 && second > lineEnd))
        return QString();
    return request.mid(first + 1, second - first - 1);
}

} // namespace

WebAuthHandler::WebAuthHandler(const QString& state, quint16 port, QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_requestedPort(port)
    , m_server(new QTcpServer(this))
    , m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    m_timer->setInterval(kDefaultTimeLimitMs);
    connect(m_timer, &QTimer::timeout, this, [this] {
        qCInfo(lcAccount) << "Sign-in listener gave up waiting for the browser";
        stop();
        emit timedOut();
    });
    connect(m_server, &QTcpServer::newConnection, this, &WebAuthHandler::onNewConnection);
}

WebAuthHandler::~WebAuthHandler()
{
    m_server->close();
}

QString WebAuthHandler::start()
{
    if (!m_server->isListening()) {
        const bool listening = m_server->listen(QHostAddress::LocalHost, m_requestedPort) ||
                               (m_requestedPort != 0 && m_server->listen(QHostAddress::LocalHost, 0));
        if (!listening)
            return QString();
    }
    m_port = m_server->serverPort();
    m_timer->start();
    return QStringLiteral("http://localhost:%1/callback").arg(m_port);
}

void WebAuthHandler::setTimeLimit(int milliseconds)
{
    m_timer->setInterval(milliseconds);
    if (m_timer->isActive())
        m_timer->start();
}

bool WebAuthHandler::isListening() const
{
    return m_server->isListening();
}

void WebAuthHandler::cancel()
{
    stop();
}

void WebAuthHandler::stop()
{
    m_timer->stop();
    m_server->close();
}

bool WebAuthHandler::acceptsTarget(const QString& target, const QString& state)
{
    const QUrl url(QStringLiteral("http://localhost") + target);
    if (!url.isValid() || url.path() != QLatin1String("/callback") || state.isEmpty())
        return false;
    // The state normally comes back in the query; a service that answers in the fragment is heard
    // too, though browsers never send fragments.
    const QUrlQuery query(url);
    const QUrlQuery fragment(url.fragment());
    const QString got = query.hasQueryItem(QStringLiteral("state"))
                            ? query.queryItemValue(QStringLiteral("state"), QUrl::FullyDecoded)
                            : fragment.queryItemValue(QStringLiteral("state"), QUrl::FullyDecoded);
    return got == state;
}

void WebAuthHandler::onNewConnection()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        // Only the first chunk is read: a request line fits in it.
        connect(
            socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); }, Qt::SingleShotConnection);
    }
}

void WebAuthHandler::onReadyRead(QTcpSocket* socket)
{
    const QString request = QString::fromUtf8(socket->readAll());
    const QString target = requestTarget(request);
    const bool accepted = m_server->isListening() && acceptsTarget(target, m_state);
    socket->write(accepted ? kDonePage : kNotFound);
    socket->flush();
    socket->disconnectFromHost();
    if (!accepted) {
        qCInfo(lcAccount) << "Sign-in listener answered 404 to a request that is not this sign-in's callback";
        return;
    }
    stop();
    emit callbackReceived(QUrl(QStringLiteral("http://localhost:%1%2").arg(m_port).arg(target)));
}

} // namespace NorvAccount
