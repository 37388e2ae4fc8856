#include "UpdateDialog.h"

#include "ReleaseNotesFetcher.h"
#include "UpdateLog.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace NorvUpdate {

UpdateDialog::UpdateDialog(const Artifact& artifact, const QString& currentVersion, const QString& displayName,
                           QWidget* parent)
    : QDialog(parent)
    , m_artifact(artifact)
{
    setModal(true);
    setWindowTitle(tr("Update available"));
    auto* layout = new QVBoxLayout(this);

    auto* headline = new QLabel(tr("A new version of %1 is available.").arg(displayName), this);
    QFont headlineFont = headline->font();
    headlineFont.setWeight(QFont::Bold);
    headlineFont.setPointSizeF(headlineFont.pointSizeF() + 1);
    headline->setFont(headlineFont);
    layout->addWidget(headline);
    layout->addWidget(
        new QLabel(tr("You have version %1. The latest version is %2.").arg(currentVersion, artifact.version), this));

    if (artifact.releaseNotesUrl.isValid()) {
        m_notes = new QTextBrowser(this);
        m_notes->setObjectName(QStringLiteral("releaseNotes"));
        m_notes->setOpenExternalLinks(true);
        m_notes->setPlaceholderText(tr("Loading release notes…"));
        m_notes->setMinimumHeight(150);
        layout->addWidget(m_notes);
        auto* fetcher = new ReleaseNotesFetcher(artifact.releaseNotesUrl, QStringLiteral("update-dialog"), this);
        connect(fetcher, &ReleaseNotesFetcher::notesReady, m_notes, &QTextBrowser::setMarkdown);
        connect(fetcher, &ReleaseNotesFetcher::notesUnavailable, m_notes,
                [this] { m_notes->setMarkdown(tr("*Release notes are not available for this version.*")); });
        fetcher->start();
        resize(520, 420);
    }

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* downloadButton = buttons->addButton(tr("Download"), QDialogButtonBox::AcceptRole);
    downloadButton->setObjectName(QStringLiteral("downloadButton"));
    downloadButton->setDefault(true);
    // A mandatory release cannot be put off.
    if (!artifact.mandatory)
        buttons->addButton(tr("Later"), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("laterButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &UpdateDialog::download);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void UpdateDialog::download()
{
    openDownload(m_artifact.url);
    accept();
}

bool openDownload(const QUrl& url)
{
    if (url.isEmpty() || !url.isValid()) {
        qCWarning(lcUpdate) << "NorvUpdate: download URL is empty or invalid";
        return false;
    }
    // Whatever the browser fetches is installed by the user, so it never comes over plain HTTP.
    if (!isSafeDownloadUrl(url)) {
        qCWarning(lcUpdate) << "NorvUpdate: refusing a download that is not https:" << url.toDisplayString();
        return false;
    }
    if (!QDesktopServices::openUrl(url)) {
        qCWarning(lcUpdate) << "NorvUpdate: QDesktopServices::openUrl failed for:" << url.toDisplayString();
        return false;
    }
    return true;
}

} // namespace NorvUpdate
