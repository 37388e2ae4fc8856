#include "WhatsNewDialog.h"

#include "UpdateDialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace NorvUpdate {

WhatsNewDialog::WhatsNewDialog(const QString& markdown, const QString& shownVersion, const QString& runningVersion,
                               const QString& displayName, QWidget* parent, const QUrl& downloadUrl)
    : QDialog(parent)
    , m_shownVersion(shownVersion)
    , m_downloadUrl(downloadUrl)
{
    setModal(false);
    resize(520, 420);
    setWindowTitle(tr("What's New in %1 %2").arg(displayName, shownVersion));
    auto* layout = new QVBoxLayout(this);

    auto* header = new QLabel(tr("What's new in %1 %2").arg(displayName, shownVersion), this);
    QFont headerFont = header->font();
    headerFont.setWeight(QFont::Bold);
    headerFont.setPointSizeF(headerFont.pointSizeF() + 2);
    header->setFont(headerFont);
    layout->addWidget(header);

    m_notes = new QTextBrowser(this);
    m_notes->setObjectName(QStringLiteral("releaseNotes"));
    m_notes->setOpenExternalLinks(true);
    m_notes->setMarkdown(markdown);
    layout->addWidget(m_notes);

    auto* bottom = new QHBoxLayout;
    auto* running = new QLabel(tr("You are running version %1").arg(runningVersion), this);
    running->setStyleSheet(QStringLiteral("color: gray; font-size: 11px;"));
    bottom->addWidget(running);
    bottom->addStretch();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    if (downloadUrl.isValid()) {
        QPushButton* download = buttons->addButton(tr("Download %1").arg(shownVersion), QDialogButtonBox::AcceptRole);
        download->setObjectName(QStringLiteral("downloadButton"));
        connect(buttons, &QDialogButtonBox::accepted, this, [this] {
            openDownload(m_downloadUrl);
            accept();
        });
    }
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    bottom->addWidget(buttons);
    layout->addLayout(bottom);
}

} // namespace NorvUpdate
