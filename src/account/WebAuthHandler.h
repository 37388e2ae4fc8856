#pragma once

#include <QObject>
#include <QUrl>

class QTcpServer;
class QTcpSocket;
class QTimer;

namespace NorvAccount {

// The loopback listener of one browser sign-in. It answers only the callback that carries this
// attempt's state value; anything else reaching the port (a favicon, a stray local program) gets a
// 404 and the attempt goes on. It stops after that callback, on cancel(), or when the time limit
// passes.
class WebAuthHandler : public QObject
{
    Q_OBJECT
public:
    static constexpr quint16 kDefaultPort = 19876;
    static constexpr int kDefaultTimeLimitMs = 5 * 60 * 1000;

    // port 0 lets the system choose, which tests use so they can run side by side.
    explicit WebAuthHandler(const QString& state, quint16 port = kDefaultPort, QObject* parent = nullptr);
    ~WebAuthHandler() override;

    // Starts listening; returns the redirect URI, or empty when no port could be opened.
    QString start();
    void cancel();
    void setTimeLimit(int milliseconds);

    bool isListening() const;
    quint16 port() const { return m_port; }
    QString state() const { return m_state; }

    // Pure: whether a request target is this attempt's callback.
    static bool acceptsTarget(const QString& target, const QString& state);

signals:
    void callbackReceived(const QUrl& url);
    void timedOut();

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket* socket);
    void stop();

    QString m_state;
    quint16 m_requestedPort;
    quint16 m_port = 0;
    QTcpServer* m_server;
    QTimer* m_timer;
};

} // namespace NorvAccount
