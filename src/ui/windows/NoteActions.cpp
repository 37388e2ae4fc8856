#include "NoteActions.h"

#include "AppState.h"
#include "AttachmentRepository.h"
#include "Clock.h"
#include "Database.h"
#include "Export.h"
#include "ExportDialog.h"
#include "Interaction.h"
#include "MoveToNotebookDialog.h"
#include "NoteEditor.h"
#include "NoteRepository.h"
#include "NotebookRepository.h"
#include "Records.h"
#include "RecoveryFiles.h"
#include "RelativeDate.h"
#include "ShareMembersDialog.h"
#include "SnapshotRepository.h"
#include "StatusBar.h"
#include "TextFormats.h"
#include "UiLog.h"
#include "VersionHistoryDialog.h"
#include "ZipArchive.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QSet>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <memory>
#include <optional>

namespace NoteActions {

namespace {

constexpr int kMessageMs = 3000;

bool editorHasNote(const NoteEditor* editor)
{
    return editor && !editor->noteId().isEmpty();
}

QString printTitle(AppState* state, const QString& noteId)
{
    const std::optional<Note> note = state->notes()->noteById(noteId);
    const QString title = note ? note->title() : QString();
    return title.isEmpty() ? QCoreApplication::translate("NoteActions", "Untitled") : title;
}

// The editor lays text out in pixels for the screen; a printer at 1200 dpi would shrink pixel
// fonts to specks, so every pixel size becomes the point size it shows at on a 96 dpi screen.
void convertPixelFonts(QTextDocument* document)
{
    auto toPoints = [](QFont font) {
        if (font.pixelSize() >= 1)
            font.setPointSizeF(font.pixelSize() * 72.0 / 96.0);
        return font;
    };
    document->setDefaultFont(toPoints(document->defaultFont()));
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid() || fragment.charFormat().font().pixelSize() < 1)
                continue;
            QTextCharFormat format = fragment.charFormat();
            format.setFont(toPoints(format.font()), QTextCharFormat::FontPropertiesAll);
            QTextCursor cursor(document);
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(format);
        }
    }
}

std::unique_ptr<QTextDocument> printableDocument(NoteEditor* editor)
{
    std::unique_ptr<QTextDocument> copy(editor->document()->clone());
    copy->setDocumentMargin(36);
    convertPixelFonts(copy.get());
    return copy;
}

// The exported file and the note's attachment files in one ZIP: the note at the top level, the
// files under "attachments/" by their own (made safe) names.
ExportResult exportBundle(AppState* state, const Note& note, const QString& zipPath, ExportFormat format)
{
    QTemporaryDir staging;
    if (!staging.isValid())
        return {false, zipPath,
                QCoreApplication::translate("NoteActions", "Failed to write file: %1").arg(staging.errorString())};
    const QString inner = suggestedFileName(note, format);
    const ExportResult exported = exportNote(note, staging.filePath(inner), format);
    if (!exported.ok)
        return exported;

    ZipWriter zip(zipPath);
    auto fail = [&] {
        return ExportResult{
            false, zipPath,
            QCoreApplication::translate("NoteActions", "Failed to write file: %1").arg(zip.errorString())};
    };
    if (!zip.open())
        return fail();
    QFile main(exported.path);
    if (!main.open(QIODevice::ReadOnly) || !zip.addFileFromDevice(inner, main))
        return fail();
    QSet<QString> used;
    for (const Attachment& attachment : state->attachments()->attachmentsForNote(note.id)) {
        QFile file(state->attachments()->filePath(attachment.id));
        if (!file.open(QIODevice::ReadOnly))
            continue; // not downloaded yet: the note still exports
        QString name = NoteEditor::safeAttachmentFileName(attachment.filename, attachment.id);
        if (used.contains(name))
            name = attachment.id + QLatin1Char('-') + name;
        used.insert(name);
        if (!zip.addFileFromDevice(QStringLiteral("attachments/") + name, file))
            return fail();
    }
    if (!zip.finish())
        return fail();
    return {true, zipPath, QString()};
}

} // namespace

SaveResult saveEditorNote(AppState* state, NoteEditor* editor, QObject* source)
{
    if (!editorHasNote(editor) || editor->isReadOnly() || editor->isSaved())
        return SaveResult::Unchanged;
    const QString noteId = editor->noteId();
    std::optional<Note> note = state->notes()->noteById(noteId);
    if (!note) {
        // Deleted for good elsewhere: the text stays unsaved, so leaving the note keeps it in a
        // recovery file, which brings it back as a note of its own.
        editor->markSaveFailed();
        return SaveResult::Failed;
    }
    const QString body = editor->bodyJson();
    if (body == note->body)
        return SaveResult::Unchanged;
    note->body = body;
    note->updatedAt = Clock::nowUtc();
    note->modifiedAt = note->updatedAt;
    note->version += 1;
    note->syncStatus = SyncStatus::Pending;
    if (!state->notes()->update(*note)) {
        qCWarning(lcUi) << "Saving the open note failed:" << noteId;
        editor->markSaveFailed();
        return SaveResult::Failed;
    }
    emit state->noteUpdatedExternally(noteId, source);
    return SaveResult::Saved;
}

bool secureEditorNote(AppState* state, NoteEditor* editor, QObject* source)
{
    if (!editorHasNote(editor) || editor->isReadOnly() || editor->isSaved())
        return true;
    if (saveEditorNote(state, editor, source) != SaveResult::Failed)
        return true;
    return !RecoveryFiles::write(state->database()->path(), editor->noteId(), editor->bodyJson()).isEmpty();
}

QString saveFailedMessage()
{
    return QCoreApplication::translate("NoteActions", "Could not save this note (the database is locked or read-only). "
                                                      "Your text is kept here and saving is retried.");
}

int offerRecoveredText(QWidget* parent, AppState* state)
{
    int restored = 0;
    for (const RecoveredText& text : RecoveryFiles::pending(state->database()->path())) {
        std::optional<Note> note = state->notes()->noteById(text.noteId);
        if (note && note->body == text.body) {
            RecoveryFiles::remove(text); // stored after all
            continue;
        }
        Note probe;
        probe.body = text.body;
        const QString title =
            probe.title().isEmpty() ? QCoreApplication::translate("NoteActions", "Untitled") : probe.title();
        const auto answer = Interaction::question(
            parent, QCoreApplication::translate("NoteActions", "Restore Unsaved Text"),
            QCoreApplication::translate("NoteActions",
                                        "Text typed into \"%1\" on %2 could not be saved at the time. Restore it now?")
                .arg(title, QLocale().toString(text.savedAt.toLocalTime(), QLocale::ShortFormat)),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
        if (answer != QMessageBox::Yes) {
            RecoveryFiles::remove(text);
            continue;
        }
        const QDateTime now = Clock::nowUtc();
        bool stored = false;
        if (note) {
            // What is stored now stays in the history, so the restore can itself be undone.
            state->snapshots()->insert({newId(), note->id, note->version, note->body, now});
            note->body = text.body;
            note->updatedAt = note->modifiedAt = now;
            note->deletedAt.reset();
            note->version += 1;
            note->syncStatus = SyncStatus::Pending;
            stored = state->notes()->update(*note);
        } else {
            Note fresh;
            fresh.id = text.noteId;
            fresh.notebookId = state->currentNotebookId();
            fresh.body = text.body;
            fresh.createdAt = fresh.updatedAt = fresh.modifiedAt = now;
            fresh.syncStatus = SyncStatus::Pending;
            stored = state->notes()->insert(fresh);
        }
        // Not written (the database still refuses): the file stays for the next start.
        if (!stored)
            continue;
        RecoveryFiles::remove(text);
        emit state->noteUpdatedExternally(text.noteId, nullptr);
        ++restored;
    }
    return restored;
}

bool keepUnsavedTyping(AppState* state, NoteEditor* editor, const QString& noteId)
{
    if (editor->noteId() != noteId || editor->isReadOnly() || editor->isSaved())
        return false;
    const std::optional<Note> note = state->notes()->noteById(noteId);
    const QString body = editor->bodyJson();
    if (!note || body == note->body || !state->snapshots()->insertKept(noteId, body))
        return false;
    emit state->statusMessage(QObject::tr("Another device changed this note while you typed; your typing was "
                                          "kept in the note's history."));
    return true;
}

bool snapshotIfChanged(AppState* state, NoteEditor* editor, QString& lastSnapshotBody)
{
    if (!editorHasNote(editor) || editor->isReadOnly() || lastSnapshotBody.isEmpty())
        return false;
    const QString body = editor->bodyJson();
    if (body.isEmpty() || body == lastSnapshotBody)
        return false;
    const std::optional<Note> note = state->notes()->noteById(editor->noteId());
    if (!note)
        return false;
    Snapshot snapshot;
    snapshot.id = newId();
    snapshot.noteId = note->id;
    snapshot.version = note->version;
    snapshot.body = body;
    snapshot.createdAt = Clock::nowUtc();
    if (!state->snapshots()->insert(snapshot))
        return false;
    lastSnapshotBody = body;
    return true;
}

bool takeSnapshot(AppState* state, NoteEditor* editor, QObject* source, QString& lastSnapshotBody)
{
    if (!editorHasNote(editor) || editor->isReadOnly())
        return false;
    saveEditorNote(state, editor, source);
    const QString body = editor->bodyJson();
    const std::optional<Note> note = state->notes()->noteById(editor->noteId());
    if (!note || body.isEmpty())
        return false;
    const QList<Snapshot> history = state->snapshots()->snapshotsForNote(note->id);
    if (history.isEmpty() || history.first().body != body) {
        if (!state->snapshots()->insert({newId(), note->id, note->version, body, Clock::nowUtc()}))
            return false;
    }
    lastSnapshotBody = body;
    return true;
}

bool confirmMoveToTrash(QWidget* parent, AppState* state, const QString& noteId)
{
    const std::optional<Note> note = state->notes()->noteById(noteId);
    QString title = note ? note->title() : QString();
    if (title.isEmpty())
        title = QCoreApplication::translate("NoteActions", "this note");
    return Interaction::question(parent, QCoreApplication::translate("NoteActions", "Move to Trash"),
                                 QCoreApplication::translate("NoteActions", "Move \"%1\" to Trash?").arg(title),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void exportNote(QWidget* parent, AppState* state, const QString& noteId, StatusBar* statusBar)
{
    const std::optional<Note> note = noteId.isEmpty() ? std::nullopt : state->notes()->noteById(noteId);
    if (!note) {
        if (statusBar)
            statusBar->showMessage(QCoreApplication::translate("NoteActions", "No note selected"), kMessageMs);
        return;
    }
    ExportDialog dialog(parent);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const ExportFormat format = dialog.format();
    const bool bundle = dialog.includeAttachments();
    QString suggested = suggestedFileName(*note, format);
    if (bundle)
        suggested = QFileInfo(suggested).completeBaseName() + QStringLiteral(".zip");
    const QString path =
        Interaction::getSaveFileName(parent, QCoreApplication::translate("NoteActions", "Export Note"), suggested);
    if (path.isEmpty())
        return;
    const ExportResult result = bundle ? exportBundle(state, *note, path, format) : exportNote(*note, path, format);
    if (!result.ok) {
        Interaction::warning(parent, QCoreApplication::translate("NoteActions", "Export Failed"), result.error);
        return;
    }
    if (statusBar)
        statusBar->showMessage(QCoreApplication::translate("NoteActions", "Exported to %1").arg(path), kMessageMs);
}

namespace {

// The title to print under, or nothing (with the reason on the status bar) when no note is open.
std::optional<QString> printJobTitle(AppState* state, NoteEditor* editor, StatusBar* statusBar)
{
    if (editorHasNote(editor))
        return printTitle(state, editor->noteId());
    if (statusBar)
        statusBar->showMessage(QCoreApplication::translate("NoteActions", "No note selected"), kMessageMs);
    return std::nullopt;
}

} // namespace

void printNote(QWidget* parent, AppState* state, NoteEditor* editor, StatusBar* statusBar)
{
    const std::optional<QString> title = printJobTitle(state, editor, statusBar);
    if (!title)
        return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(*title);
    QPrintDialog dialog(&printer, parent);
    dialog.setWindowTitle(QCoreApplication::translate("NoteActions", "Print Note"));
    if (dialog.exec() != QDialog::Accepted)
        return;
    printableDocument(editor)->print(&printer);
    if (statusBar)
        statusBar->showMessage(QCoreApplication::translate("NoteActions", "Printed %1").arg(*title), kMessageMs);
}

void printPreview(QWidget* parent, AppState* state, NoteEditor* editor, StatusBar* statusBar)
{
    const std::optional<QString> title = printJobTitle(state, editor, statusBar);
    if (!title)
        return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(*title);
    const std::unique_ptr<QTextDocument> document = printableDocument(editor);
    QPrintPreviewDialog dialog(&printer, parent);
    dialog.setWindowTitle(QCoreApplication::translate("NoteActions", "Print Preview — %1").arg(*title));
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                     [&document](QPrinter* target) { document->print(target); });
    dialog.exec();
}

void copyAsPlainText(NoteEditor* editor)
{
    if (editorHasNote(editor))
        QApplication::clipboard()->setText(editor->toPlainText());
}

void copyAsMarkdown(NoteEditor* editor)
{
    if (!editorHasNote(editor))
        return;
    const QString body = editor->bodyJson();
    if (!body.isEmpty())
        QApplication::clipboard()->setText(convertBody(body, ExportFormat::Markdown));
}

void copyAsHtml(NoteEditor* editor)
{
    if (!editorHasNote(editor))
        return;
    const QString body = editor->bodyJson();
    if (body.isEmpty())
        return;
    auto* data = new QMimeData;
    data->setHtml(convertBody(body, ExportFormat::Html));
    data->setText(convertBody(body, ExportFormat::Markdown));
    QApplication::clipboard()->setMimeData(data);
}

bool mayEdit(const Note& note)
{
    return note.ownerId.isEmpty() || note.permission == QLatin1String("edit");
}

bool moveToNotebook(QWidget* parent, AppState* state, const QString& noteId)
{
    const std::optional<Note> note = noteId.isEmpty() ? std::nullopt : state->notes()->noteById(noteId);
    if (!note || !mayEdit(*note))
        return false;
    MoveToNotebookDialog dialog(state->notebooks()->allNotebooks(), note->notebookId, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    const QString target = dialog.selectedNotebookId();
    if (target.isEmpty() || target == note->notebookId)
        return false;
    return state->notes()->moveToNotebook(noteId, target);
}

QWidget* openVersionHistory(QWidget* parent, AppState* state, const QString& noteId)
{
    if (noteId.isEmpty() || !state->notes()->noteById(noteId))
        return nullptr;
    auto* dialog = new VersionHistoryDialog(state, noteId, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setModal(false);
    dialog->show();
    return dialog;
}

QMenu* addFormatMenu(QMenuBar* bar, NoteEditor* editor, FormatMenu kind)
{
    QMenu* menu = bar->addMenu(QCoreApplication::translate("NoteActions", "F&ormat"));
    const bool full = kind == FormatMenu::Full;
    auto add = [menu, editor](const QString& text, const QKeySequence& shortcut, auto apply) {
        QAction* action = menu->addAction(text);
        action->setShortcut(shortcut);
        QObject::connect(action, &QAction::triggered, editor, [editor, apply] { apply(editor); });
    };
    add(QCoreApplication::translate("NoteActions", "Bold"), QKeySequence::Bold, [](NoteEditor* e) { e->toggleBold(); });
    add(QCoreApplication::translate("NoteActions", "Italic"), QKeySequence::Italic,
        [](NoteEditor* e) { e->toggleItalic(); });
    add(QCoreApplication::translate("NoteActions", "Underline"), QKeySequence::Underline,
        [](NoteEditor* e) { e->toggleUnderline(); });
    add(QCoreApplication::translate("NoteActions", "Strikethrough"), QKeySequence(QStringLiteral("Ctrl+Shift+X")),
        [](NoteEditor* e) { e->toggleStrikethrough(); });
    if (full)
        add(QCoreApplication::translate("NoteActions", "Code"), QKeySequence(QStringLiteral("Ctrl+`")),
            [](NoteEditor* e) { e->toggleInlineCode(); });
    menu->addSeparator();
    for (int level = 1; level <= 3; ++level) {
        add(QCoreApplication::translate("NoteActions", "Heading %1").arg(level),
            QKeySequence(QStringLiteral("Ctrl+%1").arg(level)), [level](NoteEditor* e) { e->setHeadingLevel(level); });
    }
    add(QCoreApplication::translate("NoteActions", "Normal Text"), QKeySequence(QStringLiteral("Ctrl+0")),
        [](NoteEditor* e) { e->setHeadingLevel(0); });
    menu->addSeparator();
    add(QCoreApplication::translate("NoteActions", "Bullet List"), QKeySequence(QStringLiteral("Ctrl+Shift+8")),
        [](NoteEditor* e) { e->toggleList(QStringLiteral("bullet")); });
    add(QCoreApplication::translate("NoteActions", "Numbered List"), QKeySequence(QStringLiteral("Ctrl+Shift+7")),
        [](NoteEditor* e) { e->toggleList(QStringLiteral("ordered")); });
    add(QCoreApplication::translate("NoteActions", "Checkbox List"), QKeySequence(QStringLiteral("Ctrl+Shift+9")),
        [](NoteEditor* e) { e->toggleList(QStringLiteral("unchecked")); });
    menu->addSeparator();
    add(QCoreApplication::translate("NoteActions", "Code Block"), QKeySequence(QStringLiteral("Ctrl+Shift+`")),
        [](NoteEditor* e) { e->toggleBlockProperty(TextFormats::CodeBlockProperty); });
    add(QCoreApplication::translate("NoteActions", "Blockquote"), QKeySequence(QStringLiteral("Ctrl+Shift+B")),
        [](NoteEditor* e) { e->toggleBlockProperty(TextFormats::BlockquoteProperty); });
    menu->addSeparator();
    if (full) {
        add(QCoreApplication::translate("NoteActions", "Align Left"), QKeySequence(QStringLiteral("Ctrl+Shift+L")),
            [](NoteEditor* e) { e->setAlignment(Qt::AlignLeft); });
        add(QCoreApplication::translate("NoteActions", "Align Center"), QKeySequence(QStringLiteral("Ctrl+Shift+E")),
            [](NoteEditor* e) { e->setAlignment(Qt::AlignHCenter); });
        add(QCoreApplication::translate("NoteActions", "Align Right"), QKeySequence(QStringLiteral("Ctrl+Shift+R")),
            [](NoteEditor* e) { e->setAlignment(Qt::AlignRight); });
        menu->addSeparator();
        add(QCoreApplication::translate("NoteActions", "Insert Link..."), QKeySequence(QStringLiteral("Ctrl+K")),
            [](NoteEditor* e) { e->insertLinkDialog(); });
    }
    add(QCoreApplication::translate("NoteActions", "Insert Divider"), QKeySequence(),
        [](NoteEditor* e) { e->insertDivider(); });
    add(QCoreApplication::translate("NoteActions", "Insert Table..."), QKeySequence(QStringLiteral("Ctrl+T")),
        [](NoteEditor* e) { e->insertTableDialog(); });
    return menu;
}

bool windowHasShortcut(const QWidget* window, const NoteEditor* editor, const QKeySequence& key)
{
    for (const QAction* action : window->findChildren<QAction*>()) {
        if (action->shortcuts().contains(key))
            return true;
    }
    return editor && editor->handlesShortcut(key);
}

QString updatedText(const Note& note)
{
    return QCoreApplication::translate("NoteActions", "Updated %1").arg(relativeDate(note.updatedAt));
}

namespace {

QWidget* showShareDialog(QWidget* parent, AppState* state, NorvAccount::SharingBackend* backend, const QString& itemId,
                         const NorvAccount::ShareDialogTexts& texts)
{
    auto* dialog = new NorvAccount::ShareMembersDialog(state->account(), backend, itemId, texts, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setModal(false);
    QObject::connect(dialog, &NorvAccount::ShareMembersDialog::sharingChanged, state, &AppState::sharesChanged);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    return dialog;
}

NorvAccount::ShareDialogTexts commonTexts()
{
    NorvAccount::ShareDialogTexts texts;
    texts.accessHeader = QCoreApplication::translate("NoteActions", "Shared with");
    texts.emptyShares = QCoreApplication::translate("NoteActions", "Not shared with anyone yet.");
    texts.shareButton = QCoreApplication::translate("NoteActions", "Share");
    texts.removeTooltip = QCoreApplication::translate("NoteActions", "Remove access");
    texts.closeButton = QCoreApplication::translate("NoteActions", "Close");
    texts.permission = QStringLiteral("edit");
    texts.removeTitle = QCoreApplication::translate("NoteActions", "Remove Share");
    return texts;
}

} // namespace

QWidget* openShareDialog(QWidget* parent, AppState* state, const QString& noteId, const QString& removeTooltip)
{
    const std::optional<Note> note = noteId.isEmpty() ? std::nullopt : state->notes()->noteById(noteId);
    // Only the owner shares, and only while there is a group to share with.
    if (!note || !note->ownerId.isEmpty() || !state->canShare() || !state->sharing())
        return nullptr;
    NorvAccount::ShareDialogTexts texts = commonTexts();
    texts.windowTitle = QCoreApplication::translate("NoteActions", "Share Note");
    const QString title = note->title();
    texts.heading = QCoreApplication::translate("NoteActions", "Sharing: %1")
                        .arg(title.isEmpty() ? QCoreApplication::translate("NoteActions", "Untitled") : title);
    texts.subtitle = QCoreApplication::translate(
        "NoteActions", "Share this note with members of your Norvane family group. They'll see the latest "
                       "version synced to their devices.");
    texts.removeQuestion = QCoreApplication::translate("NoteActions", "Remove %1's access to this note?");
    if (!removeTooltip.isEmpty())
        texts.removeTooltip = removeTooltip;
    return showShareDialog(parent, state, state->sharing(), noteId, texts);
}

QWidget* openNotebookShareDialog(QWidget* parent, AppState* state, const QString& notebookId)
{
    const std::optional<Notebook> notebook =
        notebookId.isEmpty() ? std::nullopt : state->notebooks()->notebookById(notebookId);
    if (!notebook || !notebook->ownerId.isEmpty() || !state->canShare() || !state->groupSharing())
        return nullptr;
    NorvAccount::ShareDialogTexts texts = commonTexts();
    texts.windowTitle = QCoreApplication::translate("NoteActions", "Share Notebook");
    texts.heading = QCoreApplication::translate("NoteActions", "Sharing: %1").arg(notebook->name);
    texts.subtitle = QCoreApplication::translate(
        "NoteActions", "Share this notebook with members of your Norvane family group. They'll see every "
                       "note inside it on their devices.");
    texts.removeQuestion = QCoreApplication::translate("NoteActions", "Remove %1's access to this notebook?");
    return showShareDialog(parent, state, state->groupSharing(), notebookId, texts);
}

} // namespace NoteActions
