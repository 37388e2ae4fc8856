#include "NoteListWidget.h"

#include "DeltaFormat.h"
#include "NoteListDelegate.h"

#include <QDrag>
#include <QHash>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTimer>
#include <optional>

namespace {

constexpr int kPreviewLength = 120;
// Characters of context kept before a search match, up to the start of their word.
constexpr int kSearchLeadIn = 12;

// Deriving a row's title and preview means parsing the note's body. Only the rows that are painted
// (or asked about) ever need them, so a refresh of a large library stays cheap: the body is either
// shared with the note, not copied, or fetched through the loader on first use, then parsed.
class NoteListItem : public QListWidgetItem
{
public:
    NoteListItem(const QString& body, const NoteListWidget::BodyLoader* loader, NoteListWidget::TextCache* cache,
                 const NoteListWidget::TextKey& key, const QStringList& terms = {})
        : m_body(body)
        , m_loader(loader)
        , m_cache(cache)
        , m_key(key)
        , m_terms(terms)
    {
    }
    explicit NoteListItem(const NoteListText& text)
        : m_text(text)
    {
    }

    bool derived() const { return m_text.has_value(); }

    QVariant data(int role) const override
    {
        if (role == NoteListRole::Title || role == NoteListRole::Preview || role == NoteListRole::TitleMissing) {
            if (!m_text) {
                if (m_loader && *m_loader)
                    m_body = (*m_loader)(data(NoteListRole::NoteId).toString());
                m_text = noteListText(m_body, m_terms);
                m_body.clear();
                if (m_cache)
                    m_cache->insert(data(NoteListRole::NoteId).toString(), {m_key, *m_text});
            }
            if (role == NoteListRole::Title)
                return m_text->title;
            if (role == NoteListRole::Preview)
                return m_text->preview;
            return m_text->titleMissing;
        }
        return QListWidgetItem::data(role);
    }

private:
    mutable QString m_body;
    const NoteListWidget::BodyLoader* m_loader = nullptr;
    NoteListWidget::TextCache* m_cache = nullptr;
    NoteListWidget::TextKey m_key;
    QStringList m_terms;
    mutable std::optional<NoteListText> m_text;
};

constexpr int kDeriveBatch = 300;
constexpr qsizetype kMaxCachedTexts = 200000;

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
        text.title = text.preview.isEmpty() ? QStringLiteral("Untitled") : text.preview;
        text.preview.clear();
    }
    return text;
}

NoteListWidget::NoteListWidget(QWidget* parent)
    : QListWidget(parent)
{
    setObjectName(QStringLiteral("noteList"));
    setContextMenuPolicy(Qt::CustomContextMenu);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    setUniformItemSizes(true);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_Hover);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setDefaultDropAction(Qt::MoveAction);
    setItemDelegate(new NoteListDelegate(this));

    connect(this, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* current) {
        if (current)
            emit noteSelected(current->data(NoteListRole::NoteId).toString());
    });
    connect(this, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { emit noteDoubleClicked(item->data(NoteListRole::NoteId).toString()); });
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        if (QListWidgetItem* item = itemAt(pos))
            emit noteContextMenuRequested(item->data(NoteListRole::NoteId).toString(), viewport()->mapToGlobal(pos));
    });
}

void NoteListWidget::setNotes(const QList<Note>& notes, Bodies bodies, const QString& searchText)
{
    m_searchTerms = searchTerms(searchText);
    const QString currentId = selectedNoteId();
    QString topId;
    int topOffset = 0;
    if (QListWidgetItem* top = itemAt(QPoint(0, 0))) {
        topId = top->data(NoteListRole::NoteId).toString();
        topOffset = visualItemRect(top).top();
    }

    const bool blocked = blockSignals(true);
    clear();
    // A library has a handful of notebooks and thousands of notes: look each name up once.
    QHash<QString, QString> notebookNames;
    auto notebookName = [&](const QString& notebookId) {
        auto it = notebookNames.constFind(notebookId);
        if (it == notebookNames.cend())
            it = notebookNames.insert(notebookId, lookUpNotebookName(notebookId));
        return *it;
    };
    if (m_textCache.size() > kMaxCachedTexts)
        m_textCache.clear();
    for (const Note& note : notes)
        addItem(makeItem(note, notebookName(note.notebookId), bodies));

    if (QListWidgetItem* current = itemForNote(currentId))
        setCurrentItem(current);
    if (QListWidgetItem* top = itemForNote(topId)) {
        // Lay the rows out now, so the item's position is known before the next paint.
        executeDelayedItemsLayout();
        QScrollBar* bar = verticalScrollBar();
        bar->setValue(bar->value() + visualItemRect(top).top() - topOffset);
    }
    blockSignals(blocked);

    // Rows not yet painted get their texts a batch at a time while the application is idle, which
    // releases the bodies they hold and fills the cache for the next refresh.
    m_deriveRow = 0;
    if (!m_deriveTimer) {
        m_deriveTimer = new QTimer(this);
        m_deriveTimer->setInterval(0);
        connect(m_deriveTimer, &QTimer::timeout, this, &NoteListWidget::deriveNextBatch);
    }
    m_deriveTimer->start();
}

QListWidgetItem* NoteListWidget::makeItem(const Note& note, const QString& notebookName, Bodies bodies)
{
    // A note whose update time and version are unchanged since its text was derived keeps that
    // text; only new and edited notes are read again.
    const TextKey key{note.updatedAt, note.version};
    const QString& body = bodies == Bodies::Omitted ? QString() : note.body;
    const NoteListWidget::BodyLoader* loader = bodies == Bodies::Omitted ? &m_bodyLoader : nullptr;
    const auto cached = m_textCache.constFind(note.id);
    NoteListItem* item = nullptr;
    if (!m_searchTerms.isEmpty()) // previews around the search words are not the cached ones
        item = new NoteListItem(body, loader, nullptr, key, m_searchTerms);
    else if (cached != m_textCache.cend() && cached->key == key)
        item = new NoteListItem(cached->text);
    else
        item = new NoteListItem(body, loader, &m_textCache, key);
    item->setData(NoteListRole::NoteId, note.id);
    item->setData(NoteListRole::UpdatedAt, note.updatedAt);
    item->setData(NoteListRole::NotebookId, note.notebookId);
    item->setData(NoteListRole::NotebookName, notebookName);
    item->setData(NoteListRole::Shared, note.isShared);
    item->setData(NoteListRole::SyncState, m_syncMarksShown ? static_cast<int>(note.syncStatus) : kNoSyncState);
    return item;
}

bool NoteListWidget::replaceNote(const Note& note, int targetRow)
{
    QListWidgetItem* old = itemForNote(note.id);
    if (!old || targetRow < 0 || targetRow >= count())
        return false;
    const bool wasCurrent = old == currentItem();
    const QString notebookName = old->data(NoteListRole::NotebookId).toString() == note.notebookId
                                     ? old->data(NoteListRole::NotebookName).toString()
                                     : lookUpNotebookName(note.notebookId);
    const bool blocked = blockSignals(true);
    delete takeItem(row(old));
    QListWidgetItem* item = makeItem(note, notebookName, Bodies::Included);
    insertItem(targetRow, item);
    if (wasCurrent)
        setCurrentItem(item);
    blockSignals(blocked);
    return true;
}

QString NoteListWidget::lookUpNotebookName(const QString& notebookId) const
{
    return m_notebookName && !notebookId.isEmpty() ? m_notebookName(notebookId) : QString();
}

void NoteListWidget::insertNote(const Note& note, int row)
{
    const bool blocked = blockSignals(true);
    insertItem(row, makeItem(note, lookUpNotebookName(note.notebookId), Bodies::Included));
    blockSignals(blocked);
}

void NoteListWidget::deriveNextBatch()
{
    const int end = std::min(count(), m_deriveRow + kDeriveBatch);
    for (; m_deriveRow < end; ++m_deriveRow) {
        const auto* row = dynamic_cast<const NoteListItem*>(item(m_deriveRow));
        if (row && !row->derived())
            row->data(NoteListRole::Title);
    }
    if (m_deriveRow >= count())
        m_deriveTimer->stop();
}

void NoteListWidget::selectNote(const QString& noteId)
{
    if (QListWidgetItem* item = itemForNote(noteId))
        setCurrentItem(item);
}

QString NoteListWidget::selectedNoteId() const
{
    const QListWidgetItem* item = currentItem();
    return item ? item->data(NoteListRole::NoteId).toString() : QString();
}

void NoteListWidget::setBodyLoader(BodyLoader loader)
{
    m_bodyLoader = std::move(loader);
}

void NoteListWidget::setNotebookNameLookup(NotebookNameLookup lookup)
{
    m_notebookName = std::move(lookup);
}

QStringList NoteListWidget::mimeTypes() const
{
    return {QString::fromLatin1(kNoteIdMimeType)};
}

QMimeData* NoteListWidget::mimeData(const QList<QListWidgetItem*>& items) const
{
    if (items.isEmpty())
        return nullptr;
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(kNoteIdMimeType), items.first()->data(NoteListRole::NoteId).toString().toUtf8());
    return data;
}

void NoteListWidget::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (currentItem())
            emit noteActivated(selectedNoteId());
        event->accept();
        return;
    case Qt::Key_Delete:
        if (currentItem())
            emit noteDeleteRequested(selectedNoteId());
        event->accept();
        return;
    default:
        QListWidget::keyPressEvent(event);
    }
}

void NoteListWidget::setSyncMarksShown(bool shown)
{
    m_syncMarksShown = shown;
}

void NoteListWidget::setEmptyText(const QString& text)
{
    if (text == m_emptyText)
        return;
    m_emptyText = text;
    viewport()->update();
}

void NoteListWidget::paintEvent(QPaintEvent* event)
{
    QListWidget::paintEvent(event);
    if (count() > 0 || m_emptyText.isEmpty())
        return;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
    painter.drawText(viewport()->rect().adjusted(12, 12, -12, -12), Qt::AlignCenter | Qt::TextWordWrap, m_emptyText);
}

void NoteListWidget::startDrag(Qt::DropActions supportedActions)
{
    // The base class removes the dragged rows after a move. The note is moved by whoever took the
    // drop, and the list is refreshed from the database by then, so removing rows here would hide
    // a note that is still listed.
    QListWidgetItem* item = currentItem();
    if (!item)
        return;
    QMimeData* data = mimeData({item});
    if (!data)
        return;
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->exec(supportedActions, defaultDropAction());
}

QListWidgetItem* NoteListWidget::itemForNote(const QString& noteId) const
{
    if (noteId.isEmpty())
        return nullptr;
    for (int row = 0; row < count(); ++row) {
        QListWidgetItem* candidate = item(row);
        if (candidate->data(NoteListRole::NoteId).toString() == noteId)
            return candidate;
    }
    return nullptr;
}
