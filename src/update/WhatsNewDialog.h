#pragma once

#include <QDialog>
#include <QUrl>

class QTextBrowser;

namespace NorvUpdate {

// The release notes of one version; offers that version's download when it is not the running one.
class WhatsNewDialog : public QDialog
{
    Q_OBJECT
public:
    WhatsNewDialog(const QString& markdown, const QString& shownVersion, const QString& runningVersion,
                   const QString& displayName, QWidget* parent = nullptr, const QUrl& downloadUrl = QUrl());

    QString shownVersion() const { return m_shownVersion; }
    QUrl downloadUrl() const { return m_downloadUrl; }
    QTextBrowser* notesBrowser() const { return m_notes; }

private:
    QString m_shownVersion;
    QUrl m_downloadUrl;
    QTextBrowser* m_notes;
};

} // namespace NorvUpdate
