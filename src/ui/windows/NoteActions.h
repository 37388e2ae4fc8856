#pragma once

#include <QString>

class AppState;
class NoteEditor;
class QKeySequence;
class QMenu;
class QMenuBar;
class QObject;
class QWidget;
class StatusBar;
struct Note;

// What the main window and the note windows do to the note in their editor: writing it back,
// snapshots, export, print, the clipboard copies and the small dialogs. Both surfaces call the same
// code so a note behaves the same wherever it is open.
namespace NoteActions {

enum class SaveResult
{
    Unchanged, // nothing to write
    Saved,
    Failed, // the text is not stored; the editor keeps it unsaved
};

// Writes the editor's body back when it differs from the stored one: new updated and modified
// times, version + 1, pending. Nothing happens for no note, a read-only editor or an editor that
// reports itself saved. After a write, noteUpdatedExternally(noteId, source) tells the other
// surfaces. A failed write leaves the editor unsaved and retrying (NoteEditor::markSaveFailed).
SaveResult saveEditorNote(AppState* state, NoteEditor* editor, QObject* source);

// Before the editor leaves its note (another note, closing, quitting): saves it, and when that
// fails keeps the text in a recovery file. False only when the text is in neither place; the
// caller must then stay on the note.
bool secureEditorNote(AppState* state, NoteEditor* editor, QObject* source);

// Offers back, one question each, the text that recovery files hold for this library; a Yes
// writes it into its note (the stored body goes into the history first), a No discards it.
// Returns how many were restored.
int offerRecoveredText(QWidget* parent, AppState* state);

// What the status bar says while a note cannot be saved.
QString saveFailedMessage();

// Stores a snapshot of the editor's body when it is not empty and differs from lastSnapshotBody,
// which then takes that body. Nothing for no note, a read-only editor or an empty lastSnapshotBody.
bool snapshotIfChanged(AppState* state, NoteEditor* editor, QString& lastSnapshotBody);
// A sync is about to show another device's body in this editor while it holds typing not yet written
// back: the typing goes into the note's history as a kept copy first. True when something was kept.
bool keepUnsavedTyping(AppState* state, NoteEditor* editor, const QString& noteId);

// Save Snapshot: writes the note back and stores its body in the history unless the newest
// snapshot already holds it; lastSnapshotBody then takes that body. True when the history holds
// the body afterwards.
bool takeSnapshot(AppState* state, NoteEditor* editor, QObject* source, QString& lastSnapshotBody);

// "Move \"%1\" to Trash?" with Yes/No, No the default. True when the user said Yes.
bool confirmMoveToTrash(QWidget* parent, AppState* state, const QString& noteId);

// The export flow: format dialog, save-file dialog titled "Export Note", then the export. Success
// shows "Exported to %1" on the status bar; failure shows "Export Failed".
void exportNote(QWidget* parent, AppState* state, const QString& noteId, StatusBar* statusBar);

// Print and print preview of the editor's document; "No note selected" when the editor is empty.
void printNote(QWidget* parent, AppState* state, NoteEditor* editor, StatusBar* statusBar);
void printPreview(QWidget* parent, AppState* state, NoteEditor* editor, StatusBar* statusBar);

// Clipboard copies of the editor's note; nothing without a note.
void copyAsPlainText(NoteEditor* editor);
void copyAsMarkdown(NoteEditor* editor);
// HTML with the Markdown as the plain-text alternative.
void copyAsHtml(NoteEditor* editor);

// Whether the user may change the note: its text, its notebook, whether it is in the trash. Their own
// notes and notes shared with them for editing; a note shared for viewing only is read-only here,
// since the server refuses every change to it and a local one would wait to be sent forever.
bool mayEdit(const Note& note);

// Asks for a notebook and moves the note there. True when the note moved; never for a note the
// user may not change.
bool moveToNotebook(QWidget* parent, AppState* state, const QString& noteId);

// Opens the modeless version history of the note (deleted on close).
QWidget* openVersionHistory(QWidget* parent, AppState* state, const QString& noteId);

// The sharing dialog of one note or notebook, modeless and deleted on close; null when sharing is not
// offered (signed out, no group) or the note is someone else's. removeTooltip empty: "Remove access".
QWidget* openShareDialog(QWidget* parent, AppState* state, const QString& noteId,
                         const QString& removeTooltip = QString());
QWidget* openNotebookShareDialog(QWidget* parent, AppState* state, const QString& notebookId);

// "Updated %1" with the relative date of the note's update time.
QString updatedText(const Note& note);

// Whether a key does something in this window: one of its actions has it, or the editor takes it.
bool windowHasShortcut(const QWidget* window, const NoteEditor* editor, const QKeySequence& key);

// The "F&ormat" menu acting on the editor. The main window's full menu adds inline code, the
// alignments and links to what the note windows offer.
enum class FormatMenu
{
    NoteWindow,
    Full,
};
QMenu* addFormatMenu(QMenuBar* bar, NoteEditor* editor, FormatMenu kind);

} // namespace NoteActions
