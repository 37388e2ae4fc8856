#include "NoteEditor.h"

#include "AttachmentRenderer.h"
#include "AttachmentRepository.h"
#include "Clock.h"
#include "DeltaDocument.h"
#include "DeltaFormat.h"
#include "FontScale.h"
#include "ImageLightbox.h"
#include "Interaction.h"
#include "LinkDialog.h"
#include "MarkdownHtml.h"
#include "Records.h"
#include "RichTextConversion.h"
#include "TableDialog.h"
#include "TextFormats.h"
#include "ThemeManager.h"
#include "UiLog.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QImage>
#include <QJsonDocument>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMimeDatabase>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocumentFragment>
#include <QTextList>
#include <QTextObjectInterface>
#include <QTextTable>
#include <QTimer>
#include <QToolTip>
#include <QUrl>
#include <algorithm>
#include <memory>
#include <utility>

using namespace TextFormats;

namespace {

constexpr QChar kObjectChar = QChar::ObjectReplacementCharacter;
// The scheme of the application's own links: norvane-notes://note/<id>, norvane-notes://attachment/<id>.
constexpr char kAppLinkScheme[] = "norvane-notes";
const char* const kNoNotePlaceholder = "Select a note or press Ctrl+N to create one";
const char* const kNotePlaceholder = "Start typing...";

// Modifiers as the key rules see them: the keypad flag says where a key sits, not what it means.
Qt::KeyboardModifiers plainModifiers(const QKeyEvent* event)
{
    return event->modifiers() & ~Qt::KeypadModifier;
}

bool isReturn(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// Ctrl+Shift shortcuts name the unshifted key; keyboards report the shifted symbol instead
// (US layout shown, the common case), so both are taken.
bool isKey(int key, Qt::Key plain, Qt::Key shifted)
{
    return key == plain || key == shifted;
}

QString listTypeOf(const QTextBlock& block)
{
    const QTextBlockFormat format = block.blockFormat();
    switch (format.marker()) {
    case QTextBlockFormat::MarkerType::Checked:
        return QStringLiteral("checked");
    case QTextBlockFormat::MarkerType::Unchecked:
        return QStringLiteral("unchecked");
    default:
        break;
    }
    const QString type = format.stringProperty(ListTypeProperty);
    if (!type.isEmpty())
        return type;
    if (const QTextList* list = block.textList())
        return list->format().style() == QTextListFormat::ListDecimal ? QStringLiteral("ordered")
                                                                        : QStringLiteral("bullet");
    return {};
}

bool isListItem(const QTextBlock& block)
{
    return block.textList() || block.blockFormat().marker() != QTextBlockFormat::MarkerType::NoMarker ||
           !block.blockFormat().stringProperty(ListTypeProperty).isEmpty();
}

int headingOf(const QTextBlockFormat& format)
{
    const int level = format.intProperty(HeadingLevelProperty);
    return level >= 1 && level <= 6 ? level : 0;
}

bool isCodeFormat(const QTextCharFormat& format)
{
    if (format.fontFixedPitch())
        return true;
    const QString monospace = QStringLiteral("monospace");
    if (format.stringProperty(QTextFormat::FontFamily).contains(monospace, Qt::CaseInsensitive))
        return true;
    const QStringList families = format.property(QTextFormat::FontFamilies).toStringList();
    return std::any_of(families.begin(), families.end(),
                       [&](const QString& family) { return family.contains(monospace, Qt::CaseInsensitive); });
}

// Blocks of one paragraph container: the same table cell, or the same frame outside tables.
bool sameContainer(const QTextBlock& a, const QTextBlock& b)
{
    if (!a.isValid() || !b.isValid())
        return false;
    const QTextCursor ca(a);
    const QTextCursor cb(b);
    QTextTable* ta = ca.currentTable();
    QTextTable* tb = cb.currentTable();
    if (ta != tb)
        return false;
    if (ta)
        return ta->cellAt(a.position()) == tb->cellAt(b.position());
    return ca.currentFrame() == cb.currentFrame();
}

bool inTable(const QTextBlock& block)
{
    return QTextCursor(block).currentTable() != nullptr;
}

bool hasAttachmentObject(const QTextBlock& block)
{
    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
        if (it.fragment().charFormat().objectType() == AttachmentObjectType)
            return true;
    }
    return false;
}

// Margins and line height from the block's kind; lines that hold a picture stay single spaced,
// as they are when loaded, or a tall image would get half its height again as line spacing.
void styleBlockFormat(QTextBlockFormat& format, const QTextBlock& block)
{
    applyBlockStyle(format);
    if (hasAttachmentObject(block))
        format.setLineHeight(0, QTextBlockFormat::SingleHeight);
}

QList<QTextBlock> blocksOf(const QTextCursor& cursor)
{
    QList<QTextBlock> blocks;
    const QTextDocument* doc = cursor.document();
    QTextBlock block = doc->findBlock(cursor.selectionStart());
    const QTextBlock last = doc->findBlock(cursor.selectionEnd());
    while (block.isValid()) {
        blocks.append(block);
        if (block == last)
            break;
        block = block.next();
    }
    return blocks;
}

// After list items changed, the items that follow are re-attached the way a load would attach
// them, so numbering restarts after a plain paragraph and joins across a new neighbour.
void relistFollowing(const QTextBlock& last)
{
    QTextBlock block = last.next();
    while (block.isValid() && isListItem(block) && sameContainer(block, last)) {
        applyList(QTextCursor(block), listTypeOf(block));
        block = block.next();
    }
}

// The character formats of a line's runs follow its kind (heading size and weight, code font).
// Each run is rebuilt from its own attributes on top of the new line format, the way loading
// builds it; what the old kind implied (bold of big headings, code of code lines) is dropped.
void restyleBlockText(const QTextBlock& block, const QTextBlockFormat& oldFormat, const QTextBlockFormat& newFormat)
{
    const QTextCharFormat oldLine = lineCharFormat(oldFormat);
    const QTextCharFormat newLine = lineCharFormat(newFormat);
    QTextCursor cursor(block);
    cursor.setBlockCharFormat(newLine);
    if (oldLine == newLine)
        return;
    const bool dropBold = headingOf(oldFormat) && headingStyle(headingOf(oldFormat)).weight >= 700;
    const bool dropCode = oldFormat.hasProperty(CodeBlockProperty);

    struct Run
    {
        int start;
        int length;
        QTextCharFormat format;
    };
    QList<Run> runs;
    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (!fragment.isValid() || fragment.charFormat().objectType() != QTextFormat::NoObject)
            continue;
        QJsonObject attributes = charFormatToCharAttributes(fragment.charFormat());
        if (dropBold)
            attributes.remove(QStringLiteral("bold"));
        if (dropCode)
            attributes.remove(QStringLiteral("code"));
        QTextCharFormat format = newLine;
        format.merge(charAttributesToCharFormat(attributes));
        runs.append({fragment.position(), fragment.length(), format});
    }
    for (const Run& run : std::as_const(runs)) {
        cursor.setPosition(run.start);
        cursor.setPosition(run.start + run.length, QTextCursor::KeepAnchor);
        cursor.setCharFormat(run.format);
    }
}

QTextCharFormat charFormatAt(const QTextDocument* doc, int position)
{
    const QTextBlock block = doc->findBlock(position);
    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (fragment.contains(position))
            return fragment.charFormat();
    }
    return {};
}

// A block's content as runs of text with their formats; object characters travel as text with their
// object format. Unlike a document fragment this never carries list or block structure along.
struct Run
{
    QString text;
    QTextCharFormat format;
};

QList<Run> blockRuns(const QTextBlock& block)
{
    QList<Run> runs;
    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (fragment.isValid())
            runs.append({fragment.text(), fragment.charFormat()});
    }
    return runs;
}

void insertRuns(QTextCursor& cursor, const QList<Run>& runs)
{
    for (const Run& run : runs)
        cursor.insertText(run.text, run.format);
}

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

bool isWordChar(QChar ch)
{
    return ch.isLetterOrNumber() || ch == QLatin1Char('_');
}

bool insideWord(const QTextCursor& cursor)
{
    const QString text = cursor.block().text();
    const int at = cursor.positionInBlock();
    return at > 0 && at < text.size() && isWordChar(text.at(at - 1)) && isWordChar(text.at(at));
}

void clearCodeFormatting(QTextCharFormat& format, const QTextCharFormat& line)
{
    format.clearProperty(QTextFormat::FontFamily);
    format.clearProperty(QTextFormat::FontFamilies);
    format.clearProperty(QTextFormat::FontFixedPitch);
    format.clearProperty(QTextFormat::FontStyleHint);
    format.clearForeground();
    format.clearBackground();
    if (line.hasProperty(QTextFormat::FontPixelSize))
        format.setProperty(QTextFormat::FontPixelSize, line.property(QTextFormat::FontPixelSize));
    if (line.hasProperty(QTextFormat::ForegroundBrush))
        format.setForeground(line.foreground());
    if (format.isAnchor())
        format.setForeground(QColor(QLatin1String(kLinkColor)));
}

QTextCharFormat linkFormat(QTextCharFormat base, const QString& url)
{
    base.merge(charAttributesToCharFormat(QJsonObject{{QStringLiteral("link"), url}}));
    return base;
}

QTextCharFormat withoutLink(QTextCharFormat format)
{
    format.setAnchor(false);
    format.clearProperty(QTextFormat::AnchorHref);
    format.clearProperty(QTextFormat::AnchorName);
    format.clearProperty(QTextFormat::TextUnderlineStyle);
    format.clearProperty(QTextFormat::FontUnderline);
    format.clearForeground();
    return format;
}

// Dividers run across the text width; tables too large to build stay one object character and
// show as a small labelled box, so they are visible and still saved unchanged.
class EmbedRenderer : public QObject, public QTextObjectInterface
{
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)

public:
    using QObject::QObject;

    QSizeF intrinsicSize(QTextDocument* doc, int posInDocument, const QTextFormat& format) override
    {
        if (format.objectType() == DividerObjectType) {
            const QTextBlockFormat block = doc->findBlock(posInDocument).blockFormat();
            const qreal available = doc->textWidth() > 0 ? doc->textWidth() - 2 * doc->documentMargin() : 400;
            // A little short of the line, so the rule never wraps onto a line of its own.
            const qreal width = available - block.leftMargin() - block.rightMargin() - 4;
            return QSizeF(std::max<qreal>(width, 24), FontScale::scaled(16));
        }
        const QFontMetrics metrics(QGuiApplication::font());
        return QSizeF(metrics.horizontalAdvance(tableLabel()) + 24, metrics.height() + 12);
    }

    void drawObject(QPainter* painter, const QRectF& rect, QTextDocument*, int, const QTextFormat& format) override
    {
        painter->save();
        const bool dark = isDarkPalette();
        if (format.objectType() == DividerObjectType) {
            painter->setPen(QPen(QColor(dark ? 0x4A : 0xD0, dark ? 0x4D : 0xD4, dark ? 0x52 : 0xDA), 1));
            const qreal y = std::floor(rect.center().y()) + 0.5;
            painter->drawLine(QPointF(rect.left(), y), QPointF(rect.right(), y));
        } else {
            painter->setRenderHint(QPainter::Antialiasing, true);
            painter->setPen(QColor(dark ? QStringLiteral("#3A3A3A") : QStringLiteral("#E0E0E0")));
            painter->setBrush(QColor(dark ? QStringLiteral("#2A2D31") : QStringLiteral("#ECEEF1")));
            const QRectF box = rect.adjusted(0.5, 0.5, -0.5, -2.5);
            painter->drawRoundedRect(box, 6, 6);
            painter->setFont(QGuiApplication::font());
            painter->setPen(QColor(dark ? QStringLiteral("#C4C6CF") : QStringLiteral("#44474E")));
            painter->drawText(box, Qt::AlignCenter, tableLabel());
        }
        painter->restore();
    }

private:
    static QString tableLabel() { return NoteEditor::tr("Table (too large to show)"); }
};

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
        return QString::number(bytes / 1024.0, 'f', 1) + QStringLiteral(" KB");
    return QString::number(bytes / 1048576.0, 'f', 1) + QStringLiteral(" MB");
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

// ---------------------------------------------------------------------------------------------
// Character formatting

void NoteEditor::toggleBold()
{
    toggleCharProperty(QTextFormat::FontWeight);
}

void NoteEditor::toggleItalic()
{
    toggleCharProperty(QTextFormat::FontItalic);
}

void NoteEditor::toggleUnderline()
{
    toggleCharProperty(QTextFormat::TextUnderlineStyle);
}

void NoteEditor::toggleStrikethrough()
{
    toggleCharProperty(QTextFormat::FontStrikeOut);
}

void NoteEditor::toggleCharProperty(int property)
{
    if (isReadOnly())
        return;
    const QTextCharFormat current = textCursor().charFormat();
    QTextCharFormat change;
    switch (property) {
    case QTextFormat::FontWeight:
        change.setFontWeight(current.fontWeight() >= 700 ? QFont::Normal : QFont::Bold);
        break;
    case QTextFormat::FontItalic:
        change.setFontItalic(!current.fontItalic());
        break;
    case QTextFormat::TextUnderlineStyle:
        change.setFontUnderline(!current.fontUnderline());
        break;
    case QTextFormat::FontStrikeOut:
        change.setFontStrikeOut(!current.fontStrikeOut());
        break;
    default:
        return;
    }
    QTextCursor cursor = textCursor();
    if (cursor.hasSelection()) {
        cursor.mergeCharFormat(change);
    } else {
        // Inside a word the whole word changes; at a word boundary only what is typed next.
        if (insideWord(cursor)) {
            QTextCursor word = cursor;
            word.select(QTextCursor::WordUnderCursor);
            word.mergeCharFormat(change);
        }
        mergeCurrentCharFormat(change);
    }
    emitFormatState();
}

void NoteEditor::toggleInlineCode()
{
    if (isReadOnly())
        return;
    QTextCursor cursor = textCursor();
    const bool isCode = isCodeFormat(cursor.charFormat());
    if (!isCode) {
        const QTextCharFormat code = inlineCodeFormat();
        if (cursor.hasSelection()) {
            cursor.mergeCharFormat(code);
        } else {
            if (insideWord(cursor)) {
                QTextCursor word = cursor;
                word.select(QTextCursor::WordUnderCursor);
                word.mergeCharFormat(code);
            }
            mergeCurrentCharFormat(code);
        }
        emitFormatState();
        return;
    }

    // Switching code off has to remove properties, which merging cannot do.
    const auto clear = [](QTextCharFormat& format, const QTextBlock& block) {
        clearCodeFormatting(format, lineCharFormat(block.blockFormat()));
    };
    if (cursor.hasSelection()) {
        applyToSelectionFragments(cursor, [&](QTextCharFormat& format) { clear(format, cursor.block()); });
    } else {
        if (insideWord(cursor)) {
            QTextCursor word = cursor;
            word.select(QTextCursor::WordUnderCursor);
            applyToSelectionFragments(word, [&](QTextCharFormat& format) { clear(format, cursor.block()); });
        }
        QTextCharFormat typing = textCursor().charFormat();
        clear(typing, cursor.block());
        setCurrentCharFormat(typing);
    }
    emitFormatState();
}

void NoteEditor::applyToSelectionFragments(QTextCursor cursor, const std::function<void(QTextCharFormat&)>& change)
{
    const int start = cursor.selectionStart();
    const int end = cursor.selectionEnd();
    struct Run
    {
        int start;
        int end;
        QTextCharFormat format;
    };
    QList<Run> runs;
    for (QTextBlock block = document()->findBlock(start); block.isValid() && block.position() < end;
         block = block.next()) {
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid() || fragment.charFormat().objectType() != QTextFormat::NoObject)
                continue;
            const int from = std::max(start, fragment.position());
            const int to = std::min(end, fragment.position() + fragment.length());
            if (from >= to)
                continue;
            QTextCharFormat format = fragment.charFormat();
            change(format);
            runs.append({from, to, format});
        }
    }
    QTextCursor edit(document());
    edit.beginEditBlock();
    for (const Run& run : std::as_const(runs)) {
        edit.setPosition(run.start);
        edit.setPosition(run.end, QTextCursor::KeepAnchor);
        edit.setCharFormat(run.format);
    }
    edit.endEditBlock();
}

// ---------------------------------------------------------------------------------------------
// Block formatting

void NoteEditor::changeBlockKind(const std::function<void(QTextBlockFormat&)>& change)
{
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    for (const QTextBlock& block : blocksOf(cursor)) {
        const QTextBlockFormat old = block.blockFormat();
        QTextBlockFormat format = old;
        change(format);
        styleBlockFormat(format, block);
        if (format == old)
            continue;
        QTextCursor(block).setBlockFormat(format);
        restyleBlockText(block, old, format);
    }
    cursor.endEditBlock();

    // What is typed next follows the new line format, not a format remembered from before.
    QTextCursor fresh = textCursor();
    const int anchor = fresh.anchor();
    const int position = fresh.position();
    fresh.setPosition(anchor);
    fresh.setPosition(position, QTextCursor::KeepAnchor);
    setTextCursor(fresh);
    emitFormatState();
}

void NoteEditor::setHeadingLevel(int level)
{
    if (isReadOnly())
        return;
    changeBlockKind([level](QTextBlockFormat& format) {
        if (level >= 1 && level <= 6)
            format.setProperty(HeadingLevelProperty, level);
        else
            format.clearProperty(HeadingLevelProperty);
    });
}

void NoteEditor::toggleList(const QString& type)
{
    if (isReadOnly() || type.isEmpty())
        return;
    QTextCursor cursor = textCursor();
    const QList<QTextBlock> blocks = blocksOf(cursor);
    const QString current = listTypeOf(blocks.first());
    // A ticked item counts as a check-list item, so the check-list toggle takes it out of the list.
    const bool off = current == type || (type == QLatin1String("unchecked") && current == QLatin1String("checked"));
    cursor.beginEditBlock();
    for (const QTextBlock& block : blocks) {
        // Lines inside table cells carry no line attributes.
        if (!inTable(block))
            applyList(QTextCursor(block), off ? QString() : type);
    }
    relistFollowing(blocks.last());
    cursor.endEditBlock();
    emitFormatState();
}

void NoteEditor::toggleBlockProperty(int property)
{
    if (isReadOnly() || (property != CodeBlockProperty && property != BlockquoteProperty))
        return;
    QTextCursor cursor = textCursor();
    QList<QTextBlock> blocks = blocksOf(cursor);
    blocks.erase(std::remove_if(blocks.begin(), blocks.end(), inTable), blocks.end());
    if (blocks.isEmpty())
        return;
    const auto has = [property](const QTextBlock& block) {
        const QTextBlockFormat format = block.blockFormat();
        return property == CodeBlockProperty ? format.hasProperty(property) : format.boolProperty(property);
    };
    const bool allHave = std::all_of(blocks.begin(), blocks.end(), has);

    cursor.beginEditBlock();
    for (const QTextBlock& block : std::as_const(blocks)) {
        const QTextBlockFormat old = block.blockFormat();
        if (!allHave && isListItem(block))
            applyList(QTextCursor(block), QString());
        QTextBlockFormat format = block.blockFormat();
        if (allHave) {
            format.clearProperty(property);
        } else {
            // The block kinds exclude each other.
            format.clearProperty(HeadingLevelProperty);
            format.clearProperty(CodeBlockProperty);
            format.clearProperty(BlockquoteProperty);
            format.setProperty(property, true);
        }
        styleBlockFormat(format, block);
        QTextCursor(block).setBlockFormat(format);
        restyleBlockText(block, old, format);
    }
    relistFollowing(blocks.last());
    cursor.endEditBlock();

    QTextCursor fresh = textCursor();
    const int anchor = fresh.anchor();
    const int position = fresh.position();
    fresh.setPosition(anchor);
    fresh.setPosition(position, QTextCursor::KeepAnchor);
    setTextCursor(fresh);
    emitFormatState();
}

void NoteEditor::setAlignment(Qt::Alignment alignment)
{
    if (isReadOnly())
        return;
    QTextEdit::setAlignment(alignment);
    emitFormatState();
}

void NoteEditor::insertDivider()
{
    if (isReadOnly())
        return;
    QTextCursor cursor = textCursor();
    const QTextBlockFormat plain = lineAttributesToBlockFormat({});
    const QTextCharFormat plainChars = lineCharFormat(plain);
    cursor.beginEditBlock();
    cursor.clearSelection();
    if (!cursor.block().text().isEmpty()) {
        cursor.movePosition(QTextCursor::EndOfBlock);
        cursor.insertBlock(plain, plainChars);
    } else {
        applyList(cursor, QString());
        cursor.setBlockFormat(plain);
        cursor.setBlockCharFormat(plainChars);
    }
    cursor.insertText(QString(kObjectChar),
                      embedCharFormat(QLatin1String(kDividerEmbedKey), QStringLiteral("hr")));
    cursor.insertBlock(plain, plainChars);
    cursor.endEditBlock();
    setTextCursor(cursor);
}

// ---------------------------------------------------------------------------------------------
// Painting

void NoteEditor::paintEvent(QPaintEvent* event)
{
    QTextEdit::paintEvent(event);
    // Quoted lines get a bar in their left margin, so a quote reads as one, not as an indent.
    const QRect visible = viewport()->rect();
    const QPoint offset(horizontalScrollBar()->value(), verticalScrollBar()->value());
    QTextBlock block = cursorForPosition(QPoint(0, 0)).block();
    if (!block.isValid())
        return;
    QAbstractTextDocumentLayout* layout = document()->documentLayout();
    QPainter painter(viewport());
    const QColor bar = isDarkPalette() ? QColor(0x4A, 0x4D, 0x52) : QColor(0xB0, 0xBE, 0xC5);
    for (; block.isValid(); block = block.next()) {
        const QRectF rect = layout->blockBoundingRect(block).translated(-offset);
        if (rect.top() > visible.bottom())
            break;
        const QTextBlockFormat format = block.blockFormat();
        if (!format.boolProperty(BlockquoteProperty) || inTable(block))
            continue;
        const qreal x = rect.left() + std::max<qreal>(format.leftMargin() - 10, 0);
        painter.fillRect(QRectF(x, rect.top() + format.topMargin(), 3,
                                rect.height() - format.topMargin() - format.bottomMargin()),
                         bar);
    }
}

// ---------------------------------------------------------------------------------------------
// Keys

bool NoteEditor::event(QEvent* event)
{
    // Our own editing keys win over window shortcuts bound to the same keys while the editor has focus.
    if (event->type() == QEvent::ShortcutOverride && !isReadOnly() &&
        isEditorShortcut(static_cast<QKeyEvent*>(event))) {
        event->accept();
        return true;
    }
    return QTextEdit::event(event);
}

bool NoteEditor::handlesShortcut(const QKeySequence& key) const
{
    if (key.count() != 1)
        return false;
    QKeyEvent event(QEvent::ShortcutOverride, key[0].key(), key[0].keyboardModifiers());
    return isEditorShortcut(&event);
}

bool NoteEditor::isEditorShortcut(QKeyEvent* event) const
{
    const int key = event->key();
    const Qt::KeyboardModifiers mods = plainModifiers(event);
    if (mods == Qt::ControlModifier) {
        return (key >= Qt::Key_0 && key <= Qt::Key_3) || key == Qt::Key_B || key == Qt::Key_I || key == Qt::Key_U ||
               key == Qt::Key_QuoteLeft || key == Qt::Key_L || key == Qt::Key_W;
    }
    if (mods == (Qt::ControlModifier | Qt::ShiftModifier)) {
        return isKey(key, Qt::Key_7, Qt::Key_Ampersand) || isKey(key, Qt::Key_8, Qt::Key_Asterisk) ||
               isKey(key, Qt::Key_9, Qt::Key_ParenLeft) || isKey(key, Qt::Key_QuoteLeft, Qt::Key_AsciiTilde) ||
               key == Qt::Key_B || key == Qt::Key_X || key == Qt::Key_D || key == Qt::Key_K;
    }
    if (mods == Qt::AltModifier)
        return key == Qt::Key_Up || key == Qt::Key_Down;
    return false;
}

void NoteEditor::keyPressEvent(QKeyEvent* event)
{
    if (isReadOnly()) {
        QTextEdit::keyPressEvent(event);
        return;
    }
    if (handleListEnter(event) || handleTableTab(event) || handleCtrlKey(event) || handleCtrlShiftKey(event) ||
        handleAltKey(event)) {
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Backspace && plainModifiers(event) == Qt::NoModifier &&
        !textCursor().hasSelection() && textCursor().atBlockStart() && isListItem(textCursor().block())) {
        if (handleFirstBlockBackspace()) {
            event->accept();
            return;
        }
        // The default Backspace at the start of a list item takes the block out of its list but
        // leaves the check marker and our list type behind, which would still save as a list item.
        QTextCursor group = textCursor();
        group.beginEditBlock();
        QTextEdit::keyPressEvent(event);
        const QTextBlock block = textCursor().block();
        if (!block.textList() && isListItem(block)) {
            applyList(QTextCursor(block), QString());
            relistFollowing(block);
        }
        group.endEditBlock();
        return;
    }
    QTextEdit::keyPressEvent(event);
}

bool NoteEditor::handleListEnter(QKeyEvent* event)
{
    if (!isReturn(event->key()) || plainModifiers(event) != Qt::NoModifier)
        return false;
    QTextCursor cursor = textCursor();
    const QTextBlock block = cursor.block();
    if (cursor.hasSelection() || !isListItem(block))
        return false;

    if (block.text().isEmpty()) {
        // Enter on an empty item leaves the list.
        cursor.beginEditBlock();
        applyList(cursor, QString());
        relistFollowing(block);
        cursor.endEditBlock();
        emitFormatState();
        return true;
    }
    if (!cursor.atBlockStart())
        return false;

    // At the start of an item the item moves down and an empty plain line opens above it.
    cursor.beginEditBlock();
    QTextEdit::keyPressEvent(event);
    const QTextBlock lower = textCursor().block();
    const QTextBlock above = lower.previous();
    if (above.isValid() && above.text().isEmpty()) {
        applyList(QTextCursor(above), QString());
        relistFollowing(above);
    }
    cursor.endEditBlock();
    if (above.isValid() && above.text().isEmpty())
        setTextCursor(QTextCursor(above));
    emitFormatState();
    return true;
}

bool NoteEditor::handleFirstBlockBackspace()
{
    QTextCursor cursor = textCursor();
    const QTextBlock block = cursor.block();
    const QTextBlock next = block.next();
    if (!cursor.atBlockStart() || !block.text().isEmpty() || !isListItem(block) || block != document()->firstBlock() ||
        !next.isValid() || !sameContainer(block, next))
        return false;

    QTextBlockFormat nextFormat = next.blockFormat();
    nextFormat.setObjectIndex(-1);
    const QTextCharFormat nextChars = next.charFormat();
    const QString nextType = listTypeOf(next);

    cursor.beginEditBlock();
    cursor.setPosition(block.position());
    cursor.setPosition(next.position(), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    // The surviving block gets the following block's formats and list type back, whatever the merge did.
    cursor.setBlockFormat(nextFormat);
    cursor.setBlockCharFormat(nextChars);
    applyList(cursor, nextType);
    relistFollowing(cursor.block());
    cursor.endEditBlock();
    setTextCursor(cursor);
    emitFormatState();
    return true;
}

bool NoteEditor::handleTableTab(QKeyEvent* event)
{
    const int key = event->key();
    const Qt::KeyboardModifiers mods = plainModifiers(event);
    const bool tab = key == Qt::Key_Tab && mods == Qt::NoModifier;
    const bool backtab = key == Qt::Key_Backtab;
    if (!tab && !backtab)
        return false;
    QTextCursor cursor = textCursor();
    QTextTable* table = cursor.currentTable();
    if (!table)
        return false;

    const QTextTableCell cell = table->cellAt(cursor);
    int row = cell.row();
    int column = cell.column();
    if (tab) {
        if (column + cell.columnSpan() < table->columns()) {
            column += cell.columnSpan();
        } else {
            column = 0;
            ++row;
            if (row >= table->rows())
                table->appendRows(1);
        }
    } else {
        if (column > 0) {
            --column;
        } else if (row > 0) {
            --row;
            column = table->columns() - 1;
        }
    }
    const QTextTableCell target = table->cellAt(row, column);
    setTextCursor(target.firstCursorPosition());
    return true;
}

bool NoteEditor::handleCtrlKey(QKeyEvent* event)
{
    if (plainModifiers(event) != Qt::ControlModifier)
        return false;
    switch (event->key()) {
    case Qt::Key_0:
    case Qt::Key_1:
    case Qt::Key_2:
    case Qt::Key_3:
        setHeadingLevel(event->key() - Qt::Key_0);
        return true;
    case Qt::Key_B:
        toggleBold();
        return true;
    case Qt::Key_I:
        toggleItalic();
        return true;
    case Qt::Key_U:
        toggleUnderline();
        return true;
    case Qt::Key_QuoteLeft:
        toggleInlineCode();
        return true;
    case Qt::Key_L: {
        QTextCursor cursor = textCursor();
        cursor.movePosition(QTextCursor::StartOfBlock);
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        setTextCursor(cursor);
        return true;
    }
    case Qt::Key_W: {
        QTextCursor cursor = textCursor();
        if (!cursor.hasSelection())
            cursor.movePosition(QTextCursor::PreviousWord, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        setTextCursor(cursor);
        return true;
    }
    default:
        return false;
    }
}

bool NoteEditor::handleCtrlShiftKey(QKeyEvent* event)
{
    if (plainModifiers(event) != (Qt::ControlModifier | Qt::ShiftModifier))
        return false;
    const int key = event->key();
    if (isKey(key, Qt::Key_7, Qt::Key_Ampersand))
        toggleList(QStringLiteral("ordered"));
    else if (isKey(key, Qt::Key_8, Qt::Key_Asterisk))
        toggleList(QStringLiteral("bullet"));
    else if (isKey(key, Qt::Key_9, Qt::Key_ParenLeft))
        toggleList(QStringLiteral("unchecked"));
    else if (key == Qt::Key_B)
        toggleBlockProperty(BlockquoteProperty);
    else if (isKey(key, Qt::Key_QuoteLeft, Qt::Key_AsciiTilde))
        toggleBlockProperty(CodeBlockProperty);
    else if (key == Qt::Key_X)
        toggleStrikethrough();
    else if (key == Qt::Key_D)
        duplicateBlock();
    else if (key == Qt::Key_K)
        deleteBlock();
    else
        return false;
    return true;
}

bool NoteEditor::handleAltKey(QKeyEvent* event)
{
    if (plainModifiers(event) != Qt::AltModifier || (event->key() != Qt::Key_Up && event->key() != Qt::Key_Down))
        return false;
    moveBlock(event->key() == Qt::Key_Up);
    return true;
}

void NoteEditor::duplicateBlock()
{
    QTextCursor cursor = textCursor();
    const QTextBlock block = cursor.block();
    const int column = cursor.positionInBlock();
    const QList<Run> content = blockRuns(block);

    QTextCursor insert(block);
    insert.beginEditBlock();
    insert.movePosition(QTextCursor::EndOfBlock);
    insert.insertBlock(block.blockFormat(), block.charFormat());
    const int copyStart = insert.position();
    insertRuns(insert, content);
    insert.endEditBlock();

    QTextCursor inCopy(document());
    inCopy.setPosition(copyStart + std::min(column, insert.block().length() - 1));
    setTextCursor(inCopy);
}

void NoteEditor::deleteBlock()
{
    QTextCursor cursor = textCursor();
    const QTextBlock block = cursor.block();
    const QTextBlock next = block.next();
    QTextCursor remove(document());
    remove.beginEditBlock();
    if (next.isValid() && sameContainer(block, next)) {
        // The following block survives the merge with its own formats.
        remove.setPosition(block.position());
        remove.setPosition(next.position(), QTextCursor::KeepAnchor);
        remove.removeSelectedText();
        relistFollowing(remove.block().previous().isValid() ? remove.block().previous() : remove.block());
    } else {
        // The last block of its container keeps its paragraph, only the text goes.
        remove.setPosition(block.position());
        remove.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        remove.removeSelectedText();
    }
    remove.endEditBlock();
    setTextCursor(remove);
    emitFormatState();
}

void NoteEditor::moveBlock(bool up)
{
    QTextCursor cursor = textCursor();
    const QTextBlock current = cursor.block();
    const QTextBlock neighbour = up ? current.previous() : current.next();
    if (!neighbour.isValid() || !sameContainer(current, neighbour))
        return;

    struct Content
    {
        QList<Run> runs;
        QTextBlockFormat format;
        QTextCharFormat chars;
        QString listType;
    };
    const auto capture = [](const QTextBlock& block) {
        QTextBlockFormat format = block.blockFormat();
        format.setObjectIndex(-1);
        return Content{blockRuns(block), format, block.charFormat(), listTypeOf(block)};
    };
    const auto replace = [this](int blockNumber, const Content& content) {
        QTextCursor edit(document()->findBlockByNumber(blockNumber));
        edit.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        edit.removeSelectedText();
        insertRuns(edit, content.runs);
        edit.setBlockFormat(content.format);
        edit.setBlockCharFormat(content.chars);
    };

    const int column = cursor.positionInBlock();
    const int currentNumber = current.blockNumber();
    const int neighbourNumber = neighbour.blockNumber();
    const Content moving = capture(current);
    const Content other = capture(neighbour);
    const int earlier = std::min(currentNumber, neighbourNumber);
    const int later = std::max(currentNumber, neighbourNumber);

    QTextCursor group(document());
    group.beginEditBlock();
    // The later block first, so the earlier one's position stays put.
    replace(later, later == neighbourNumber ? moving : other);
    replace(earlier, earlier == neighbourNumber ? moving : other);
    applyList(QTextCursor(document()->findBlockByNumber(earlier)), earlier == neighbourNumber ? moving.listType
                                                                                                : other.listType);
    applyList(QTextCursor(document()->findBlockByNumber(later)), later == neighbourNumber ? moving.listType
                                                                                            : other.listType);
    relistFollowing(document()->findBlockByNumber(later));
    group.endEditBlock();

    const QTextBlock moved = document()->findBlockByNumber(neighbourNumber);
    QTextCursor place(moved);
    place.setPosition(moved.position() + std::min(column, std::max(moved.length() - 1, 0)));
    setTextCursor(place);
    emitFormatState();
}

// ---------------------------------------------------------------------------------------------
// Mouse, tooltips and menus

QString NoteEditor::attachmentIdAtPosition(int position) const
{
    if (position < 0 || position >= document()->characterCount() || document()->characterAt(position) != kObjectChar)
        return {};
    const QTextCharFormat format = charFormatAt(document(), position);
    if (format.objectType() != AttachmentObjectType)
        return {};
    const QString url = format.stringProperty(EmbedValueProperty);
    const QLatin1String prefix(kAttachmentUrlPrefix);
    return url.startsWith(prefix) ? url.mid(prefix.size()) : url;
}

QString NoteEditor::attachmentIdAt(const QPoint& viewportPos) const
{
    const QPointF documentPos = viewportPos + QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value());
    const int hit = document()->documentLayout()->hitTest(documentPos, Qt::ExactHit);
    if (hit < 0)
        return {};
    // A click on the right half of an object lands after it.
    const QString at = attachmentIdAtPosition(hit);
    return at.isEmpty() ? attachmentIdAtPosition(hit - 1) : at;
}

std::optional<Attachment> NoteEditor::attachmentRecord(const QString& attachmentId) const
{
    if (!m_attachments || attachmentId.isEmpty())
        return std::nullopt;
    return m_attachments->attachmentById(attachmentId);
}

void NoteEditor::selectBlockAt(const QPoint& viewportPos)
{
    QTextCursor cursor = cursorForPosition(viewportPos);
    cursor.movePosition(QTextCursor::StartOfBlock);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    setTextCursor(cursor);
}

void NoteEditor::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        if (event->modifiers().testFlag(Qt::ControlModifier)) {
            const QString href = anchorAt(event->pos());
            if (!href.isEmpty()) {
                openLink(href);
                event->accept();
                return;
            }
        }
        if (m_lastDoubleClickMs >= 0 &&
            Clock::nowMs() - m_lastDoubleClickMs <= QApplication::doubleClickInterval() &&
            (event->pos() - m_lastDoubleClickPos).manhattanLength() < 4) {
            m_lastDoubleClickMs = -1;
            // The text control keeps a triple-click timer of its own; letting it see the press ends
            // that, so the next ordinary click is not taken for another triple-click.
            QTextEdit::mousePressEvent(event);
            selectBlockAt(event->pos());
            event->accept();
            return;
        }
    }
    QTextEdit::mousePressEvent(event);
}

void NoteEditor::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_lastDoubleClickMs = Clock::nowMs();
        m_lastDoubleClickPos = event->pos();
        if (m_attachments) {
            const QString id = attachmentIdAt(event->pos());
            if (!id.isEmpty() && openAttachmentOrImage(id)) {
                event->accept();
                return;
            }
        }
    }
    QTextEdit::mouseDoubleClickEvent(event);
}

void NoteEditor::mouseMoveEvent(QMouseEvent* event)
{
    QTextEdit::mouseMoveEvent(event);
    Qt::CursorShape shape = Qt::IBeamCursor;
    if (m_attachments && !attachmentIdAt(event->pos()).isEmpty())
        shape = Qt::PointingHandCursor;
    else if (event->modifiers().testFlag(Qt::ControlModifier) && !anchorAt(event->pos()).isEmpty())
        shape = Qt::PointingHandCursor;
    if (viewport()->cursor().shape() != shape)
        viewport()->setCursor(shape);
}

bool NoteEditor::viewportEvent(QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QTextEdit::viewportEvent(event);

    const auto* help = static_cast<QHelpEvent*>(event);
    if (m_attachments) {
        if (const std::optional<Attachment> record = attachmentRecord(attachmentIdAt(help->pos()))) {
            QToolTip::showText(help->globalPos(),
                               tr("%1 (%2)\n(Double-click to open, right-click for more)")
                                   .arg(record->filename, attachmentSizeText(record->sizeBytes)),
                               viewport());
            return true;
        }
    }
    const QString href = anchorAt(help->pos());
    if (!href.isEmpty()) {
        QToolTip::showText(help->globalPos(), tr("%1\n(Ctrl+click to open)").arg(href), viewport());
        return true;
    }
    QToolTip::hideText();
    event->ignore();
    return true;
}

void NoteEditor::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = createContextMenuAt(event->pos());
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
    event->accept();
}

QMenu* NoteEditor::createContextMenuAt(const QPoint& viewportPos)
{
    // A right-click inside the selection keeps it, so Copy and Cut act on it.
    const QTextCursor clicked = cursorForPosition(viewportPos);
    const QTextCursor current = textCursor();
    if (!current.hasSelection() || clicked.position() < current.selectionStart() ||
        clicked.position() > current.selectionEnd())
        setTextCursor(clicked);

    if (m_attachments) {
        const QString id = attachmentIdAt(viewportPos);
        if (const std::optional<Attachment> record = attachmentRecord(id)) {
            auto* menu = new QMenu(this);
            menu->setObjectName(QStringLiteral("attachmentMenu"));
            const QString fileName = record->filename;
            connect(menu->addAction(tr("Open")), &QAction::triggered, this, [this, id] { openAttachmentOrImage(id); });
            connect(menu->addAction(tr("Save As…")), &QAction::triggered, this,
                    [this, id, fileName] { saveAttachmentAs(id, fileName); });
            connect(menu->addAction(tr("Copy File")), &QAction::triggered, this, [this, id] { copyAttachmentFile(id); });
            menu->addSeparator();
            QAction* remove = menu->addAction(tr("Remove Attachment"));
            remove->setEnabled(!isReadOnly());
            connect(remove, &QAction::triggered, this, [this, id] { removeAttachmentAtCursor(id); });
            return menu;
        }
    }

    const QString href = anchorAt(viewportPos);
    if (!href.isEmpty()) {
        auto* menu = new QMenu(this);
        menu->setObjectName(QStringLiteral("linkMenu"));
        connect(menu->addAction(tr("Open Link")), &QAction::triggered, this, [this, href] { openLink(href); });
        connect(menu->addAction(tr("Copy Link Address")), &QAction::triggered, this,
                [href] { QGuiApplication::clipboard()->setText(href); });
        menu->addSeparator();
        QAction* edit = menu->addAction(tr("Edit Link…"));
        QAction* remove = menu->addAction(tr("Remove Link"));
        edit->setEnabled(!isReadOnly());
        remove->setEnabled(!isReadOnly());
        connect(edit, &QAction::triggered, this, &NoteEditor::editLinkDialog);
        connect(remove, &QAction::triggered, this, &NoteEditor::removeLinkAtCursor);
        return menu;
    }

    if (textCursor().currentTable()) {
        auto* menu = new QMenu(this);
        menu->setObjectName(QStringLiteral("tableMenu"));
        addTableMenu(menu);
        return menu;
    }

    QMenu* menu = createStandardContextMenu(viewportPos + QPoint(horizontalScrollBar()->value(),
                                                                 verticalScrollBar()->value()));
    menu->setParent(this, menu->windowFlags());
    menu->setObjectName(QStringLiteral("standardMenu"));
    return menu;
}

void NoteEditor::addTableMenu(QMenu* menu)
{
    // Each action looks the table up again: the document may have changed since the menu opened.
    const auto withCell = [this](const std::function<void(QTextTable*, const QTextTableCell&)>& action) {
        return [this, action] {
            if (isReadOnly())
                return;
            QTextCursor cursor = textCursor();
            QTextTable* table = cursor.currentTable();
            if (!table)
                return;
            action(table, table->cellAt(cursor));
        };
    };
    connect(menu->addAction(tr("Insert Row Above")), &QAction::triggered, this,
            withCell([](QTextTable* table, const QTextTableCell& cell) { table->insertRows(cell.row(), 1); }));
    connect(menu->addAction(tr("Insert Row Below")), &QAction::triggered, this,
            withCell([](QTextTable* table, const QTextTableCell& cell) {
                table->insertRows(cell.row() + cell.rowSpan(), 1);
            }));
    menu->addSeparator();
    connect(menu->addAction(tr("Insert Column Before")), &QAction::triggered, this,
            withCell([](QTextTable* table, const QTextTableCell& cell) { table->insertColumns(cell.column(), 1); }));
    connect(menu->addAction(tr("Insert Column After")), &QAction::triggered, this,
            withCell([](QTextTable* table, const QTextTableCell& cell) {
                table->insertColumns(cell.column() + cell.columnSpan(), 1);
            }));
    menu->addSeparator();
    connect(menu->addAction(tr("Delete Row")), &QAction::triggered, this,
            withCell([this](QTextTable* table, const QTextTableCell& cell) {
                if (table->rows() <= 1)
                    deleteTableAtCursor();
                else
                    table->removeRows(cell.row(), 1);
            }));
    connect(menu->addAction(tr("Delete Column")), &QAction::triggered, this,
            withCell([this](QTextTable* table, const QTextTableCell& cell) {
                if (table->columns() <= 1)
                    deleteTableAtCursor();
                else
                    table->removeColumns(cell.column(), 1);
            }));
    menu->addSeparator();
    connect(menu->addAction(tr("Delete Table")), &QAction::triggered, this,
            withCell([this](QTextTable*, const QTextTableCell&) { deleteTableAtCursor(); }));
    for (QAction* action : menu->actions())
        action->setEnabled(!isReadOnly());
}

void NoteEditor::deleteTableAtCursor()
{
    QTextTable* table = textCursor().currentTable();
    if (!table)
        return;
    QTextCursor remove(document());
    remove.beginEditBlock();
    remove.setPosition(table->firstPosition() - 1);
    remove.setPosition(table->lastPosition() + 1, QTextCursor::KeepAnchor);
    remove.removeSelectedText();
    // The empty paragraph the table insertion added after the table has nothing to stand next to now.
    const QTextBlock after = remove.block();
    const QTextBlock before = after.previous();
    if (before.isValid() && isTableSpacer(after) && after.text().isEmpty() && before.text().isEmpty() &&
        sameContainer(before, after)) {
        remove.setPosition(before.position() + before.length() - 1);
        remove.setPosition(after.position(), QTextCursor::KeepAnchor);
        remove.removeSelectedText();
    }
    remove.endEditBlock();
    setTextCursor(remove);
    emitFormatState();
}

// ---------------------------------------------------------------------------------------------
// Links

void NoteEditor::openLink(const QString& url)
{
    if (url.isEmpty())
        return;
    QUrl target(url);
    if (target.scheme().isEmpty())
        target = QUrl(QStringLiteral("https://") + url);
    const QString scheme = target.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("mailto")) {
        QDesktopServices::openUrl(target);
        return;
    }
    // Our own links stay inside the application.
    if (scheme == QLatin1String(kAppLinkScheme)) {
        const QString id = target.path().section(QLatin1Char('/'), 1, 1);
        if (target.host() == QLatin1String("note") && !id.isEmpty())
            emit noteLinkActivated(id);
        else if (target.host() == QLatin1String("attachment") && !id.isEmpty())
            openAttachmentOrImage(id);
        return;
    }
    // A note may come from an import or from someone else: a link that hands its address to another
    // program (file:, smb:, a registered protocol handler) runs only once the user has read it.
    if (Interaction::question(this, tr("Open Link"),
                              tr("This link is opened by another program:\n\n%1\n\nOpen it?").arg(url),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes)
        QDesktopServices::openUrl(target);
}

std::optional<NoteEditor::LinkRange> NoteEditor::linkAt(int position) const
{
    const QTextBlock block = document()->findBlock(position);
    struct Piece
    {
        int start;
        int end;
        QString href;
        QString text;
    };
    QList<Piece> pieces;
    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        const QTextCharFormat format = fragment.charFormat();
        pieces.append({fragment.position(), fragment.position() + fragment.length(),
                       format.isAnchor() ? format.anchorHref() : QString(), fragment.text()});
    }
    // The run containing the position, or the one ending at it (the cursor sits after a click's character).
    qsizetype index = -1;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        if (!pieces[i].href.isEmpty() && position >= pieces[i].start && position < pieces[i].end) {
            index = i;
            break;
        }
    }
    if (index < 0) {
        for (qsizetype i = 0; i < pieces.size(); ++i) {
            if (!pieces[i].href.isEmpty() && position == pieces[i].end) {
                index = i;
                break;
            }
        }
    }
    if (index < 0)
        return std::nullopt;
    qsizetype first = index;
    qsizetype last = index;
    const QString href = pieces[index].href;
    while (first > 0 && pieces[first - 1].href == href && pieces[first - 1].end == pieces[first].start)
        --first;
    while (last + 1 < pieces.size() && pieces[last + 1].href == href && pieces[last].end == pieces[last + 1].start)
        ++last;
    LinkRange range;
    range.start = pieces[first].start;
    range.end = pieces[last].end;
    range.href = href;
    for (qsizetype i = first; i <= last; ++i)
        range.text += pieces[i].text;
    return range;
}

void NoteEditor::insertLink(const QString& text, const QString& url)
{
    if (isReadOnly() || url.trimmed().isEmpty())
        return;
    QTextCursor cursor = textCursor();
    QTextCharFormat base = cursor.charFormat();
    cursor.beginEditBlock();
    cursor.insertText(text.isEmpty() ? url : text, linkFormat(withoutLink(base), url));
    cursor.endEditBlock();
    setTextCursor(cursor);
    // Typing on after the link is plain text again.
    setCurrentCharFormat(withoutLink(base));
}

void NoteEditor::editLinkAtCursor(const QString& text, const QString& url)
{
    if (isReadOnly())
        return;
    const std::optional<LinkRange> range = linkAt(textCursor().position());
    if (!range)
        return;
    QTextCursor cursor(document());
    cursor.setPosition(range->start);
    cursor.setPosition(range->end, QTextCursor::KeepAnchor);
    setTextCursor(cursor);
    if (url.trimmed().isEmpty()) {
        removeLinkAtCursor();
        return;
    }
    insertLink(text, url);
}

void NoteEditor::removeLinkAtCursor()
{
    if (isReadOnly())
        return;
    const std::optional<LinkRange> range = linkAt(textCursor().position());
    if (!range)
        return;
    QTextCursor cursor(document());
    cursor.setPosition(range->start);
    cursor.setPosition(range->end, QTextCursor::KeepAnchor);
    applyToSelectionFragments(cursor, [](QTextCharFormat& format) { format = withoutLink(format); });
    emitFormatState();
}

void NoteEditor::insertLinkDialog()
{
    openLinkDialog(false);
}

void NoteEditor::editLinkDialog()
{
    openLinkDialog(true);
}

void NoteEditor::openLinkDialog(bool edit)
{
    if (isReadOnly())
        return;
    const QTextCursor cursor = textCursor();
    auto* dialog = new LinkDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (edit) {
        const std::optional<LinkRange> range = linkAt(cursor.position());
        if (!range) {
            delete dialog;
            return;
        }
        dialog->setWindowTitle(tr("Edit Link"));
        dialog->setLinkText(range->text);
        dialog->setUrl(range->href);
    } else {
        dialog->setWindowTitle(tr("Insert Link"));
        QString selected = cursor.selectedText();
        selected.replace(QChar::ParagraphSeparator, QLatin1Char(' '));
        dialog->setLinkText(selected);
        dialog->setUrl(QStringLiteral("https://"));
    }
    const int generation = m_loadGeneration;
    const int anchor = cursor.anchor();
    const int position = cursor.position();
    connect(dialog, &QDialog::accepted, this, [this, dialog, edit, generation, anchor, position] {
        // A note loaded meanwhile makes the remembered selection meaningless.
        if (generation != m_loadGeneration)
            return;
        const int last = std::max(document()->characterCount() - 1, 0);
        QTextCursor restore(document());
        restore.setPosition(std::clamp(anchor, 0, last));
        restore.setPosition(std::clamp(position, 0, last), QTextCursor::KeepAnchor);
        setTextCursor(restore);
        if (edit)
            editLinkAtCursor(dialog->linkText(), dialog->url());
        else
            insertLink(dialog->linkText(), dialog->url());
        setFocus();
    });
    dialog->open();
}

// ---------------------------------------------------------------------------------------------
// Tables

void NoteEditor::insertTableDialog()
{
    if (isReadOnly() || textCursor().currentTable())
        return;
    auto* dialog = new TableDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    const int generation = m_loadGeneration;
    connect(dialog, &QDialog::accepted, this, [this, dialog, generation] {
        if (generation == m_loadGeneration)
            insertTable(dialog->rows(), dialog->columns(), dialog->includeHeader());
    });
    dialog->open();
}

void NoteEditor::insertTable(int rows, int columns, bool header)
{
    QTextCursor cursor = textCursor();
    if (isReadOnly() || rows < 1 || columns < 1 || cursor.currentTable())
        return;
    cursor.beginEditBlock();
    cursor.clearSelection();
    if (!cursor.block().text().isEmpty()) {
        const QTextBlockFormat plain = lineAttributesToBlockFormat({});
        cursor.movePosition(QTextCursor::EndOfBlock);
        cursor.insertBlock(plain, lineCharFormat(plain));
    }
    QTextTable* table = insertNoteTable(cursor, rows, columns, tableFormat(header));
    if (table && header) {
        const QColor background = QGuiApplication::palette().color(QPalette::Active, QPalette::AlternateBase);
        for (int column = 0; column < columns; ++column) {
            QTextTableCell cell = table->cellAt(0, column);
            QTextTableCellFormat cellFormat = cell.format().toTableCellFormat();
            cellFormat.setBackground(background);
            cellFormat.setFontWeight(700);
            cell.setFormat(cellFormat);
            QTextCursor cellCursor = cell.firstCursorPosition();
            QTextCharFormat bold = cellCursor.blockCharFormat();
            bold.setFontWeight(700);
            cellCursor.setBlockCharFormat(bold);
        }
    }
    cursor.endEditBlock();
    if (table)
        setTextCursor(table->cellAt(0, 0).firstCursorPosition());
    setFocus();
    emitFormatState();
}

// ---------------------------------------------------------------------------------------------
// Attachments

void NoteEditor::insertAttachmentDialog()
{
    if (isReadOnly() || !m_attachments)
        return;
    const QString path = Interaction::getOpenFileName(
        this, tr("Insert Attachment"), QString(),
        tr("All Files (*.*);;Images (*.png *.jpg *.jpeg *.gif *.webp *.bmp *.svg)"));
    if (!path.isEmpty())
        insertAttachmentFromPath(path);
}

bool NoteEditor::insertAttachmentFromPath(const QString& path)
{
    if (!m_attachments || isReadOnly())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcUi) << "insertAttachmentFromPath: can't open" << path;
        return false;
    }
    const QByteArray bytes = file.readAll();
    file.close();

    Attachment attachment;
    attachment.id = newId();
    attachment.noteId = m_noteId;
    attachment.filename = QFileInfo(path).fileName();
    attachment.mimeType = QMimeDatabase().mimeTypeForFile(path).name();
    attachment.sizeBytes = bytes.size();
    attachment.createdAt = Clock::nowUtc();
    attachment.syncStatus = SyncStatus::Pending;
    if (!m_attachments->saveFile(attachment.id, bytes)) {
        qCWarning(lcUi) << "insertAttachmentFromPath: saveFile failed" << attachment.id;
        return false;
    }
    if (!m_attachments->insert(attachment)) {
        qCWarning(lcUi) << "insertAttachmentFromPath: insert failed" << attachment.id;
        QFile::remove(m_attachments->filePath(attachment.id));
        return false;
    }

    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    cursor.insertText(QString(kObjectChar),
                      embedCharFormat(QLatin1String(kAttachmentEmbedKey), attachmentUrl(attachment.id)));
    QTextBlockFormat format = cursor.blockFormat();
    styleBlockFormat(format, cursor.block());
    cursor.setBlockFormat(format);
    cursor.endEditBlock();
    setTextCursor(cursor);
    return true;
}

QString NoteEditor::safeAttachmentFileName(const QString& fileName, const QString& attachmentId)
{
    // Names come from imports and from the server: only the last path component is ever used.
    QString name = fileName;
    const qsizetype cut = std::max(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')));
    if (cut >= 0)
        name = name.mid(cut + 1);
    name.remove(QChar(0));
    if (name.trimmed().isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return attachmentId + QStringLiteral(".bin");
    return name;
}

QString NoteEditor::attachmentTempDirectory(const QString& attachmentId)
{
    return QDir::tempPath() + QStringLiteral("/norvane-notes/") + attachmentId;
}

bool NoteEditor::writeTemporaryCopy(const QString& attachmentId, const QString& fileName, QString* path)
{
    // The id names a folder; one that could step out of ours is refused.
    if (attachmentId.isEmpty() || attachmentId.contains(QLatin1Char('/')) ||
        attachmentId.contains(QLatin1Char('\\')) || attachmentId == QLatin1String(".") ||
        attachmentId == QLatin1String("..")) {
        qCWarning(lcUi) << "openAttachment: refusing attachment id" << attachmentId;
        return false;
    }
    if (!m_attachments)
        return false;
    const QByteArray bytes = m_attachments->fileData(attachmentId);
    if (bytes.isEmpty())
        return false;
    const QString directory = attachmentTempDirectory(attachmentId);
    QDir().mkpath(directory);
    const QString target = directory + QLatin1Char('/') + safeAttachmentFileName(fileName, attachmentId);
    // Never write through a link someone else left in the shared temporary folder.
    if (QFileInfo(target).isSymLink())
        QFile::remove(target);
    QFile file(target);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qCWarning(lcUi) << "openAttachment: failed to open temp file" << target;
        return false;
    }
    const qint64 written = file.write(bytes);
    file.close();
    if (written != bytes.size()) {
        qCWarning(lcUi) << "openAttachment: short write for" << target;
        return false;
    }
    *path = target;
    return true;
}

bool NoteEditor::openAttachment(const QString& attachmentId, const QString& fileName)
{
    QString path;
    if (!writeTemporaryCopy(attachmentId, fileName, &path))
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool NoteEditor::openAttachmentOrImage(const QString& attachmentId)
{
    const std::optional<Attachment> record = attachmentRecord(attachmentId);
    if (!record)
        return false;
    if (AttachmentRenderer::isImageAttachment(*record)) {
        QImage image;
        if (image.loadFromData(m_attachments->fileData(attachmentId))) {
            auto* lightbox = new ImageLightbox(image, record->filename, this);
            lightbox->open();
            return true;
        }
    }
    return openAttachment(attachmentId, record->filename);
}

bool NoteEditor::copyAttachmentFile(const QString& attachmentId)
{
    const std::optional<Attachment> record = attachmentRecord(attachmentId);
    QString path;
    if (!writeTemporaryCopy(attachmentId, record ? record->filename : QString(), &path))
        return false;
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(path)});
    QGuiApplication::clipboard()->setMimeData(data);
    return true;
}

void NoteEditor::saveAttachmentAs(const QString& attachmentId, const QString& fileName)
{
    if (!m_attachments)
        return;
    const QByteArray bytes = m_attachments->fileData(attachmentId);
    if (bytes.isEmpty()) {
        qCWarning(lcUi) << "saveAttachmentAs: empty/missing file for" << attachmentId;
        return;
    }
    const QString suggested = QDir::homePath() + QLatin1Char('/') + safeAttachmentFileName(fileName, attachmentId);
    const QString target = Interaction::getSaveFileName(this, tr("Save Attachment"), suggested);
    if (target.isEmpty())
        return;
    QFile file(target);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qCWarning(lcUi) << "saveAttachmentAs: open failed" << target;
        return;
    }
    if (file.write(bytes) != bytes.size())
        qCWarning(lcUi) << "saveAttachmentAs: short write for" << target;
}

void NoteEditor::removeAttachmentAtCursor(const QString& attachmentId)
{
    if (isReadOnly())
        return;
    QTextCursor cursor = textCursor();
    cursor.clearSelection();
    const int at = cursor.position();
    if (attachmentIdAtPosition(at - 1).isEmpty()) {
        cursor.setPosition(at);
        cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
    } else {
        cursor.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor);
    }
    // Only the object the menu was opened on is removed, never a neighbour by mistake.
    if (attachmentIdAtPosition(cursor.selectionStart()) != attachmentId || attachmentId.isEmpty())
        return;
    cursor.removeSelectedText();
    setTextCursor(cursor);
    // Undo brings the object back, so the file must still be there for it.
    if (!m_removedAttachments.contains(attachmentId))
        m_removedAttachments << attachmentId;
}

void NoteEditor::releaseRemovedAttachments()
{
    QStringList ids = std::exchange(m_removedAttachments, {});
    if (ids.isEmpty() || !m_attachments)
        return;
    // Whatever the text still shows (an undone removal whose save has not happened) stays.
    const QString body = m_noteId.isEmpty() ? QString() : bodyJson();
    ids.removeIf([&body](const QString& id) { return body.contains(id); });
    m_attachments->deleteUnreferenced(ids);
}

void NoteEditor::refreshAttachments()
{
    m_renderer->resetCache();
    document()->markContentsDirty(0, document()->characterCount());
    viewport()->update();
}

// ---------------------------------------------------------------------------------------------
// Clipboard and drops

bool NoteEditor::canInsertFromMimeData(const QMimeData* source) const
{
    return source->hasFormat(QLatin1String(kDeltaMimeType)) || source->hasFormat(QStringLiteral("text/markdown")) ||
           QTextEdit::canInsertFromMimeData(source);
}

void NoteEditor::insertFromMimeData(const QMimeData* source)
{
    if (isReadOnly())
        return;
    QJsonArray delta;
    if (source->hasFormat(QLatin1String(kDeltaMimeType))) {
        delta = QJsonDocument::fromJson(source->data(QLatin1String(kDeltaMimeType))).array();
    } else {
        const PasteDecision decision = decidePaste(*source);
        if (decision.route == PasteDecision::DefaultInsert) {
            QTextEdit::insertFromMimeData(source);
            return;
        }
        delta = pasteToDelta(decision);
    }
    QTextCursor cursor = textCursor();
    insertDelta(cursor, delta);
    setTextCursor(cursor);
    ensureCursorVisible();
}

QMimeData* NoteEditor::createMimeDataFromSelection() const
{
    // The text edit's own mime data only ever reports its built-in formats, so ours gets a plain one.
    const std::unique_ptr<QMimeData> standard(QTextEdit::createMimeDataFromSelection());
    auto* data = new QMimeData;
    if (standard) {
        data->setText(standard->text());
        if (standard->hasHtml())
            data->setHtml(standard->html());
    }
    const QTextCursor cursor = textCursor();
    if (cursor.hasSelection()) {
        QTextDocument copy;
        copy.setDefaultFont(document()->defaultFont());
        QTextCursor(&copy).insertFragment(cursor.selection());
        data->setData(QLatin1String(kDeltaMimeType),
                      QJsonDocument(documentToDelta(&copy)).toJson(QJsonDocument::Compact));
    }
    return data;
}

namespace {

bool hasLocalFiles(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return false;
    const QList<QUrl> urls = data->urls();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

} // namespace

void NoteEditor::dragEnterEvent(QDragEnterEvent* event)
{
    if (!isReadOnly() && m_attachments && hasLocalFiles(event->mimeData())) {
        event->acceptProposedAction();
        return;
    }
    QTextEdit::dragEnterEvent(event);
}

void NoteEditor::dragMoveEvent(QDragMoveEvent* event)
{
    if (!isReadOnly() && m_attachments && hasLocalFiles(event->mimeData())) {
        event->acceptProposedAction();
        return;
    }
    QTextEdit::dragMoveEvent(event);
}

void NoteEditor::dropEvent(QDropEvent* event)
{
    if (isReadOnly() || !m_attachments || !hasLocalFiles(event->mimeData())) {
        QTextEdit::dropEvent(event);
        return;
    }
    setTextCursor(cursorForPosition(event->position().toPoint()));
    const QList<QUrl> urls = event->mimeData()->urls();
    for (const QUrl& url : urls) {
        if (url.isLocalFile())
            insertAttachmentFromPath(url.toLocalFile());
    }
    event->acceptProposedAction();
    setFocus();
}

#include "NoteEditor.moc"
