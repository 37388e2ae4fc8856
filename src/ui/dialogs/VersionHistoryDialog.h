#pragma once

#include <QDialog>

class AppState;
class NoteEditor;
class QLabel;
class QListWidget;
class QPushButton;

// The local version history of one note: its snapshots, a read-only preview of the selected one,
// and restoring it over the current content.
class VersionHistoryDialog : public QDialog
{
    Q_OBJECT

public:
    VersionHistoryDialog(AppState* appState, const QString& noteId, QWidget* parent = nullptr);

    void reload();

private:
    void showSelected(int row);
    void saveSnapshotNow();
    void restoreSelected();
    bool snapshotCurrentBody();
    bool mayEditNote() const;

    AppState* m_state;
    QString m_noteId;
    QListWidget* m_list;
    QLabel* m_reach;
    QPushButton* m_saveButton;
    QPushButton* m_restoreButton;
    NoteEditor* m_preview;
};
