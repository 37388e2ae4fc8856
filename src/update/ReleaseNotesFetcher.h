#pragma once

#include "UpdateConfig.h"

#include <QObject>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

namespace NorvUpdate {

// Downloads the Markdown release notes of one version, in the user's language when they exist in it and
// in the default language otherwise.
class ReleaseNotesFetcher : public QObject
{
    Q_OBJECT
public:
    // The notes of the configuration's current version; the product name goes into the User-Agent.
    explicit ReleaseNotesFetcher(const UpdateConfig& config, QObject* parent = nullptr);
    ReleaseNotesFetcher(const QUrl& notesUrl, const QString& tag, QObject* parent = nullptr);

    // Where the notes of config's current version live: beside the channel folder, as
    // <parent>/<version>/release-notes.md.
    static QUrl notesUrlFor(const UpdateConfig& config);
    // release-notes.md becomes release-notes.<language>.md; empty for English or anything that is not a
    // two-letter language (the C locale); a path not ending in ".md" is kept as it is.
    static QUrl localizedUrlFor(const QUrl& notesUrl, const QString& language);
    // The first two letters of the system locale's name.
    static QString systemLanguage();

    // Replaces the language taken from the system locale.
    void setLanguage(const QString& language);

    QUrl notesUrl() const { return m_notesUrl; }
    QUrl localizedNotesUrl() const { return m_localizedUrl; }

    // Begins fetching; exactly one of the two signals follows.
    void start();

signals:
    void notesReady(QString markdown);
    void notesUnavailable();

private:
    void fetch(const QUrl& url, bool localized);
    void onFinished(QNetworkReply* reply, bool localized);

    QString m_tag;
    QNetworkAccessManager* m_network;
    QUrl m_notesUrl;
    QUrl m_localizedUrl;
};

} // namespace NorvUpdate
