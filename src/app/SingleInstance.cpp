#include "SingleInstance.h"

#include "AppLog.h"

#include <QLocalServer>
#include <QLocalSocket>

SingleInstance::SingleInstance(const QString& key, QObject* parent)
    : QObject(parent)
    , m_key(key)
{}

bool SingleInstance::isListening() const
{
    return m_server && m_server->isListening();
}

bool SingleInstance::tryRun(const QString& message)
{
    QLocalSocket socket;
    socket.connectToServer(m_key, QIODevice::ReadWrite);
    if (socket.waitForConnected(kConnectTimeoutMs)) {
        if (!message.isEmpty()) {
            socket.write(message.toUtf8());
            socket.flush();
            socket.waitForBytesWritten(kWriteTimeoutMs);
        }
        // Whether or not the bytes went through, a running instance owns the session.
        socket.disconnectFromServer();
        return false;
    }

    // Nobody answered: an endpoint file left by a crashed primary would make listen() fail.
    QLocalServer::removeServer(m_key);
    m_server = new QLocalServer(this);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
    if (!m_server->listen(m_key))
        qCWarning(lcApp).noquote() << "SingleInstance: failed to start server:" << m_server->errorString();
    return true;
}

void SingleInstance::onNewConnection()
{
    QLocalSocket* socket = m_server->nextPendingConnection();
    if (!socket)
        return;
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
        const QString message = QString::fromUtf8(socket->readAll());
        emit messageReceived(message);
        socket->deleteLater();
    });
    connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
        // A bare connect-and-close still means "come to the front", hence the empty message.
        if (socket->bytesAvailable() == 0)
            emit messageReceived(QString());
        socket->deleteLater();
    });
}
