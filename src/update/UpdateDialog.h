#pragma once

#include "Manifest.h"

#include <QDialog>

class QTextBrowser;

namespace NorvUpdate {

// Offers an available release and hands its download to the browser.
class UpdateDialog : public QDialog
{
    Q_OBJECT
public:
    UpdateDialog(const Artifact& artifact, const QString& currentVersion, const QString& displayName,
                 QWidget* parent = nullptr);

    QTextBrowser* notesBrowser() const { return m_notes; }

private:
    void download();

    Artifact m_artifact;
    QTextBrowser* m_notes = nullptr;
};

// Opens a download in the browser when it is a safe address (isSafeDownloadUrl); logs and does nothing otherwise.
bool openDownload(const QUrl& url);

} // namespace NorvUpdate
