#pragma once

#include <QString>
#include <QUrl>

class QNetworkReply;
class QNetworkRequest;

namespace NorvUpdate {

struct UpdateConfig
{
    QString product;
    QString channel;
    // The channel's folder on the update service; "latest.json" lies directly under it.
    QUrl manifestBaseUrl;
    // major.minor.patch of the running application.
    QString currentVersion;
};

// The service's folder for a product and channel, or UPDATE_BASE_URL when that is set and not empty,
// so development runs and tests never reach the published service.
QUrl serviceBaseUrl(const QString& product, const QString& channel);

// The configuration the application checks itself with: product "notes", channel "stable".
UpdateConfig notesConfig(const QString& currentVersion);

// The feedback page for a product: the portal's base URL with a trailing "/" and "?tags=<product>".
QUrl feedbackUrl(const QUrl& portalBase, const QString& product);
// Opens it in the browser; false when the desktop could not.
bool openFeedbackPage(const QUrl& portalBase, const QString& product);

// A GET for the update service: our User-Agent (tag in parentheses), no credentials, redirects
// followed only when they do not drop from HTTPS to HTTP, and a transfer time-out.
QNetworkRequest updateRequest(const QUrl& url, const QString& tag);

// Aborts the reply once it has delivered more than maxBytes; tooLarge(reply) then tells why it ended.
void limitReplySize(QNetworkReply* reply, qint64 maxBytes);
bool tooLarge(const QNetworkReply* reply);

} // namespace NorvUpdate
