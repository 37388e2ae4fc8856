#pragma once

#include "Manifest.h"
#include "UpdateConfig.h"

#include <QObject>

class QNetworkAccessManager;
class QNetworkReply;

namespace NorvUpdate {

// Fetches the channel's "latest.json", validates it and tells whether the running version should update.
// It sends no credentials: the update service is public.
class Client : public QObject
{
    Q_OBJECT
public:
    explicit Client(const UpdateConfig& config, QObject* parent = nullptr);

    // Starts one check; exactly one of the three signals follows. Ignored while a check is running.
    void checkForUpdates();

    const UpdateConfig& config() const { return m_config; }
    bool inFlight() const { return m_inFlight; }

signals:
    void updateAvailable(NorvUpdate::Artifact artifact);
    void upToDate();
    void checkFailed(QString reason);

private:
    void onFinished(QNetworkReply* reply);

    UpdateConfig m_config;
    QNetworkAccessManager* m_network;
    bool m_inFlight = false;
};

} // namespace NorvUpdate
