#include "NoteEditor.h"

#include "AttachmentRenderer.h"
#include "AttachmentRepository.h"
#include "DeltaDocument.h"
#include "EmbedRenderer.h"
#include "FontScale.h"
#include "NoteEditorBlocks.h"
#include "TextFormats.h"
#include "ThemeManager.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QJsonDocument>
#include <QScrollBar>
#include <QTextBlock>
#include <QTimer>
#include <algorithm>

using namespace TextFormats;
using namespace EditorBlocks;

namespace {

// Marked for translation here, translated where they are shown.
const char* const kNoNotePlaceholder = QT_TRANSLATE_NOOP("NoteEditor", "Select a note or press Ctrl+N to create one");
const char* const kNotePlaceholder = QT_TRANSLATE_NOOP("NoteEditor", "Start typing...");

// Words of one block, cached on the block so a keystroke recounts only the lines it touched.
class BlockWords : public QTextBlockUserData
{
public:
    explicit BlockWords(int count)
        : words(count)
    {}
    int words;
};

// A block's words as the document's plain text counts them: no-break spaces and line separators are
// white space there.
int countBlockWords(const QString& text)
{
    int count = 0;
    bool inWord = false;
    for (const QChar ch : text) {
        const char16_t u = ch.unicode();
        const bool space = u == u' ' || u == u'\t' || u == u'\n' || u == u'\r' || u == u'\v' || u == u'\f' ||
                           u == 0x00A0 || u == 0x2028;
        if (space) {
            inWord = false;
        } else if (!inWord) {
            inWord = true;
            ++count;
        }
    }
    return count;
}

} // namespace

NoteEditor::NoteEditor(AttachmentRepository* attachments, QWidget* parent)
    : QTextEdit(parent)
    , m_delta(new DeltaDocument(this))
    , m_attachments(attachments)
{
    setObjectName(QStringLiteral("noteEditor"));
    setDocument(m_delta->textDocument());
    setAcceptRichText(true);
    setTabChangesFocus(false);
    viewport()->setMouseTracking(true);
    applyEditorFont();

    m_renderer = new AttachmentRenderer(attachments, this);
    m_embedRenderer = new EmbedRenderer(this);
    QAbstractTextDocumentLayout* layout = document()->documentLayout();
    layout->registerHandler(AttachmentObjectType, m_renderer);
    layout->registerHandler(DividerObjectType, m_embedRenderer);
    layout->registerHandler(TableObjectType, m_embedRenderer);

    m_autosaveTimer = new QTimer(this);
    m_autosaveTimer->setObjectName(QStringLiteral("autosaveTimer"));
    m_autosaveTimer->setSingleShot(true);
    m_autosaveTimer->setInterval(kAutosaveMs);
    // Coarse timers may fire up to 5 % early; the save must never come before a full second of quiet.
    m_autosaveTimer->setTimerType(Qt::PreciseTimer);
    connect(m_autosaveTimer, &QTimer::timeout, this, &NoteEditor::onAutosaveTimeout);

    // Every text change passes here before the change is reported, so the cached counts of the
    // blocks it touched are fresh when the word count is asked for.
    connect(document(), &QTextDocument::contentsChange, this,
            [this](int position, int, int added) { recountWords(position, position + added); });
    connect(m_delta, &DeltaDocument::contentsChanged, this, &NoteEditor::onContentsChanged);
    connect(this, &QTextEdit::cursorPositionChanged, this, &NoteEditor::emitFormatState);
    connect(this, &QTextEdit::currentCharFormatChanged, this, &NoteEditor::emitFormatState);

    setReadOnly(true);
    setPlaceholderText(tr(kNoNotePlaceholder));
}

NoteEditor::~NoteEditor()
{
    // The layout keeps raw pointers to the handlers; the document (owned by m_delta) outlives them
    // otherwise for a moment during destruction.
    if (QAbstractTextDocumentLayout* layout = document()->documentLayout()) {
        layout->unregisterHandler(AttachmentObjectType, m_renderer);
        layout->unregisterHandler(DividerObjectType, m_embedRenderer);
        layout->unregisterHandler(TableObjectType, m_embedRenderer);
    }
}

void NoteEditor::setThemeManager(ThemeManager* themes)
{
    if (m_themes)
        disconnect(m_themes, nullptr, this, nullptr);
    m_themes = themes;
    if (!themes)
        return;
    connect(themes, &ThemeManager::themeChanged, this, &NoteEditor::restyle);
    connect(themes, &ThemeManager::fontScaleChanged, this, &NoteEditor::restyle);
}

void NoteEditor::applyEditorFont()
{
    QFont font = QApplication::font();
    const int size = 16 * FontScale::percent() / 100;
    font.setPixelSize(size < 2 ? 1 : size);
    // QTextEdit hands its font on to the document as the default font.
    setFont(font);
}

QString NoteEditor::styleKey()
{
    return QStringLiteral("%1/%2").arg(FontScale::percent()).arg(isDarkPalette());
}

void NoteEditor::restyle()
{
    applyEditorFont();
    // A font-scale change re-applies the theme as well; the note is reloaded once per real change.
    if (m_noteId.isEmpty() || styleKey() == m_loadedStyle)
        return;
    // Pending edits go to the owner first: the reload below marks the document saved.
    if (!m_saved) {
        m_autosaveTimer->stop();
        onAutosaveTimeout();
    }
    // Text the owner could not store is reloaded as it stands and stays unsaved.
    const bool unsaved = !m_saved;
    const bool readOnly = isReadOnly();
    loadNote(m_noteId, bodyJson(), true);
    setReadOnly(readOnly);
    if (unsaved)
        markSaveFailed();
}

// ---------------------------------------------------------------------------------------------
// Loading and the autosave chain

void NoteEditor::loadNote(const QString& noteId, const QString& body, bool force)
{
    const bool sameNote = !noteId.isEmpty() && noteId == m_noteId;
    if (!force && sameNote && m_saved) {
        // Compared as JSON, so key order and white space of the stored text do not matter.
        const QJsonDocument incoming = QJsonDocument::fromJson(body.toUtf8());
        if (incoming.isArray()) {
            const QJsonArray array = incoming.array();
            // The stored text may spell the same lines differently (several lines in one insert); an
            // untouched document still holds exactly what was loaded.
            if ((!document()->isModified() && array == m_delta->loadedDelta()) || array == m_delta->toDelta())
                return;
        }
    }

    int anchor = 0;
    int position = 0;
    int scroll = 0;
    if (sameNote) {
        const QTextCursor cursor = textCursor();
        anchor = cursor.anchor();
        position = cursor.position();
        scroll = verticalScrollBar()->value();
    }

    if (!sameNote)
        releaseRemovedAttachments();
    m_loading = true;
    ++m_loadGeneration;
    m_noteId = noteId;
    m_autosaveTimer->stop();
    setUpdatesEnabled(false);
    m_renderer->resetCache();
    m_delta->loadJson(body);
    m_loadedStyle = styleKey();
    setReadOnly(false);
    setPlaceholderText(tr(kNotePlaceholder));
    m_loading = false;
    m_saved = true;

    QTextCursor cursor(document());
    if (sameNote) {
        const int last = std::max(document()->characterCount() - 1, 0);
        cursor.setPosition(std::clamp(anchor, 0, last));
        cursor.setPosition(std::clamp(position, 0, last), QTextCursor::KeepAnchor);
    }
    setTextCursor(cursor);
    if (sameNote) {
        if (scroll > verticalScrollBar()->maximum()) {
            // Long documents are laid out lazily; the scroll range is only complete once the end is.
            document()->documentLayout()->blockBoundingRect(document()->lastBlock());
        }
        verticalScrollBar()->setValue(scroll);
    }
    setUpdatesEnabled(true);
    viewport()->update();

    emit savedStateChanged(true);
    emit wordCountChanged(wordCount());
    emitFormatState();
}

void NoteEditor::clear()
{
    releaseRemovedAttachments();
    m_loading = true;
    ++m_loadGeneration;
    m_noteId.clear();
    m_autosaveTimer->stop();
    m_renderer->resetCache();
    m_delta->loadJson(QString());
    setReadOnly(true);
    setPlaceholderText(tr(kNoNotePlaceholder));
    viewport()->update();
    m_loading = false;
    m_saved = true;
    emit savedStateChanged(true);
    emit wordCountChanged(0);
    emitFormatState();
}

QString NoteEditor::bodyJson() const
{
    return m_delta->toJson();
}

void NoteEditor::onContentsChanged()
{
    if (m_loading || m_noteId.isEmpty())
        return;
    m_saved = false;
    emit savedStateChanged(false);
    m_autosaveTimer->start(kAutosaveMs);
    emit wordCountChanged(wordCount());
}

void NoteEditor::onAutosaveTimeout()
{
    // The owner saves synchronously while the editor still reports unsaved changes.
    m_saveFailed = false;
    emit noteModified();
    if (m_saveFailed)
        return;
    m_saved = true;
    emit savedStateChanged(true);
}

void NoteEditor::markSaveFailed()
{
    if (m_noteId.isEmpty())
        return;
    m_saveFailed = true;
    m_saved = false;
    m_autosaveTimer->start(kSaveRetryMs);
    emit savedStateChanged(false);
    emit saveFailed();
}

int NoteEditor::wordCount() const
{
    int total = 0;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        auto* cached = static_cast<BlockWords*>(block.userData());
        if (!cached) {
            cached = new BlockWords(countBlockWords(block.text()));
            QTextBlock(block).setUserData(cached);
        }
        total += cached->words;
    }
    return total;
}

void NoteEditor::recountWords(int from, int to)
{
    for (QTextBlock block = document()->findBlock(from); block.isValid() && block.position() <= to;
         block = block.next())
        block.setUserData(new BlockWords(countBlockWords(block.text())));
}

int NoteEditor::countWords(const QString& text)
{
    // Parts between runs of white space, as a split on "\s+" counts them (ASCII white space only).
    int count = 0;
    bool inWord = false;
    for (const QChar ch : text) {
        const char16_t u = ch.unicode();
        const bool space = u == u' ' || u == u'\t' || u == u'\n' || u == u'\r' || u == u'\v' || u == u'\f';
        if (space) {
            inWord = false;
        } else if (!inWord) {
            inWord = true;
            ++count;
        }
    }
    return count;
}

QString NoteEditor::attachmentSizeText(qint64 bytes)
{
    if (bytes / 1024.0 < 1024.0)
        return tr("%1 KB").arg(QString::number(bytes / 1024.0, 'f', 1));
    return tr("%1 MB").arg(QString::number(bytes / 1048576.0, 'f', 1));
}

// ---------------------------------------------------------------------------------------------
// Format state

EditorFormatState NoteEditor::formatState() const
{
    EditorFormatState state;
    const QTextCursor cursor = textCursor();
    const QTextCharFormat chars = cursor.charFormat();
    const QTextBlock block = cursor.block();
    const QTextBlockFormat blockFormat = block.blockFormat();
    state.bold = chars.fontWeight() >= 700;
    state.italic = chars.fontItalic();
    state.underline = chars.fontUnderline();
    state.strike = chars.fontStrikeOut();
    state.code = isCodeFormat(chars);
    state.heading = headingOf(blockFormat);
    state.listType = listTypeOf(block);
    state.codeBlock = blockFormat.hasProperty(CodeBlockProperty);
    state.blockquote = blockFormat.boolProperty(BlockquoteProperty);
    state.inTable = cursor.currentTable() != nullptr;
    state.alignment = blockFormat.alignment() & Qt::AlignHorizontal_Mask;
    if (!state.alignment)
        state.alignment = Qt::AlignLeft;
    return state;
}

void NoteEditor::emitFormatState()
{
    const EditorFormatState s = formatState();
    emit formatStateChanged(s.bold, s.italic, s.underline, s.strike, s.code, s.heading, s.listType, s.codeBlock,
                            s.blockquote, s.inTable, s.alignment);
    emit cursorFormatChanged();
}
