#include "ReleaseNotesFetcher.h"

#include "UpdateLog.h"

#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace NorvUpdate {

namespace {

// Release notes are a page or two of Markdown.
constexpr qint64 kMaxNotesBytes = 1024 * 1024;

} // namespace

ReleaseNotesFetcher::ReleaseNotesFetcher(const UpdateConfig& config, QObject* parent)
    : ReleaseNotesFetcher(notesUrlFor(config), config.product, parent)
{}

ReleaseNotesFetcher::ReleaseNotesFetcher(const QUrl& notesUrl, const QString& tag, QObject* parent)
    : QObject(parent)
    , m_tag(tag)
    , m_network(new QNetworkAccessManager(this))
    , m_notesUrl(notesUrl)
    , m_localizedUrl(localizedUrlFor(notesUrl, systemLanguage()))
{}

QUrl ReleaseNotesFetcher::notesUrlFor(const UpdateConfig& config)
{
    QUrl url = config.manifestBaseUrl;
    QString path = url.path(QUrl::FullyDecoded);
    if (path.endsWith(u'/'))
        path.chop(1);
    path.truncate(path.lastIndexOf(u'/') + 1);
    path += config.currentVersion + QLatin1String("/release-notes.md");
    url.setPath(path);
    return url;
}

QUrl ReleaseNotesFetcher::localizedUrlFor(const QUrl& notesUrl, const QString& language)
{
    // The notes are written in English; "C" and "POSIX" name no language at all.
    const bool letters = language.size() == 2 && language.at(0).isLower() && language.at(1).isLower();
    if (!letters || language == QLatin1String("en"))
        return {};
    QString path = notesUrl.path(QUrl::FullyDecoded);
    if (!path.endsWith(QLatin1String(".md")))
        return notesUrl;
    path.insert(path.size() - 3, u'.' + language);
    QUrl url = notesUrl;
    url.setPath(path);
    return url;
}

QString ReleaseNotesFetcher::systemLanguage()
{
    return QLocale::system().name().left(2);
}

void ReleaseNotesFetcher::setLanguage(const QString& language)
{
    m_localizedUrl = localizedUrlFor(m_notesUrl, language);
}

void ReleaseNotesFetcher::start()
{
    if (m_localizedUrl.isValid() && m_localizedUrl != m_notesUrl)
        fetch(m_localizedUrl, true);
    else
        fetch(m_notesUrl, false);
}

void ReleaseNotesFetcher::fetch(const QUrl& url, bool localized)
{
    QNetworkReply* reply = m_network->get(updateRequest(url, m_tag));
    limitReplySize(reply, kMaxNotesBytes);
    connect(reply, &QNetworkReply::finished, this, [this, reply, localized] { onFinished(reply, localized); });
}

void ReleaseNotesFetcher::onFinished(QNetworkReply* reply, bool localized)
{
    reply->deleteLater();
    QString text;
    if (reply->error() == QNetworkReply::NoError && !tooLarge(reply))
        text = QString::fromUtf8(reply->readAll()).trimmed();
    else
        qCInfo(lcUpdate) << "release notes not available at" << reply->url().toDisplayString() << reply->errorString();
    if (!text.isEmpty()) {
        emit notesReady(text);
        return;
    }
    if (localized)
        fetch(m_notesUrl, false);
    else
        emit notesUnavailable();
}

} // namespace NorvUpdate
