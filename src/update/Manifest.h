#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QMetaType>
#include <QString>
#include <QUrl>

namespace NorvUpdate {

// One downloadable build as the release manifest lists it.
struct Artifact
{
    QString version;
    QDateTime releasedAt;
    QUrl url;
    qint64 size = -1;
    QString sha256;
    bool mandatory = false;
    QString minUpgradableFrom;
    QUrl releaseNotesUrl;
};

struct Manifest
{
    int schema = 0;
    QString app;
    QString channel;
    // By platform key, such as "linux-x64".
    QHash<QString, Artifact> artifacts;
};

struct ManifestParseResult
{
    Manifest manifest;
    bool usable = false;
    // The first problem found; empty when there was none.
    QString error;
};

// Reads "latest.json". The manifest comes from the network, so any bytes at all give a result, never a crash.
ManifestParseResult parseManifest(const QByteArray& bytes);

// A download the browser may be sent to: https, or http to this machine itself.
bool isSafeDownloadUrl(const QUrl& url);

// "windows-x64", "macos-arm64", "linux-x64" and so on for a kernel type and CPU architecture as QSysInfo
// names them; empty for a system we ship nothing for.
QString platformKey(const QString& kernelType, const QString& cpuArchitecture);
QString currentPlatformKey();

// What a check concludes from a usable manifest for the running platform and version.
struct CheckOutcome
{
    enum Kind
    {
        UpToDate,
        UpdateAvailable,
        Failed,
    };
    Kind kind = UpToDate;
    Artifact artifact;
    QString reason;
};

CheckOutcome evaluateManifest(const Manifest& manifest, const QString& platform, const QString& currentVersion);

} // namespace NorvUpdate

Q_DECLARE_METATYPE(NorvUpdate::Artifact)
