#include "FindBar.h"

#include "EditorToolbar.h"
#include "NoteEditor.h"
#include "PaletteFollower.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>

namespace {

bool paletteIsDark()
{
    return QApplication::palette().color(QPalette::Window).lightness() <= QColor(0x1E, 0x1E, 0x1E).lightness();
}

QToolButton* glyphButton(QWidget* parent, const QString& name, char16_t glyph, const QString& tip)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    QFont font(QStringLiteral("Material Icons"));
    font.setPixelSize(18);
    button->setFont(font);
    button->setText(QString(QChar(glyph)));
    button->setToolTip(tip);
    button->setFixedSize(26, 26);
    button->setAutoRaise(true);
    return button;
}

} // namespace

FindBar::FindBar(NoteEditor* editor, QWidget* parent)
    : QWidget(parent)
    , m_editor(editor)
    , m_field(new QLineEdit(this))
    , m_highlightTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("findBar"));
    setAttribute(Qt::WA_StyledBackground, true);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->setSpacing(4);

    m_field->setObjectName(QStringLiteral("findField"));
    m_field->setPlaceholderText(tr("Find in note"));
    m_field->setClearButtonEnabled(true);
    m_field->setMaximumWidth(320);
    m_field->installEventFilter(this);
    layout->addWidget(m_field, 1);

    m_matchCase = new QToolButton(this);
    m_matchCase->setObjectName(QStringLiteral("matchCaseButton"));
    //: The match-case toggle: an upper- and a lower-case letter.
    m_matchCase->setText(tr("Aa"));
    m_matchCase->setToolTip(tr("Match case"));
    m_matchCase->setCheckable(true);
    m_matchCase->setAutoRaise(true);
    m_matchCase->setFixedSize(26, 26);
    layout->addWidget(m_matchCase);

    m_previous = glyphButton(this, QStringLiteral("findPreviousButton"), Glyph::ArrowUp, tr("Previous match"));
    m_next = glyphButton(this, QStringLiteral("findNextButton"), Glyph::ArrowDown, tr("Next match"));
    layout->addWidget(m_previous);
    layout->addWidget(m_next);

    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("findCountLabel"));
    m_count->setStyleSheet(QStringLiteral("color: %1;").arg(QStringLiteral("#78909C")));
    m_count->setMinimumWidth(90);
    layout->addWidget(m_count);
    layout->addStretch(1);

    m_close = glyphButton(this, QStringLiteral("findCloseButton"), Glyph::Close, tr("Close"));
    layout->addWidget(m_close);

    m_highlightTimer->setSingleShot(true);
    m_highlightTimer->setInterval(kHighlightDelayMs);
    connect(m_highlightTimer, &QTimer::timeout, this, &FindBar::highlight);
    connect(m_field, &QLineEdit::textChanged, this, [this] { m_highlightTimer->start(); });
    connect(m_matchCase, &QToolButton::toggled, this, [this] {
        m_highlightTimer->stop();
        highlight();
    });
    connect(m_previous, &QToolButton::clicked, this, [this] { findNext(false); });
    connect(m_next, &QToolButton::clicked, this, [this] { findNext(true); });
    connect(m_close, &QToolButton::clicked, this, &FindBar::closeBar);
    if (m_editor) {
        // Edits move the matches; they are found again once typing pauses.
        connect(m_editor->document(), &QTextDocument::contentsChanged, this, [this] {
            if (isVisible() && !m_field->text().isEmpty())
                m_highlightTimer->start();
        });
        connect(m_editor, &QTextEdit::cursorPositionChanged, this, [this] {
            if (isVisible())
                updateCount();
        });
    }

    applyStyle();
    new PaletteFollower(this, [this] { applyStyle(); });
    hide();
}

QString FindBar::barStyleSheet(bool dark)
{
    return QStringLiteral("FindBar { background: %1; border-top: 1px solid %2; }")
        .arg(dark ? QStringLiteral("#252525") : QStringLiteral("#FFFFFF"),
             dark ? QStringLiteral("#3A3A3A") : QStringLiteral("#E0E0E0"));
}

void FindBar::applyStyle()
{
    const QString style = barStyleSheet(paletteIsDark());
    if (style == m_style)
        return;
    m_style = style;
    setStyleSheet(style);
}

void FindBar::showBar()
{
    if (m_editor) {
        const QString selected = m_editor->textCursor().selectedText();
        if (!selected.isEmpty() && !selected.contains(QChar::ParagraphSeparator)) {
            const QSignalBlocker blocker(m_field);
            m_field->setText(selected);
        }
    }
    show();
    m_field->selectAll();
    m_field->setFocus(Qt::ShortcutFocusReason);
    m_highlightTimer->stop();
    highlight();
}

void FindBar::closeBar()
{
    m_highlightTimer->stop();
    hide();
    m_matches.clear();
    if (m_editor) {
        m_editor->setExtraSelections({});
        m_editor->setFocus();
    }
}

void FindBar::highlight()
{
    m_matches.clear();
    if (!m_editor)
        return;
    const QString text = m_field->text();
    if (text.isEmpty()) {
        m_editor->setExtraSelections({});
        m_count->clear();
        return;
    }
    QTextDocument* document = m_editor->document();
    const QTextDocument::FindFlags flags =
        m_matchCase->isChecked() ? QTextDocument::FindCaseSensitively : QTextDocument::FindFlags();
    QTextCharFormat format;
    format.setBackground(QColor(paletteIsDark() ? QStringLiteral("#1A3A5C") : QStringLiteral("#E3F2FD")));
    QList<QTextEdit::ExtraSelection> selections;
    QTextCursor found = document->find(text, 0, flags);
    while (!found.isNull()) {
        m_matches.append(found.selectionStart());
        if (selections.size() < kMaxHighlights)
            selections.append({found, format});
        found = document->find(text, found, flags);
    }
    m_editor->setExtraSelections(selections);
    updateCount();
}

void FindBar::findNext(bool forward)
{
    if (!m_editor)
        return;
    const QString text = m_field->text();
    if (text.isEmpty()) {
        updateCount();
        return;
    }
    // Matches still waiting for the highlight timer are brought up to date first.
    if (m_highlightTimer->isActive()) {
        m_highlightTimer->stop();
        highlight();
    }
    QTextDocument* document = m_editor->document();
    QTextDocument::FindFlags flags =
        m_matchCase->isChecked() ? QTextDocument::FindCaseSensitively : QTextDocument::FindFlags();
    if (!forward)
        flags |= QTextDocument::FindBackward;
    QTextCursor found = document->find(text, m_editor->textCursor(), flags);
    if (found.isNull()) {
        QTextCursor wrap(document);
        if (!forward)
            wrap.movePosition(QTextCursor::End);
        found = document->find(text, wrap, flags);
    }
    if (!found.isNull()) {
        m_editor->setTextCursor(found);
        m_editor->ensureCursorVisible();
    }
    updateCount();
}

QString FindBar::countText() const
{
    return m_count->text();
}

void FindBar::updateCount()
{
    if (m_field->text().isEmpty()) {
        m_count->clear();
        return;
    }
    if (m_matches.isEmpty()) {
        m_count->setText(tr("No results"));
        return;
    }
    // A match is current when the editor has it selected; a bare cursor at a match start is not.
    const QTextCursor cursor = m_editor ? m_editor->textCursor() : QTextCursor();
    const qsizetype index = cursor.hasSelection() ? m_matches.indexOf(cursor.selectionStart()) : -1;
    if (index >= 0)
        m_count->setText(tr("%1 of %2").arg(index + 1).arg(m_matches.size()));
    else
        m_count->setText(tr("%n match(es)", nullptr, int(m_matches.size())));
}

bool FindBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_field && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            findNext(!key->modifiers().testFlag(Qt::ShiftModifier));
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            closeBar();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FindBar::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        closeBar();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}
