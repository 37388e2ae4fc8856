#pragma once

#include "ImportResult.h"

#include <QWizard>

class AppState;
class QLabel;
class QProgressBar;
class QRadioButton;
class QWizardPage;

// Wizard that imports a Joplin (.jex) or NoteStation (.nsx) export file into the library.
class ImportDialog : public QWizard
{
    Q_OBJECT

public:
    enum PageId
    {
        FormatPage,
        FilePage,
        ImportingPage,
        CompletePage,
    };

    ImportDialog(AppState* appState, QWidget* parent = nullptr);

    QString selectedFile() const { return m_file; }
    void setSelectedFile(const QString& path);
    QString statusText() const;
    QString summaryText() const;

    void runImport();

    // The complete page's text: counts, then the first kSummaryMessages problems and how many more.
    static QString summaryFor(const ImportResult& result);
    static constexpr int kSummaryMessages = 12;
    static constexpr qint64 kRepaintMs = 50;

protected:
    void initializePage(int id) override;
    void cleanupPage(int id) override;

private:
    bool isJex() const;
    void browse();

    AppState* m_state;
    QString m_file;
    bool m_running = false;
    QRadioButton* m_jex;
    QRadioButton* m_nsx;
    QLabel* m_fileLabel;
    QLabel* m_status;
    QProgressBar* m_progress;
    QLabel* m_summary;
};
