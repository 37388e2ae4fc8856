#pragma once

#include <QStatusBar>

class QLabel;
class QProgressBar;
class QTimer;
class SyncCloudIcon;
class SyncEngine;

// The bottom bar of the main and note windows: list title and count, the open note's word count
// and save state, transient messages, a busy indicator and the sync icon.
class StatusBar : public QStatusBar
{
    Q_OBJECT
public:
    enum SaveState
    {
        NoSaveState = 0,
        Saving = 1,
        Saved = 2,
    };

    // How long a change has to stay unsaved before "Saving..." shows. Longer than the editor's
    // one-second autosave, so normal typing never shows it.
    static constexpr int kSavingDelayMs = 1500;

    explicit StatusBar(QWidget* parent = nullptr);

    // A negative count shows the title alone.
    void setListTitle(const QString& title, int count);
    void setWordCount(int count);
    // Without an open note there are no words to count and nothing to save: the word count and
    // save state are hidden.
    void setNoteOpen(bool open);
    // code: SyncCloudIcon::State; text: the tooltip.
    void setSyncState(int code, const QString& text);
    // The icon for the sync engine's state (or "Not signed in"), with a tooltip naming the last error
    // and whatever the last run left behind; the busy indicator goes when no run is on.
    void showSync(const SyncEngine* sync, bool signedIn);
    // Hides the busy indicator, then shows the message for the given time.
    void showMessage(const QString& text, int milliseconds = 0);
    void showBusy(const QString& text);
    void hideBusy();

    SaveState saveState() const { return m_saveState; }
    SyncCloudIcon* syncIcon() const { return m_syncIcon; }

public slots:
    void onSavedStateChanged(bool saved);

private:
    void refreshWordLabel();

    QLabel* m_listLabel;
    QLabel* m_wordLabel;
    SyncCloudIcon* m_syncIcon;
    QLabel* m_busyLabel;
    QProgressBar* m_busyIndicator;
    SaveState m_saveState = NoSaveState;
    int m_wordCount = 0;
    QTimer* m_saveTimer;
};
