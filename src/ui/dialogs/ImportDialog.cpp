#include "ImportDialog.h"

#include "AppState.h"
#include "Clock.h"
#include "Interaction.h"
#include "JexImporter.h"
#include "NsxImporter.h"
#include "UiLog.h"

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWizardPage>

ImportDialog::ImportDialog(AppState* appState, QWidget* parent)
    : QWizard(parent)
    , m_state(appState)
{
    setObjectName(QStringLiteral("importDialog"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("Import Notes"));

    auto* formatPage = new QWizardPage(this);
    formatPage->setObjectName(QStringLiteral("importFormatPage"));
    formatPage->setTitle(tr("Select Format"));
    formatPage->setSubTitle(tr("Choose the format of the file you want to import."));
    m_jex = new QRadioButton(tr("Joplin Export (.jex)"), formatPage);
    m_jex->setObjectName(QStringLiteral("importJexRadio"));
    m_nsx = new QRadioButton(tr("Synology NoteStation (.nsx)"), formatPage);
    m_nsx->setObjectName(QStringLiteral("importNsxRadio"));
    m_jex->setChecked(true);
    auto* formatLayout = new QVBoxLayout(formatPage);
    formatLayout->addWidget(m_jex);
    formatLayout->addWidget(m_nsx);
    formatLayout->addStretch();

    auto* filePage = new QWizardPage(this);
    filePage->setObjectName(QStringLiteral("importFilePage"));
    filePage->setTitle(tr("Select File"));
    filePage->setSubTitle(tr("Choose the file to import."));
    m_fileLabel = new QLabel(tr("No file selected"), filePage);
    m_fileLabel->setObjectName(QStringLiteral("importFileLabel"));
    m_fileLabel->setWordWrap(true);
    auto* browseButton = new QPushButton(tr("Browse..."), filePage);
    browseButton->setObjectName(QStringLiteral("importBrowseButton"));
    connect(browseButton, &QPushButton::clicked, this, &ImportDialog::browse);
    auto* fileLayout = new QVBoxLayout(filePage);
    fileLayout->addWidget(m_fileLabel);
    fileLayout->addWidget(browseButton);
    fileLayout->addStretch();

    auto* importingPage = new QWizardPage(this);
    importingPage->setObjectName(QStringLiteral("importingPage"));
    importingPage->setTitle(tr("Importing..."));
    importingPage->setSubTitle(tr("Please wait while your notes are imported."));
    m_status = new QLabel(tr("Starting import..."), importingPage);
    m_status->setObjectName(QStringLiteral("importStatusLabel"));
    m_status->setWordWrap(true);
    m_progress = new QProgressBar(importingPage);
    m_progress->setObjectName(QStringLiteral("importProgressBar"));
    m_progress->setRange(0, 0);
    auto* importingLayout = new QVBoxLayout(importingPage);
    importingLayout->addWidget(m_status);
    importingLayout->addWidget(m_progress);
    importingLayout->addStretch();

    auto* completePage = new QWizardPage(this);
    completePage->setObjectName(QStringLiteral("importCompletePage"));
    completePage->setTitle(tr("Import Complete"));
    completePage->setFinalPage(true);
    m_summary = new QLabel(completePage);
    m_summary->setObjectName(QStringLiteral("importSummaryLabel"));
    m_summary->setWordWrap(true);
    auto* completeLayout = new QVBoxLayout(completePage);
    completeLayout->addWidget(m_summary);
    completeLayout->addStretch();

    setPage(FormatPage, formatPage);
    setPage(FilePage, filePage);
    setPage(ImportingPage, importingPage);
    setPage(CompletePage, completePage);
}

void ImportDialog::setSelectedFile(const QString& path)
{
    m_file = path;
    m_fileLabel->setText(path.isEmpty() ? tr("No file selected") : path);
}

QString ImportDialog::statusText() const
{
    return m_status->text();
}

QString ImportDialog::summaryText() const
{
    return m_summary->text();
}

bool ImportDialog::isJex() const
{
    return m_jex->isChecked();
}

void ImportDialog::browse()
{
    const QString filter = isJex() ? tr("Joplin Export (*.jex);;All Files (*)")
                                   : tr("NoteStation Export (*.nsx);;All Files (*)");
    const QString path = Interaction::getOpenFileName(this, tr("Select Import File"), QString(), filter);
    if (!path.isEmpty())
        setSelectedFile(path);
}

void ImportDialog::initializePage(int id)
{
    QWizard::initializePage(id);
    if (id == ImportingPage) {
        m_status->setText(tr("Starting import..."));
        m_progress->setRange(0, 0);
        // Let the page paint before the import blocks the event loop.
        QTimer::singleShot(100, this, &ImportDialog::runImport);
    }
}

void ImportDialog::cleanupPage(int id)
{
    QWizard::cleanupPage(id);
    // Back from the summary passes the finished import by and returns to the file, so another
    // file (or the same one again) can be imported.
    if (id == CompletePage) {
        QTimer::singleShot(0, this, [this] {
            if (currentId() == ImportingPage)
                back();
        });
    }
}

QString ImportDialog::summaryFor(const ImportResult& result)
{
    QString summary = tr("Imported: %1 notes").arg(result.imported);
    if (result.attachments > 0)
        summary += tr("\nAttachments: %1").arg(result.attachments);
    if (result.skipped > 0)
        summary += tr("\nSkipped: %1").arg(result.skipped);
    if (result.errors > 0)
        summary += tr("\nErrors: %1").arg(result.errors);
    QStringList messages;
    if (!result.error.isEmpty())
        messages << result.error;
    messages += result.messages;
    // A damaged archive can explain itself thousands of times; the page stays a readable size with
    // the first lines and how many more there were.
    for (const QString& message : messages.mid(0, kSummaryMessages))
        summary += QLatin1Char('\n') + message;
    if (messages.size() > kSummaryMessages)
        summary += QLatin1Char('\n') + tr("…and %n more.", nullptr, int(messages.size() - kSummaryMessages));
    return summary;
}

void ImportDialog::runImport()
{
    if (m_file.isEmpty()) {
        m_status->setText(tr("No file was selected."));
        m_progress->setRange(0, 1);
        return;
    }
    if (m_running || currentId() != ImportingPage)
        return; // already running, or the user went back before it started
    m_running = true;
    m_status->setText(tr("Starting import of %1...").arg(QFileInfo(m_file).fileName()));
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    const LibraryRepositories library{m_state->notes(), m_state->notebooks(), m_state->attachments()};
    qint64 lastRepaint = -1;
    int lastTotal = 0;
    const ImportProgress progress = [this, &lastRepaint, &lastTotal](int current, int total, const QString& message) {
        if (total > 0) {
            m_progress->setRange(0, total);
            m_progress->setValue(current);
        }
        if (!message.isEmpty())
            m_status->setText(message);
        // The import runs on this thread. The page repaints at each new stage and otherwise at most
        // every kRepaintMs, so it shows how far the import got without slowing it down; input waits,
        // so nothing can start a second import or close the wizard under this one.
        const qint64 now = Clock::nowMs();
        if (total != lastTotal || lastRepaint < 0 || now - lastRepaint >= kRepaintMs) {
            lastTotal = total;
            lastRepaint = now;
            QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        }
    };
    const ImportResult result = isJex() ? importJex(m_file, library, progress) : importNsx(m_file, library, progress);
    qCInfo(lcUi) << "Import finished:" << result.imported << "notes," << result.attachments << "attachments,"
                 << result.errors << "errors";

    m_summary->setText(summaryFor(result));

    m_progress->setRange(0, 1);
    m_progress->setValue(1);
    m_running = false;
    if (currentId() == ImportingPage)
        next();
}
