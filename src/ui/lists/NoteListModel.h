#pragma once

#include "NoteRepository.h"
#include "Records.h"

#include <QAbstractListModel>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

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

// The notes of one list. It holds the row id of every listed note and nothing more; a row's id,
// texts, notebook and marks are read through the row loader when the view first asks for them, a
// page of neighbouring rows at a time. Replacing the list therefore costs one row-id query however
// large the library, and memory grows with what was shown, not with what is listed.
class NoteListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    // Reads the rows of these notes, asked for by id and by row id.
    using RowLoader = std::function<QList<NoteListRow>(const QStringList& ids, const QList<qint64>& rowids)>;
    using NotebookNameLookup = std::function<QString(const QString& notebookId)>;

    explicit NoteListModel(QObject* parent = nullptr);

    void setRowLoader(RowLoader loader);
    void setNotebookNameLookup(NotebookNameLookup lookup);
    // Whether rows carry the pending and conflict marks. Without an account nothing is waiting to
    // be synchronised.
    void setSyncMarksShown(bool shown);

    // Replaces the list. A search text makes the previews show the words around the first match.
    void setRowids(QList<qint64> rowids, const QString& searchText = QString());
    // Takes this version of a listed note and moves its row to targetRow (counted without the old
    // row). False when the note is not listed or the row is out of range.
    bool replaceNote(const Note& note, int targetRow);
    // Adds a row for a note that is not listed yet.
    void insertNote(const Note& note, int row);

    int rowOfNote(const QString& noteId) const;
    QString noteIdAt(int row) const;
    QDateTime updatedAt(int row) const;
    // Every listed id, in list order; reads the ids not read yet.
    QStringList noteIds() const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override;

private:
    struct Row
    {
        QString notebookId;
        QString notebookName;
        QDateTime updatedAt;
        int version = 1;
        int syncState = 0;
        bool shared = false;
        qint64 rowid = 0;
        QString body; // until the texts are derived
        std::optional<NoteListText> text;
    };
    // Derived texts by note id, valid while the note's update time and version match: every change
    // of a body moves both. Kept across refreshes, so a row shown again is not parsed again.
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

    Row* loadedRow(int row) const;
    // The note id of a row, read with its page when not known yet; empty for a note gone meanwhile.
    QString idAt(int row) const;
    void loadPage(int row) const;
    void store(const NoteListRow& row) const;
    void storeNote(const Note& note, qint64 rowid);
    QString notebookName(const QString& notebookId) const;

    RowLoader m_loader;
    NotebookNameLookup m_notebookNameLookup;
    bool m_syncMarksShown = true;
    QList<qint64> m_rowids;
    // The ids of rows read so far; an empty id marks a note that is gone.
    mutable QHash<qint64, QString> m_idOfRowid;
    // Notes added to the list before they are stored get a row id of their own, below zero.
    qint64 m_unstoredRowid = 0;
    QStringList m_terms;
    mutable QHash<QString, Row> m_rows;
    mutable QHash<QString, QString> m_notebookNames;
    mutable QHash<QString, CachedText> m_texts;
};
