#include "UpdateFlows.h"

#include "Client.h"
#include "ReleaseNotesFetcher.h"
#include "UpdateDialog.h"
#include "UpdateLog.h"
#include "WhatsNewDialog.h"

#include <QCoreApplication>

namespace NorvUpdate {

namespace {

constexpr int kMessageMs = 5000;

void showUpdateDialog(const Artifact& artifact, const UpdateConfig& config, const QString& displayName, QWidget* window)
{
    auto* dialog = new UpdateDialog(artifact, config.currentVersion, displayName, window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

WhatsNewDialog* showWhatsNew(const QString& markdown, const QString& shownVersion, const UpdateConfig& config,
                             const QString& displayName, QWidget* window, const QUrl& downloadUrl = {})
{
    auto* dialog = new WhatsNewDialog(markdown, shownVersion, config.currentVersion, displayName, window, downloadUrl);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    return dialog;
}

// The fallback of the interactive What's New: the notes of a newer release, with its download.
void showNewerReleaseNotes(const UpdateConfig& config, const QString& displayName, QPointer<QWidget> window,
                           const StatusCallbacks& status)
{
    const auto report = [config, displayName, status] {
        status.clearProgress();
        status.showMessage(QCoreApplication::translate("UpdateFlows", "No release notes available for %1 %2")
                               .arg(displayName, config.currentVersion),
                           kMessageMs);
    };
    auto* client = new Client(config, QCoreApplication::instance());
    QObject::connect(
        client, &Client::updateAvailable, client,
        [client, config, displayName, window, status, report](const Artifact& artifact) {
            client->deleteLater();
            if (!artifact.releaseNotesUrl.isValid()) {
                report();
                return;
            }
            auto* fetcher =
                new ReleaseNotesFetcher(artifact.releaseNotesUrl, config.product, QCoreApplication::instance());
            QObject::connect(fetcher, &ReleaseNotesFetcher::notesReady, fetcher,
                             [fetcher, artifact, config, displayName, window, status](const QString& md) {
                                 fetcher->deleteLater();
                                 status.clearProgress();
                                 if (window)
                                     showWhatsNew(md, artifact.version, config, displayName, window, artifact.url);
                             });
            QObject::connect(fetcher, &ReleaseNotesFetcher::notesUnavailable, fetcher, [fetcher, report] {
                fetcher->deleteLater();
                report();
            });
            fetcher->start();
        });
    QObject::connect(client, &Client::upToDate, client, [client, report] {
        client->deleteLater();
        report();
    });
    QObject::connect(client, &Client::checkFailed, client, [client, report](const QString& reason) {
        client->deleteLater();
        qCInfo(lcUpdate) << "no newer release notes:" << reason;
        report();
    });
    client->checkForUpdates();
}

} // namespace

void checkAtStartup(const UpdateConfig& config, const QString& displayName, QPointer<QWidget> window)
{
    auto* client = new Client(config, QCoreApplication::instance());
    QObject::connect(client, &Client::updateAvailable, client,
                     [client, config, displayName, window](const Artifact& artifact) {
                         client->deleteLater();
                         if (window)
                             showUpdateDialog(artifact, config, displayName, window);
                     });
    QObject::connect(client, &Client::upToDate, client, [client] { client->deleteLater(); });
    // Nobody asked, so nobody is interrupted: the reason goes to the log only.
    QObject::connect(client, &Client::checkFailed, client, [client](const QString& reason) {
        client->deleteLater();
        qCWarning(lcUpdate).noquote() << "update check failed:" << reason;
    });
    client->checkForUpdates();
}

void checkInteractively(const UpdateConfig& config, const QString& displayName, QPointer<QWidget> window,
                        const StatusCallbacks& status)
{
    auto* client = new Client(config, QCoreApplication::instance());
    status.showProgress(QCoreApplication::translate("UpdateFlows", "Checking for updates…"));
    QObject::connect(client, &Client::updateAvailable, client,
                     [client, config, displayName, window, status](const Artifact& artifact) {
                         client->deleteLater();
                         status.clearProgress();
                         if (window)
                             showUpdateDialog(artifact, config, displayName, window);
                     });
    QObject::connect(client, &Client::upToDate, client, [client, config, displayName, status] {
        client->deleteLater();
        status.clearProgress();
        status.showMessage(QCoreApplication::translate("UpdateFlows", "%1 is up to date (version %2)")
                               .arg(displayName, config.currentVersion),
                           kMessageMs);
    });
    QObject::connect(client, &Client::checkFailed, client, [client, status](const QString& reason) {
        client->deleteLater();
        status.clearProgress();
        status.showMessage(QCoreApplication::translate("UpdateFlows", "Update check failed: %1").arg(reason),
                           kMessageMs);
    });
    client->checkForUpdates();
}

void showWhatsNewAtStartup(const UpdateConfig& config, const QString& displayName, QPointer<QWidget> window,
                           const std::function<void()>& shown)
{
    auto* fetcher = new ReleaseNotesFetcher(config, QCoreApplication::instance());
    QObject::connect(fetcher, &ReleaseNotesFetcher::notesReady, fetcher,
                     [fetcher, config, displayName, window, shown](const QString& markdown) {
                         fetcher->deleteLater();
                         if (!window)
                             return;
                         WhatsNewDialog* dialog =
                             showWhatsNew(markdown, config.currentVersion, config, displayName, window);
                         if (dialog->isVisible() && shown)
                             shown();
                     });
    QObject::connect(fetcher, &ReleaseNotesFetcher::notesUnavailable, fetcher, [fetcher] { fetcher->deleteLater(); });
    fetcher->start();
}

void showWhatsNewInteractively(const UpdateConfig& config, const QString& displayName, QPointer<QWidget> window,
                               const StatusCallbacks& status)
{
    status.showProgress(QCoreApplication::translate("UpdateFlows", "Loading release notes…"));
    auto* fetcher = new ReleaseNotesFetcher(config, QCoreApplication::instance());
    QObject::connect(fetcher, &ReleaseNotesFetcher::notesReady, fetcher,
                     [fetcher, config, displayName, window, status](const QString& markdown) {
                         fetcher->deleteLater();
                         status.clearProgress();
                         if (window)
                             showWhatsNew(markdown, config.currentVersion, config, displayName, window);
                     });
    QObject::connect(fetcher, &ReleaseNotesFetcher::notesUnavailable, fetcher,
                     [fetcher, config, displayName, window, status] {
                         fetcher->deleteLater();
                         showNewerReleaseNotes(config, displayName, window, status);
                     });
    fetcher->start();
}

} // namespace NorvUpdate
