#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// One running instance per user session. The first process listens on a local socket named by the
// key; a later process hands its message to it and exits. One connection carries one message: the
// bare UTF-8 text, closed by the sender, with no reply.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    static constexpr int kConnectTimeoutMs = 500;
    static constexpr int kWriteTimeoutMs = 1000;

    explicit SingleInstance(const QString& key, QObject* parent = nullptr);

    // True when this process is the primary instance and must go on (also when it could not listen);
    // false when another instance is running and has been handed the message.
    bool tryRun(const QString& message);

    QString key() const { return m_key; }
    bool isListening() const;

signals:
    void messageReceived(const QString& message);

private:
    void onNewConnection();

    QString m_key;
    QLocalServer* m_server = nullptr;
};
