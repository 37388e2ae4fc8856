#include "UpdateConfig.h"

#include <QDesktopServices>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrlQuery>

namespace NorvUpdate {

namespace {

constexpr char kDefaultServiceBase[] = "https://updates.norvane.app/%1/%2";
constexpr int kTransferTimeoutMs = 30000;
constexpr char kTooLargeProperty[] = "norvUpdateTooLarge";

} // namespace

QUrl serviceBaseUrl(const QString& product, const QString& channel)
{
    const QString fromEnv = qEnvironmentVariable("UPDATE_BASE_URL");
    if (!fromEnv.isEmpty())
        return QUrl(fromEnv);
    return QUrl(QString::fromLatin1(kDefaultServiceBase).arg(product, channel));
}

UpdateConfig notesConfig(const QString& currentVersion)
{
    const QString product = QStringLiteral("notes");
    const QString channel = QStringLiteral("stable");
    return {product, channel, serviceBaseUrl(product, channel), currentVersion};
}

QUrl feedbackUrl(const QUrl& portalBase, const QString& product)
{
    QUrl url = portalBase;
    if (!url.path().endsWith(u'/'))
        url.setPath(url.path() + u'/');
    QUrlQuery query(url);
    query.removeAllQueryItems(QStringLiteral("tags"));
    query.addQueryItem(QStringLiteral("tags"), product);
    url.setQuery(query);
    return url;
}

bool openFeedbackPage(const QUrl& portalBase, const QString& product)
{
    return QDesktopServices::openUrl(feedbackUrl(portalBase, product));
}

QNetworkRequest updateRequest(const QUrl& url, const QString& tag)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("NorvUpdateQt/0.1 (%1)").arg(tag));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(kTransferTimeoutMs);
    return request;
}

void limitReplySize(QNetworkReply* reply, qint64 maxBytes)
{
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [reply, maxBytes](qint64 received, qint64) {
        if (received > maxBytes && !reply->property(kTooLargeProperty).toBool()) {
            reply->setProperty(kTooLargeProperty, true);
            reply->abort();
        }
    });
}

bool tooLarge(const QNetworkReply* reply)
{
    return reply->property(kTooLargeProperty).toBool();
}

} // namespace NorvUpdate
