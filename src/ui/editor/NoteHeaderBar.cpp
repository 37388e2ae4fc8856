#include "NoteHeaderBar.h"

#include "EditorToolbar.h"
#include "PaletteFollower.h"
#include "Records.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>

namespace {

constexpr char kChipStyle[] = "QPushButton {  background-color: %1;  color: %3;  border: none;  border-radius: 10px;  "
                              "padding: 3px 10px 3px 8px;  font-family: 'IBM Plex Sans';  font-size: 12px;  "
                              "font-weight: 500;  text-align: left;}QPushButton:hover { background-color: %2; }";

QToolButton* iconButton(QWidget* parent, const QString& name, char16_t glyph, const QString& tip)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setIcon(glyphIcon(QChar(glyph)));
    button->setIconSize(QSize(18, 18));
    button->setFixedSize(28, 28);
    button->setAutoRaise(true);
    button->setToolTip(tip);
    return button;
}

bool paletteIsDark()
{
    return QApplication::palette().color(QPalette::Window).lightness() <= QColor(0x1E, 0x1E, 0x1E).lightness();
}

} // namespace

NoteHeaderBar::NoteHeaderBar(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("noteHeaderBar"));
    setFixedHeight(40);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 6, 10, 6);
    layout->setSpacing(4);

    m_focusToggle =
        iconButton(this, QStringLiteral("focusToggleButton"), Glyph::Sidebar, tr("Toggle sidebars (Ctrl+\\)"));
    m_focusToggle->setCheckable(true);
    connect(m_focusToggle, &QToolButton::clicked, this, [this] {
        // The owner decides; the check mark follows setFocusMode.
        m_focusToggle->setChecked(!m_focusToggle->isChecked());
        emit focusToggleClicked();
    });
    layout->addWidget(m_focusToggle);

    m_chip = new QPushButton(tr("Unorganized"), this);
    m_chip->setObjectName(QStringLiteral("notebookChip"));
    m_chip->setToolTip(tr("Open this notebook"));
    m_chip->setIcon(glyphIcon(QChar(Glyph::Folder)));
    m_chip->setIconSize(QSize(14, 14));
    m_chip->setCursor(Qt::PointingHandCursor);
    m_chip->setFlat(true);
    connect(m_chip, &QPushButton::clicked, this, &NoteHeaderBar::notebookChipClicked);
    layout->addWidget(m_chip);
    layout->addStretch(1);

    m_updated = new QLabel(this);
    m_updated->setObjectName(QStringLiteral("updatedLabel"));
    QFont mono(QStringLiteral("IBM Plex Mono"));
    mono.setPointSize(std::max(7, QApplication::font().pointSize() - 1));
    m_updated->setFont(mono);
    m_updated->setContentsMargins(0, 0, 10, 0);
    m_updated->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(m_updated);

    m_copy = iconButton(this, QStringLiteral("copyButton"), Glyph::Copy, tr("Copy…"));
    m_copy->setPopupMode(QToolButton::InstantPopup);
    // The arrow would sit on top of the glyph in a button this small.
    m_copy->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0px; }"));
    auto* copyMenu = new QMenu(m_copy);
    copyMenu->setObjectName(QStringLiteral("copyMenu"));
    connect(copyMenu->addAction(tr("Copy as Plain Text")), &QAction::triggered, this,
            &NoteHeaderBar::copyAsPlainTextRequested);
    connect(copyMenu->addAction(tr("Copy as Markdown")), &QAction::triggered, this,
            &NoteHeaderBar::copyAsMarkdownRequested);
    connect(copyMenu->addAction(tr("Copy as HTML")), &QAction::triggered, this, &NoteHeaderBar::copyAsHtmlRequested);
    m_copy->setMenu(copyMenu);
    layout->addWidget(m_copy);

    m_share = iconButton(this, QStringLiteral("shareButton"), Glyph::Share, tr("Share note"));
    connect(m_share, &QToolButton::clicked, this, &NoteHeaderBar::shareRequested);
    layout->addWidget(m_share);

    m_history = iconButton(this, QStringLiteral("historyButton"), Glyph::History, tr("Version history"));
    connect(m_history, &QToolButton::clicked, this, &NoteHeaderBar::historyRequested);
    layout->addWidget(m_history);

    m_more = iconButton(this, QStringLiteral("moreButton"), Glyph::More, tr("More actions"));
    m_more->setPopupMode(QToolButton::InstantPopup);
    m_more->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0px; }"));
    auto* moreMenu = new QMenu(m_more);
    moreMenu->setObjectName(QStringLiteral("moreMenu"));
    m_includeInTodos = moreMenu->addAction(tr("Include in To-Dos"));
    m_includeInTodos->setObjectName(QStringLiteral("includeInTodosAction"));
    m_includeInTodos->setCheckable(true);
    m_includeInTodos->setChecked(true);
    connect(m_includeInTodos, &QAction::triggered, this, &NoteHeaderBar::includeInTodosToggled);
    moreMenu->addSeparator();
    m_moveToNotebook = moreMenu->addAction(tr("Move to Notebook…"));
    connect(m_moveToNotebook, &QAction::triggered, this, &NoteHeaderBar::moveToNotebookRequested);
    connect(moreMenu->addAction(tr("Export…")), &QAction::triggered, this, &NoteHeaderBar::exportRequested);
    connect(moreMenu->addAction(tr("Print…")), &QAction::triggered, this, &NoteHeaderBar::printRequested);
    moreMenu->addSeparator();
    m_moveToTrash = moreMenu->addAction(tr("Move to Trash"));
    connect(m_moveToTrash, &QAction::triggered, this, &NoteHeaderBar::deleteRequested);
    m_more->setMenu(moreMenu);
    layout->addWidget(m_more);

    applyChipStyle();
    new PaletteFollower(this, [this] { applyChipStyle(); });
    setNoteActionsEnabled(false);
}

QString NoteHeaderBar::chipStyleSheet(bool dark)
{
    if (dark)
        return QString::fromLatin1(kChipStyle)
            .arg(QStringLiteral("#2A2D31"), QStringLiteral("#34383D"), QStringLiteral("#D7DBE0"));
    return QString::fromLatin1(kChipStyle)
        .arg(QStringLiteral("#EFF1F4"), QStringLiteral("#E4E7EC"), QStringLiteral("#2B3138"));
}

void NoteHeaderBar::applyChipStyle()
{
    const QString style = chipStyleSheet(paletteIsDark());
    if (style == m_chipStyle)
        return;
    m_chipStyle = style;
    m_chip->setStyleSheet(style);
}

void NoteHeaderBar::setNote(const Note& note)
{
    m_noteId = note.id;
    setShared(note.isShared);
    setNoteActionsEnabled(!note.id.isEmpty());
}

void NoteHeaderBar::setNotebookName(const QString& name)
{
    m_chip->setText(name.isEmpty() ? tr("Unorganized") : name);
}

void NoteHeaderBar::setUpdatedText(const QString& text)
{
    m_updated->setText(text);
}

void NoteHeaderBar::setShared(bool shared)
{
    m_share->setToolTip(shared ? tr("Manage sharing") : tr("Share note"));
}

void NoteHeaderBar::setShareAvailable(bool available)
{
    m_shareAvailable = available;
    m_share->setEnabled(available && !m_noteId.isEmpty());
}

void NoteHeaderBar::setIncludeInTodos(bool include)
{
    m_includeInTodos->setChecked(include);
}

void NoteHeaderBar::setNoteEditable(bool editable)
{
    m_moveToNotebook->setEnabled(editable);
    m_moveToTrash->setEnabled(editable);
}

void NoteHeaderBar::setNotebookChipEnabled(bool enabled)
{
    m_chip->setEnabled(enabled);
}

void NoteHeaderBar::setFocusMode(bool focusMode)
{
    m_focusToggle->setChecked(focusMode);
}

void NoteHeaderBar::clear()
{
    m_noteId.clear();
    m_chip->setText(tr("Unorganized"));
    m_updated->clear();
    setShared(false);
    setNoteActionsEnabled(false);
}

void NoteHeaderBar::setNoteActionsEnabled(bool enabled)
{
    for (QWidget* widget : {static_cast<QWidget*>(m_chip), static_cast<QWidget*>(m_copy),
                            static_cast<QWidget*>(m_history), static_cast<QWidget*>(m_more)})
        widget->setEnabled(enabled);
    // Sharing needs more than a note: an account with a group, and a note of the user's own.
    m_share->setEnabled(enabled && m_shareAvailable);
}

QString NoteHeaderBar::chipText() const
{
    return m_chip->text();
}

QString NoteHeaderBar::updatedText() const
{
    return m_updated->text();
}
