#include "Client.h"

#include "UpdateLog.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace NorvUpdate {

namespace {

// A manifest lists a handful of builds; anything this large is not one.
constexpr qint64 kMaxManifestBytes = 1024 * 1024;

} // namespace

Client::Client(const UpdateConfig& config, QObject* parent)
    : QObject(parent)
    , m_config(config)
    , m_network(new QNetworkAccessManager(this))
{}

void Client::checkForUpdates()
{
    if (m_inFlight) {
        qCDebug(lcUpdate) << "check already in flight, ignoring";
        return;
    }
    if (!m_config.manifestBaseUrl.isValid()) {
        emit checkFailed(QStringLiteral("manifestBaseUrl is not valid"));
        return;
    }
    if (m_config.currentVersion.isEmpty()) {
        emit checkFailed(QStringLiteral("currentVersion is empty"));
        return;
    }
    QUrl url = m_config.manifestBaseUrl;
    if (!url.path().endsWith(u'/'))
        url.setPath(url.path() + u'/');
    url.setPath(url.path() + QLatin1String("latest.json"));

    m_inFlight = true;
    QNetworkReply* reply = m_network->get(updateRequest(url, m_config.product));
    limitReplySize(reply, kMaxManifestBytes);
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onFinished(reply); });
}

void Client::onFinished(QNetworkReply* reply)
{
    reply->deleteLater();
    m_inFlight = false;

    if (tooLarge(reply)) {
        emit checkFailed(QStringLiteral("manifest invalid: larger than %1 bytes").arg(kMaxManifestBytes));
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (reply->error() == QNetworkReply::ContentNotFoundError || status == 404) {
            qCInfo(lcUpdate) << "manifest 404, treating as up-to-date";
            emit upToDate();
            return;
        }
        emit checkFailed(QStringLiteral("network error: %1").arg(reply->errorString()));
        return;
    }

    const ManifestParseResult parsed = parseManifest(reply->readAll());
    if (!parsed.usable) {
        emit checkFailed(QStringLiteral("manifest invalid: %1").arg(parsed.error));
        return;
    }
    const CheckOutcome outcome = evaluateManifest(parsed.manifest, currentPlatformKey(), m_config.currentVersion);
    switch (outcome.kind) {
    case CheckOutcome::UpdateAvailable:
        emit updateAvailable(outcome.artifact);
        break;
    case CheckOutcome::Failed:
        emit checkFailed(outcome.reason);
        break;
    case CheckOutcome::UpToDate:
        emit upToDate();
        break;
    }
}

} // namespace NorvUpdate
