#include "EditorToolbar.h"

#include "NoteEditor.h"
#include "TextFormats.h"

#include <QActionGroup>
#include <QComboBox>
#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QRegularExpression>
#include <QSignalBlocker>

namespace {

// The tooltip as written, shortcut included, before the window's check takes unknown keys out.
constexpr char kFullTipProperty[] = "norvFullToolTip";

class GlyphIconEngine : public QIconEngine
{
public:
    explicit GlyphIconEngine(QChar glyph)
        : m_glyph(glyph)
    {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        const QPalette palette = QGuiApplication::palette();
        QColor colour =
            palette.color(mode == QIcon::Disabled ? QPalette::Disabled : QPalette::Active, QPalette::ButtonText);
        if (mode == QIcon::Selected)
            colour = palette.color(QPalette::HighlightedText);
        QFont font(QStringLiteral("Material Icons"));
        font.setPixelSize(std::max(1, std::min(rect.width(), rect.height())));
        painter->save();
        painter->setRenderHint(QPainter::TextAntialiasing, true);
        painter->setFont(font);
        painter->setPen(colour);
        painter->drawText(rect, Qt::AlignCenter, QString(m_glyph));
        painter->restore();
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return pixmap;
    }

    QIconEngine* clone() const override { return new GlyphIconEngine(m_glyph); }

private:
    QChar m_glyph;
};

} // namespace

QIcon glyphIcon(QChar glyph)
{
    return QIcon(new GlyphIconEngine(glyph));
}

EditorToolbar::EditorToolbar(NoteEditor* editor, QWidget* parent)
    : QToolBar(parent)
    , m_editor(editor)
{
    setObjectName(QStringLiteral("editorToolbar"));
    setMovable(false);
    setFloatable(false);
    setIconSize(QSize(20, 20));
    setToolButtonStyle(Qt::ToolButtonIconOnly);

    m_bold = addFormatAction(QStringLiteral("actionBold"), Glyph::Bold, tr("Bold (Ctrl+B)"), true,
                             [](NoteEditor* e) { e->toggleBold(); });
    m_italic = addFormatAction(QStringLiteral("actionItalic"), Glyph::Italic, tr("Italic (Ctrl+I)"), true,
                               [](NoteEditor* e) { e->toggleItalic(); });
    m_underline = addFormatAction(QStringLiteral("actionUnderline"), Glyph::Underline, tr("Underline (Ctrl+U)"), true,
                                  [](NoteEditor* e) { e->toggleUnderline(); });
    m_strike = addFormatAction(QStringLiteral("actionStrikethrough"), Glyph::Strike, tr("Strikethrough (Ctrl+Shift+X)"),
                               true, [](NoteEditor* e) { e->toggleStrikethrough(); });
    m_code = addFormatAction(QStringLiteral("actionInlineCode"), Glyph::Code, tr("Inline Code (Ctrl+`)"), true,
                             [](NoteEditor* e) { e->toggleInlineCode(); });
    addSeparator();

    m_heading = new QComboBox(this);
    m_heading->setObjectName(QStringLiteral("headingCombo"));
    m_heading->setToolTip(tr("Heading Level"));
    m_heading->addItem(tr("Normal"));
    for (int level = 1; level <= 6; ++level)
        m_heading->addItem(tr("Heading %1").arg(level));
    m_heading->setFocusPolicy(Qt::NoFocus);
    connect(m_heading, &QComboBox::activated, this, [this](int index) {
        if (!m_editor)
            return;
        m_editor->setHeadingLevel(index);
        m_editor->setFocus();
    });
    addWidget(m_heading);
    addSeparator();

    m_bullet = addFormatAction(QStringLiteral("actionBulletList"), Glyph::BulletList, tr("Bullet List (Ctrl+Shift+8)"),
                               true, [](NoteEditor* e) { e->toggleList(QStringLiteral("bullet")); });
    m_numbered =
        addFormatAction(QStringLiteral("actionNumberedList"), Glyph::NumberedList, tr("Numbered List (Ctrl+Shift+7)"),
                        true, [](NoteEditor* e) { e->toggleList(QStringLiteral("ordered")); });
    m_checkbox =
        addFormatAction(QStringLiteral("actionCheckboxList"), Glyph::CheckList, tr("Checkbox List (Ctrl+Shift+9)"),
                        true, [](NoteEditor* e) { e->toggleList(QStringLiteral("unchecked")); });
    addSeparator();

    m_codeBlock = addFormatAction(QStringLiteral("actionCodeBlock"), Glyph::CodeBlock, tr("Code Block (Ctrl+Shift+`)"),
                                  true, [](NoteEditor* e) { e->toggleBlockProperty(TextFormats::CodeBlockProperty); });
    m_quote = addFormatAction(QStringLiteral("actionBlockquote"), Glyph::Quote, tr("Blockquote (Ctrl+Shift+B)"), true,
                              [](NoteEditor* e) { e->toggleBlockProperty(TextFormats::BlockquoteProperty); });
    addSeparator();

    m_alignLeft = addFormatAction(QStringLiteral("actionAlignLeft"), Glyph::AlignLeft, tr("Align Left (Ctrl+Shift+L)"),
                                  true, [](NoteEditor* e) { e->setAlignment(Qt::AlignLeft); });
    m_alignCenter =
        addFormatAction(QStringLiteral("actionAlignCenter"), Glyph::AlignCenter, tr("Align Center (Ctrl+Shift+E)"),
                        true, [](NoteEditor* e) { e->setAlignment(Qt::AlignHCenter); });
    m_alignRight =
        addFormatAction(QStringLiteral("actionAlignRight"), Glyph::AlignRight, tr("Align Right (Ctrl+Shift+R)"), true,
                        [](NoteEditor* e) { e->setAlignment(Qt::AlignRight); });
    auto* alignment = new QActionGroup(this);
    alignment->setExclusive(true);
    for (QAction* action : {m_alignLeft, m_alignCenter, m_alignRight})
        alignment->addAction(action);
    m_alignLeft->setChecked(true);
    addSeparator();

    m_link = addFormatAction(QStringLiteral("actionInsertLink"), Glyph::Link, tr("Insert Link (Ctrl+K)"), false,
                             [](NoteEditor* e) { e->insertLinkDialog(); });
    m_divider = addFormatAction(QStringLiteral("actionInsertDivider"), Glyph::Divider, tr("Insert Divider"), false,
                                [](NoteEditor* e) { e->insertDivider(); });
    m_table = addFormatAction(QStringLiteral("actionInsertTable"), Glyph::Table, tr("Insert Table (Ctrl+T)"), false,
                              [](NoteEditor* e) { e->insertTableDialog(); });
    m_attachment = addFormatAction(QStringLiteral("actionInsertAttachment"), Glyph::Attachment,
                                   tr("Insert Attachment (Ctrl+Shift+A)"), false,
                                   [](NoteEditor* e) { e->insertAttachmentDialog(); });

    if (m_editor) {
        connect(m_editor, &NoteEditor::formatStateChanged, this, &EditorToolbar::updateFormatState);
        const EditorFormatState s = m_editor->formatState();
        updateFormatState(s.bold, s.italic, s.underline, s.strike, s.code, s.heading, s.listType, s.codeBlock,
                          s.blockquote, s.inTable, s.alignment);
    }
}

NoteEditor* EditorToolbar::editor() const
{
    return m_editor;
}

QAction* EditorToolbar::addFormatAction(const QString& name, char16_t glyph, const QString& tip, bool checkable,
                                        const std::function<void(NoteEditor*)>& run)
{
    // The visible name is the tooltip without its shortcut.
    QString text = tip;
    const qsizetype paren = text.indexOf(QLatin1String(" ("));
    if (paren > 0)
        text.truncate(paren);
    QAction* action = addAction(glyphIcon(QChar(glyph)), text);
    action->setObjectName(name);
    action->setProperty(kFullTipProperty, tip);
    action->setToolTip(shownTip(tip));
    action->setCheckable(checkable);
    connect(action, &QAction::triggered, this, [this, run] {
        if (m_editor)
            run(m_editor);
    });
    if (QWidget* button = widgetForAction(action))
        button->setObjectName(name + QStringLiteral("Button"));
    return action;
}

void EditorToolbar::updateFormatState(bool bold, bool italic, bool underline, bool strike, bool code, int heading,
                                      const QString& listType, bool codeBlock, bool blockquote, bool inTable,
                                      Qt::Alignment alignment)
{
    m_bold->setChecked(bold);
    m_italic->setChecked(italic);
    m_underline->setChecked(underline);
    m_strike->setChecked(strike);
    m_code->setChecked(code);
    {
        const QSignalBlocker blocker(m_heading);
        m_heading->setCurrentIndex(heading >= 0 && heading <= 6 ? heading : 0);
    }
    m_bullet->setChecked(listType == QLatin1String("bullet"));
    m_numbered->setChecked(listType == QLatin1String("ordered"));
    m_checkbox->setChecked(listType == QLatin1String("checked") || listType == QLatin1String("unchecked"));
    m_codeBlock->setChecked(codeBlock);
    m_quote->setChecked(blockquote);
    if (alignment & Qt::AlignHCenter)
        m_alignCenter->setChecked(true);
    else if (alignment & Qt::AlignRight)
        m_alignRight->setChecked(true);
    else
        m_alignLeft->setChecked(true);
    m_table->setEnabled(!inTable);
    m_table->setToolTip(inTable ? tr("Nested tables are not supported")
                                : shownTip(m_table->property(kFullTipProperty).toString()));
    // A cell keeps text only, so the editor refuses an attachment there.
    m_attachment->setEnabled(!inTable);
    m_attachment->setToolTip(inTable ? tr("Attachments cannot go inside a table")
                                     : shownTip(m_attachment->property(kFullTipProperty).toString()));
}

void EditorToolbar::setShortcutCheck(ShortcutCheck exists)
{
    m_shortcutExists = std::move(exists);
    for (QAction* action : actions()) {
        const QString tip = action->property(kFullTipProperty).toString();
        // A disabled insert action keeps the tooltip that says why.
        if (!tip.isEmpty() && action->isEnabled())
            action->setToolTip(shownTip(tip));
    }
}

QString EditorToolbar::shownTip(const QString& tip) const
{
    static const QRegularExpression shortcut(QStringLiteral(" \\(([^()]+)\\)$"));
    const QRegularExpressionMatch match = shortcut.match(tip);
    if (!match.hasMatch() || !m_shortcutExists)
        return tip;
    const QKeySequence key(match.captured(1), QKeySequence::PortableText);
    return key.isEmpty() || m_shortcutExists(key) ? tip : tip.left(match.capturedStart());
}
