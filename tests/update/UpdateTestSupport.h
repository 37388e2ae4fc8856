#pragma once

// The development server's update service for update tests: every row publishes its own files under a
// product, channel or version of its own, so rows never see each other's manifests or notes.

#include "../DevServer.h"
#include "Manifest.h"
#include "UpdateConfig.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <memory>

// A valid artifact of a version; edit it with with() to break it.
inline QJsonObject artifact(const QString& version)
{
    return {{"version", version},
            {"released_at", "2026-11-02T10:00:00Z"},
            {"url", "https://downloads.example.org/notes-" + version + ".tar.gz"},
            {"size", 48213760},
            {"sha256", QString(64, u'a')}};
}

// The object with key set to value, or removed for an undefined value.
inline QJsonObject with(QJsonObject object, const QString& key, const QJsonValue& value)
{
    if (value.isUndefined())
        object.remove(key);
    else
        object.insert(key, value);
    return object;
}

inline QByteArray manifest(const QJsonObject& art, const QString& platform = NorvUpdate::currentPlatformKey(),
                           const QJsonObject& root = {{"schema", 1}, {"app", "notes"}, {"channel", "stable"}})
{
    return QJsonDocument(with(root, "artifacts", QJsonObject{{platform, art}})).toJson();
}

class UpdateService
{
public:
    bool start()
    {
        m_server = std::make_unique<DevServer>();
        return m_server->isRunning();
    }
    QString errorString() const { return m_server ? m_server->errorString() : QStringLiteral("not started"); }
    DevServer& server() { return *m_server; }

    QString uniqueVersion() { return QStringLiteral("3.0.%1").arg(++m_counter); }

    QUrl channelUrl(const QString& product, const QString& channel) const
    {
        return m_server->url(QStringLiteral("/updates/%1/%2").arg(product, channel));
    }
    NorvUpdate::UpdateConfig config(const QString& channel, const QString& version,
                                    const QString& product = QStringLiteral("notes")) const
    {
        return {product, channel, channelUrl(product, channel), version};
    }

    // Publishes latest.json in a new channel of "notes" and returns the channel; empty bytes publish nothing.
    QString publishManifest(const QByteArray& bytes)
    {
        const QString channel = QStringLiteral("channel%1").arg(++m_counter);
        if (!bytes.isEmpty() && !m_server->publish(QStringLiteral("notes/%1/latest.json").arg(channel), bytes))
            qWarning("could not publish a manifest");
        return channel;
    }

    // Publishes a version's notes (a language of "" is the default file) unless bytes is empty; returns
    // where the default-language file is served.
    QUrl publishNotes(const QString& version, const QString& language, const QByteArray& bytes,
                      const QString& product = QStringLiteral("notes"))
    {
        const QString file = language.isEmpty() ? QStringLiteral("release-notes.md")
                                                : QStringLiteral("release-notes.%1.md").arg(language);
        if (!bytes.isEmpty() && !m_server->publish(QStringLiteral("%1/%2/%3").arg(product, version, file), bytes))
            qWarning("could not publish release notes");
        return m_server->url(QStringLiteral("/updates/%1/%2/release-notes.md").arg(product, version));
    }

    // The notes files of a version that were asked for, in order.
    QStringList notesRequested(const QString& version, const QString& product = QStringLiteral("notes"))
    {
        QStringList files;
        const QString folder = QStringLiteral("/updates/%1/%2/").arg(product, version);
        for (const QJsonValue& entry : m_server->requests(folder))
            files.append(entry.toObject().value(QLatin1String("path")).toString().mid(folder.size()));
        return files;
    }

private:
    std::unique_ptr<DevServer> m_server;
    int m_counter = 0;
};
