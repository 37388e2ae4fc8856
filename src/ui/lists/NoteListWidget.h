#pragma once

#include "Records.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QListWidget>
#include <QString>
#include <functional>

class QTimer;

// Item roles of the note list; everything the delegate paints is in them, so painting never
// touches the database.
namespace NoteListRole {
enum : int
{
    NoteId = Qt::UserRole,    // QString
    Title = Qt::UserRole + 1, // QString, the display title
    Preview,                  // QString
    UpdatedAt,                // QDateTime
    NotebookName,             // QString, empty when none or no lookup is set
    TitleMissing,             // bool: the display title is derived from the body
    Shared,                   // bool
    SyncState,                // int: 0 pending, 1 synced, 2 conflict, -1 not shown
    NotebookId,               // QString, empty for none
};
}

// Drag payload of a note: its id in UTF-8.
inline constexpr char kNoteIdMimeType[] = "application/x-norvane-note-id";

// Title and preview of one list row, derived from a note body.
struct NoteListText
{
    QString title;
    QString preview;
    bool titleMissing = false;
};
// With search terms, a preview whose opening does not mention any of them starts a little before
// the first mention instead, marked with a leading ellipsis.
NoteListText noteListText(const QString& body, const QStringList& terms = {});
// The words of a search text, lower-cased, without the full-text operators.
QStringList searchTerms(const QString& query);

// The middle pane: three-line rows (title, preview, date and notebook) and a drag source for notes.
class NoteListWidget : public QListWidget
{
    Q_OBJECT
public:
    using NotebookNameLookup = std::function<QString(const QString& notebookId)>;
    using BodyLoader = std::function<QString(const QString& noteId)>;
    // Whether the notes handed to setNotes carry their bodies. Lists of a whole library leave
    // them out; a row then reads its note's body through the loader when it first needs its text.
    enum class Bodies
    {
        Included,
        Omitted,
    };

    explicit NoteListWidget(QWidget* parent = nullptr);

    // Replaces the rows, keeping the current note and the scroll position; emits nothing.
    // A search text makes the previews show the words around the first match.
    void setNotes(const QList<Note>& notes, Bodies bodies = Bodies::Included, const QString& searchText = QString());
    // Replaces the note's row with one built from this version of it, placed at targetRow (counted
    // without the old row), keeping it current when it was; emits nothing. False when the note is
    // not listed or the row is out of range.
    bool replaceNote(const Note& note, int targetRow);
    // Adds a row for a note that is not listed yet; emits nothing.
    void insertNote(const Note& note, int row);
    QListWidgetItem* itemForNote(const QString& noteId) const;
    void selectNote(const QString& noteId);
    QString selectedNoteId() const;
    void setNotebookNameLookup(NotebookNameLookup lookup);
    void setBodyLoader(BodyLoader loader);
    // Whether rows carry the pending and conflict marks; rows built afterwards follow it. Without
    // an account nothing is waiting to be synchronised.
    void setSyncMarksShown(bool shown);
    // Shown in the middle of the list while it has no rows ("No notes match" during a search).
    void setEmptyText(const QString& text);
    QString emptyText() const { return m_emptyText; }

    QStringList mimeTypes() const override;

    // Derived row texts by note id, valid while the note's update time and version match: every
    // change of a body moves both.
    struct TextKey
    {
        QDateTime updatedAt;
        int version = 0;
        bool operator==(const TextKey&) const = default;
    };
    struct CachedText
    {
        TextKey key;
        NoteListText text;
    };
    using TextCache = QHash<QString, CachedText>;

signals:
    void noteSelected(const QString& noteId);
    void noteDoubleClicked(const QString& noteId);
    void noteActivated(const QString& noteId);
    void noteDeleteRequested(const QString& noteId);
    void noteContextMenuRequested(const QString& noteId, const QPoint& globalPos);

protected:
    QMimeData* mimeData(const QList<QListWidgetItem*>& items) const override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;

private:
    void deriveNextBatch();
    QString lookUpNotebookName(const QString& notebookId) const;
    QListWidgetItem* makeItem(const Note& note, const QString& notebookName, Bodies bodies);

    NotebookNameLookup m_notebookName;
    BodyLoader m_bodyLoader;
    QStringList m_searchTerms;
    QString m_emptyText;
    static constexpr int kNoSyncState = -1;
    bool m_syncMarksShown = true;
    TextCache m_textCache;
    QTimer* m_deriveTimer = nullptr;
    int m_deriveRow = 0;
};
