#include "Manifest.h"

#include "UpdateLog.h"
#include "Version.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QSysInfo>
#include <cmath>

namespace NorvUpdate {

namespace {

constexpr int kSchema = 1;
constexpr int kSha256Length = 64;

// Keeps the first error: later checks report on a manifest that is already known to be broken.
struct Errors
{
    QString first;
    void add(const QString& error)
    {
        if (first.isEmpty())
            first = error;
    }
};

QString requiredString(const QJsonObject& object, const QString& key, Errors* errors)
{
    const QJsonValue value = object.value(key);
    if (!value.isString()) {
        errors->add(QStringLiteral("missing or non-string field: %1").arg(key));
        return {};
    }
    return value.toString();
}

// A JSON number with its fraction dropped; -1 when absent, not a number, or beyond 64 bits.
qint64 sizeValue(const QJsonValue& value)
{
    if (!value.isDouble())
        return -1;
    const double d = std::trunc(value.toDouble());
    if (!std::isfinite(d) || d < -9.0e18 || d > 9.0e18)
        return -1;
    return static_cast<qint64>(d);
}

bool parseArtifact(const QString& key, const QJsonObject& object, Artifact* artifact, Errors* errors)
{
    Errors own;
    artifact->version = requiredString(object, QStringLiteral("version"), &own);
    artifact->releasedAt =
        QDateTime::fromString(requiredString(object, QStringLiteral("released_at"), &own), Qt::ISODateWithMs);
    artifact->url = QUrl(requiredString(object, QStringLiteral("url"), &own));
    artifact->size = sizeValue(object.value(QLatin1String("size")));
    artifact->sha256 = requiredString(object, QStringLiteral("sha256"), &own);
    artifact->mandatory = object.value(QLatin1String("mandatory")).toBool(false);
    artifact->minUpgradableFrom = object.value(QLatin1String("min_upgradable_from")).toString();
    const QString notes = object.value(QLatin1String("release_notes_url")).toString();
    if (!notes.isEmpty())
        artifact->releaseNotesUrl = QUrl(notes);

    if (own.first.isEmpty()) {
        const bool valid = !artifact->version.isEmpty() && artifact->releasedAt.isValid() && artifact->url.isValid() &&
                           artifact->size >= 1 && artifact->sha256.size() == kSha256Length;
        if (!valid)
            own.add(QStringLiteral("artifact %1 failed validation").arg(key));
        else if (!isSafeDownloadUrl(artifact->url))
            own.add(QStringLiteral("artifact %1 download url is not https").arg(key));
    }
    errors->add(own.first);
    return own.first.isEmpty();
}

} // namespace

bool isSafeDownloadUrl(const QUrl& url)
{
    // Whatever the browser fetches is installed by the user; plain HTTP lets anyone on the way swap it.
    return url.isValid() && !url.host().isEmpty() && url.scheme() == QLatin1String("https");
}

ManifestParseResult parseManifest(const QByteArray& bytes)
{
    ManifestParseResult result;
    Errors errors;
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        result.error = QStringLiteral("JSON parse error: %1").arg(parseError.errorString());
        return result;
    }
    if (!doc.isObject()) {
        result.error = QStringLiteral("manifest root is not a JSON object");
        return result;
    }
    const QJsonObject root = doc.object();
    Manifest& manifest = result.manifest;

    const QJsonValue schema = root.value(QLatin1String("schema"));
    if (!schema.isDouble()) {
        errors.add(QStringLiteral("missing or non-integer field: schema"));
    } else {
        manifest.schema = schema.toInt();
        if (manifest.schema != kSchema)
            errors.add(
                QStringLiteral("unsupported manifest schema: %1 (expected %2)").arg(manifest.schema).arg(kSchema));
    }
    manifest.app = requiredString(root, QStringLiteral("app"), &errors);
    manifest.channel = requiredString(root, QStringLiteral("channel"), &errors);

    const QJsonValue artifacts = root.value(QLatin1String("artifacts"));
    if (!artifacts.isObject()) {
        errors.add(QStringLiteral("missing or non-object field: artifacts"));
    } else {
        const QJsonObject list = artifacts.toObject();
        for (auto it = list.constBegin(); it != list.constEnd(); ++it) {
            if (!it.value().isObject()) {
                errors.add(QStringLiteral("artifact %1 is not an object").arg(it.key()));
                break;
            }
            Artifact artifact;
            if (!parseArtifact(it.key(), it.value().toObject(), &artifact, &errors))
                break;
            manifest.artifacts.insert(it.key(), artifact);
        }
    }

    result.usable = manifest.schema == kSchema && !manifest.app.isEmpty() && !manifest.channel.isEmpty() &&
                    !manifest.artifacts.isEmpty();
    result.error = errors.first;
    if (!result.usable && result.error.isEmpty())
        result.error = QStringLiteral("manifest failed validation");
    return result;
}

QString platformKey(const QString& kernelType, const QString& cpuArchitecture)
{
    QString system;
    if (kernelType == QLatin1String("winnt"))
        system = QStringLiteral("windows");
    else if (kernelType == QLatin1String("darwin"))
        system = QStringLiteral("macos");
    else if (kernelType == QLatin1String("linux"))
        system = QStringLiteral("linux");
    QString arch;
    if (cpuArchitecture == QLatin1String("x86_64"))
        arch = QStringLiteral("x64");
    else if (cpuArchitecture == QLatin1String("arm64") || cpuArchitecture == QLatin1String("aarch64"))
        arch = QStringLiteral("arm64");
    if (system.isEmpty() || arch.isEmpty())
        return {};
    return system + u'-' + arch;
}

QString currentPlatformKey()
{
    return platformKey(QSysInfo::kernelType(), QSysInfo::currentCpuArchitecture());
}

CheckOutcome evaluateManifest(const Manifest& manifest, const QString& platform, const QString& currentVersion)
{
    CheckOutcome outcome;
    if (platform.isEmpty()) {
        qCWarning(lcUpdate) << "unknown platform, skipping update check";
        return outcome;
    }
    const auto found = manifest.artifacts.constFind(platform);
    if (found == manifest.artifacts.constEnd()) {
        qCInfo(lcUpdate) << "platform" << platform << "not shipped in current manifest";
        return outcome;
    }
    const Artifact& artifact = found.value();
    const VersionTriple current = parseVersion(currentVersion);
    if (!(current < parseVersion(artifact.version)))
        return outcome;
    if (!artifact.minUpgradableFrom.isEmpty() && current < parseVersion(artifact.minUpgradableFrom)) {
        outcome.kind = CheckOutcome::Failed;
        outcome.reason = QStringLiteral("current version %1 is older than min_upgradable_from %2; please upgrade to an "
                                        "intermediate release first")
                             .arg(currentVersion, artifact.minUpgradableFrom);
        return outcome;
    }
    outcome.kind = CheckOutcome::UpdateAvailable;
    outcome.artifact = artifact;
    return outcome;
}

} // namespace NorvUpdate
