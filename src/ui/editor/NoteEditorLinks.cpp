#include "DeltaFormat.h"
#include "Interaction.h"
#include "LinkDialog.h"
#include "NoteEditor.h"
#include "RichTextConversion.h"

#include <QDesktopServices>
#include <QTextBlock>
#include <QTextCursor>
#include <QUrl>
#include <algorithm>

namespace {

// The scheme of the application's own links: norvane-notes://note/<id>, norvane-notes://attachment/<id>.
constexpr char kAppLinkScheme[] = "norvane-notes";

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

} // namespace

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

// The whole link around the caret, selected; nothing in a read-only editor.
std::optional<QTextCursor> NoteEditor::linkUnderCursor() const
{
    if (isReadOnly())
        return std::nullopt;
    const std::optional<LinkRange> range = linkAt(textCursor().position());
    if (!range)
        return std::nullopt;
    QTextCursor cursor(document());
    cursor.setPosition(range->start);
    cursor.setPosition(range->end, QTextCursor::KeepAnchor);
    return cursor;
}

void NoteEditor::editLinkAtCursor(const QString& text, const QString& url)
{
    const std::optional<QTextCursor> cursor = linkUnderCursor();
    if (!cursor)
        return;
    setTextCursor(*cursor);
    if (url.trimmed().isEmpty()) {
        removeLinkAtCursor();
        return;
    }
    insertLink(text, url);
}

void NoteEditor::removeLinkAtCursor()
{
    const std::optional<QTextCursor> cursor = linkUnderCursor();
    if (!cursor)
        return;
    applyToSelectionFragments(*cursor, [](QTextCharFormat& format) { format = withoutLink(format); });
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
