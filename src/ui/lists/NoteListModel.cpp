#include "NoteListModel.h"

#include "DeltaFormat.h"

#include <QMimeData>
#include <QRegularExpression>
#include <algorithm>

namespace {

constexpr int kPreviewLength = 120;
// Characters of context kept before a search match, up to the start of their word.
constexpr int kSearchLeadIn = 12;
// Rows read in one go: a screenful and some, starting a little above the first row asked for so
// that scrolling either way finds its neighbours loaded.
constexpr int kPageSize = 48;
constexpr int kPageLead = 8;
// Past this many loaded rows the row cache starts over, so scrolling through a large library does
// not keep every row; the rows on screen are read again as they are painted.
constexpr qsizetype kMaxRows = 4000;
constexpr qsizetype kMaxTexts = 50000;

} // namespace

QStringList searchTerms(const QString& query)
{
    static const QRegularExpression separators(QStringLiteral("[^\\w]+"),
                                               QRegularExpression::UseUnicodePropertiesOption);
    static const QStringList operators{QStringLiteral("and"), QStringLiteral("or"), QStringLiteral("not"),
                                       QStringLiteral("near")};
    QStringList terms;
    for (const QString& word : query.split(separators, Qt::SkipEmptyParts)) {
        const QString term = word.toLower();
        if (!operators.contains(term) && !terms.contains(term))
            terms << term;
    }
    return terms;
}

namespace {

// Where the body first mentions one of the terms after its title line, or -1.
qsizetype firstMention(const QString& plain, qsizetype from, const QStringList& terms)
{
    qsizetype best = -1;
    for (const QString& term : terms) {
        const qsizetype at = plain.indexOf(term, from, Qt::CaseInsensitive);
        if (at >= 0 && (best < 0 || at < best))
            best = at;
    }
    return best;
}

} // namespace

NoteListText noteListText(const QString& body, const QStringList& terms)
{
    NoteListText text;
    // One parse: the title is the plain text's first line, as the note's derived title is.
    const QString plain = bodyPlainText(body);
    const qsizetype lineBreak = plain.indexOf(QLatin1Char('\n'));
    text.title = (lineBreak < 0 ? plain : plain.left(lineBreak)).trimmed();
    if (lineBreak >= 0) {
        qsizetype start = lineBreak + 1;
        bool elided = false;
        // A search result shows the words around what was found when that lies beyond the
        // opening of the preview: the reason the note is listed is then visible in the list.
        const qsizetype mention = terms.isEmpty() ? -1 : firstMention(plain, start, terms);
        // The list column shows some 30 characters of a preview, so the match has to come early.
        if (mention - start > kSearchLeadIn * 2) {
            start = mention - kSearchLeadIn;
            while (start < mention && !plain.at(start - 1).isSpace())
                ++start;
            elided = true;
        }
        QString preview = plain.mid(start).trimmed();
        preview.replace(QLatin1Char('\n'), QLatin1Char(' '));
        if (preview.size() > kPreviewLength)
            preview = preview.left(kPreviewLength) + QStringLiteral("...");
        text.preview = elided ? QStringLiteral("…") + preview : preview;
    }
    if (text.title.isEmpty()) {
        text.titleMissing = true;
        text.title = text.preview.isEmpty() ? NoteListModel::tr("Untitled") : text.preview;
        text.preview.clear();
    }
    return text;
}

NoteListModel::NoteListModel(QObject* parent)
    : QAbstractListModel(parent)
{}

void NoteListModel::setRowLoader(RowLoader loader)
{
    m_loader = std::move(loader);
}

void NoteListModel::setNotebookNameLookup(NotebookNameLookup lookup)
{
    m_notebookNameLookup = std::move(lookup);
    m_notebookNames.clear();
}

void NoteListModel::setSyncMarksShown(bool shown)
{
    m_syncMarksShown = shown;
}

void NoteListModel::setRowids(QList<qint64> rowids, const QString& searchText)
{
    beginResetModel();
    m_rowids = std::move(rowids);
    m_terms = searchTerms(searchText);
    // Ids, marks, notebooks and names may have changed with anything (a purged note's row id can be
    // taken by a new note); the texts are checked per row.
    m_idOfRowid.clear();
    m_rows.clear();
    m_notebookNames.clear();
    if (m_texts.size() > kMaxTexts)
        m_texts.clear();
    endResetModel();
}

bool NoteListModel::replaceNote(const Note& note, int targetRow)
{
    const int old = rowOfNote(note.id);
    if (old < 0 || targetRow < 0 || targetRow >= m_rowids.size())
        return false;
    storeNote(note, m_rowids.at(old));
    if (old != targetRow) {
        beginMoveRows(QModelIndex(), old, old, QModelIndex(), targetRow > old ? targetRow + 1 : targetRow);
        m_rowids.move(old, targetRow);
        endMoveRows();
    }
    emit dataChanged(index(targetRow), index(targetRow));
    return true;
}

void NoteListModel::insertNote(const Note& note, int row)
{
    row = std::clamp(row, 0, int(m_rowids.size()));
    const QList<NoteListRow> stored = m_loader ? m_loader({note.id}, {}) : QList<NoteListRow>();
    const qint64 rowid = !stored.isEmpty() && stored.first().rowid > 0 ? stored.first().rowid : --m_unstoredRowid;
    beginInsertRows(QModelIndex(), row, row);
    m_rowids.insert(row, rowid);
    storeNote(note, rowid);
    endInsertRows();
}

int NoteListModel::rowOfNote(const QString& noteId) const
{
    if (noteId.isEmpty())
        return -1;
    if (const auto known = m_rows.constFind(noteId); known != m_rows.cend() && known->rowid != 0)
        return int(m_rowids.indexOf(known->rowid));
    if (!m_loader)
        return -1;
    // The list holds row ids: the note's own row says which one is its.
    const QList<NoteListRow> loaded = m_loader({noteId}, {});
    const qsizetype row = loaded.isEmpty() ? -1 : m_rowids.indexOf(loaded.first().rowid);
    if (row >= 0) {
        m_idOfRowid.insert(loaded.first().rowid, noteId);
        store(loaded.first());
    }
    return int(row);
}

QString NoteListModel::idAt(int row) const
{
    const qint64 rowid = m_rowids.at(row);
    auto it = m_idOfRowid.constFind(rowid);
    if (it == m_idOfRowid.cend()) {
        loadPage(row);
        it = m_idOfRowid.constFind(rowid);
    }
    return it == m_idOfRowid.cend() ? QString() : *it;
}

QString NoteListModel::noteIdAt(int row) const
{
    return row >= 0 && row < m_rowids.size() ? idAt(row) : QString();
}

QDateTime NoteListModel::updatedAt(int row) const
{
    const Row* loaded = row >= 0 && row < m_rowids.size() ? loadedRow(row) : nullptr;
    return loaded ? loaded->updatedAt : QDateTime();
}

QStringList NoteListModel::noteIds() const
{
    QList<qint64> unknown;
    for (const qint64 rowid : m_rowids) {
        if (rowid > 0 && !m_idOfRowid.contains(rowid))
            unknown.append(rowid);
    }
    if (!unknown.isEmpty() && m_loader) {
        for (const NoteListRow& loaded : m_loader({}, unknown))
            m_idOfRowid.insert(loaded.rowid, loaded.id);
    }
    QStringList ids;
    ids.reserve(m_rowids.size());
    for (const qint64 rowid : m_rowids) {
        if (const QString id = m_idOfRowid.value(rowid); !id.isEmpty())
            ids.append(id);
    }
    return ids;
}

int NoteListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rowids.size());
}

QVariant NoteListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rowids.size())
        return {};
    if (role == NoteListRole::NoteId)
        return idAt(index.row());
    if (role < NoteListRole::Title || role > NoteListRole::NotebookId)
        return {}; // nothing else is worth reading a row for
    Row* row = loadedRow(index.row());
    if (!row)
        return {};
    switch (role) {
    case NoteListRole::Title:
    case NoteListRole::Preview:
    case NoteListRole::TitleMissing:
        if (!row->text) {
            row->text = noteListText(row->body, m_terms);
            row->body.clear();
            if (m_terms.isEmpty()) // previews around search words are not the usual ones
                m_texts.insert(idAt(index.row()), {{row->updatedAt, row->version}, *row->text});
        }
        if (role == NoteListRole::Title)
            return row->text->title;
        if (role == NoteListRole::Preview)
            return row->text->preview;
        return row->text->titleMissing;
    case NoteListRole::UpdatedAt:
        return row->updatedAt;
    case NoteListRole::NotebookName:
        return row->notebookName;
    case NoteListRole::Shared:
        return row->shared;
    case NoteListRole::SyncState:
        return m_syncMarksShown ? row->syncState : -1;
    case NoteListRole::NotebookId:
        return row->notebookId;
    default:
        return {};
    }
}

NoteListModel::Row* NoteListModel::loadedRow(int row) const
{
    const QString id = idAt(row);
    if (id.isEmpty())
        return nullptr; // a note deleted meanwhile
    auto it = m_rows.find(id);
    if (it == m_rows.end()) {
        loadPage(row);
        it = m_rows.find(id);
    }
    return it == m_rows.end() ? nullptr : &*it;
}

void NoteListModel::loadPage(int row) const
{
    if (!m_loader)
        return;
    if (m_rows.size() > kMaxRows)
        m_rows.clear();
    const int first = std::max(0, row - kPageLead);
    const int last = std::min(int(m_rowids.size()), row + kPageSize);
    QStringList ids;
    QList<qint64> rowids;
    for (int r = first; r < last; ++r) {
        const qint64 rowid = m_rowids.at(r);
        const auto known = m_idOfRowid.constFind(rowid);
        if (known == m_idOfRowid.cend()) {
            if (rowid > 0)
                rowids.append(rowid);
        } else if (!known->isEmpty() && (r == row || !m_rows.contains(*known))) {
            ids.append(*known);
        }
    }
    for (const NoteListRow& loaded : m_loader(ids, rowids)) {
        m_idOfRowid.insert(loaded.rowid, loaded.id);
        ids.append(loaded.id);
        store(loaded);
    }
    // A note deleted meanwhile shows as an empty row until the next refresh, instead of being asked
    // for at every paint.
    for (const qint64 rowid : std::as_const(rowids)) {
        if (!m_idOfRowid.contains(rowid))
            m_idOfRowid.insert(rowid, QString());
    }
    for (const QString& id : std::as_const(ids)) {
        if (!m_rows.contains(id))
            m_rows.insert(id, Row{});
    }
}

void NoteListModel::store(const NoteListRow& loaded) const
{
    Row row;
    row.notebookId = loaded.notebookId;
    row.notebookName = notebookName(loaded.notebookId);
    row.updatedAt = loaded.updatedAt;
    row.version = loaded.version;
    row.syncState = static_cast<int>(loaded.syncStatus);
    row.shared = loaded.isShared;
    row.rowid = loaded.rowid;
    const auto cached = m_terms.isEmpty() ? m_texts.constFind(loaded.id) : m_texts.cend();
    if (cached != m_texts.cend() && cached->key == TextKey{loaded.updatedAt, loaded.version})
        row.text = cached->text;
    else
        row.body = loaded.body;
    m_rows.insert(loaded.id, row);
}

void NoteListModel::storeNote(const Note& note, qint64 rowid)
{
    m_idOfRowid.insert(rowid, note.id);
    store({note.id, note.notebookId, note.body, note.updatedAt, note.version, note.syncStatus, note.isShared, rowid});
}

QString NoteListModel::notebookName(const QString& notebookId) const
{
    if (!m_notebookNameLookup || notebookId.isEmpty())
        return {};
    // A library has a handful of notebooks and many notes: each name is looked up once a refresh.
    auto it = m_notebookNames.constFind(notebookId);
    if (it == m_notebookNames.cend())
        it = m_notebookNames.insert(notebookId, m_notebookNameLookup(notebookId));
    return *it;
}

Qt::ItemFlags NoteListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
}

QStringList NoteListModel::mimeTypes() const
{
    return {QString::fromLatin1(kNoteIdMimeType)};
}

QMimeData* NoteListModel::mimeData(const QModelIndexList& indexes) const
{
    if (indexes.isEmpty() || !indexes.first().isValid())
        return nullptr;
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(kNoteIdMimeType), noteIdAt(indexes.first().row()).toUtf8());
    return data;
}

Qt::DropActions NoteListModel::supportedDragActions() const
{
    return Qt::CopyAction | Qt::MoveAction;
}
