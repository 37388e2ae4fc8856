#include "../../Fixtures.h"
#include "AppState.h"
#include "Clock.h"
#include "ExportDialog.h"
#include "ImportDialog.h"
#include "Interaction.h"
#include "MoveToNotebookDialog.h"
#include "NoteRepository.h"
#include "NotebookDialog.h"
#include "NotebookRepository.h"
#include "Records.h"
#include "SnapshotRepository.h"
#include "VersionHistoryDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>
#include <memory>

namespace {

const QDateTime kNow(QDate(2026, 6, 17), QTime(10, 30), Qt::UTC);

QString textBody(const QString& text)
{
    return QStringLiteral(R"([{"insert":"%1\n"}])").arg(text);
}

QStringList itemTexts(const QListWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

QString stampText(const QDateTime& utc)
{
    return utc.toLocalTime().toString(QStringLiteral("MMM d, yyyy h:mm AP"));
}

} // namespace

class tst_Dialogs : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void historyWithoutSnapshotsShowsOnlyHint();
    void historyListsSnapshotsAndRestores();
    void notebookDialogName_data();
    void notebookDialogName();
    void moveDialogSkipsCurrentNotebook();
    void exportDialogResult_data();
    void exportDialogResult();
    void importWithoutFile();
    void importJexFile();

private:
    QString addNote(const QString& text);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Clock::Fixed> m_clock;
    std::unique_ptr<AppState> m_state;
};

void tst_Dialogs::init()
{
    // The previous clock must go before the new one is installed: its destructor restores the system clock.
    m_state.reset();
    m_clock.reset();
    m_clock = std::make_unique<Clock::Fixed>(kNow);
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    qputenv("NOTES_DATA_DIR", m_dir->path().toUtf8());
    m_state = std::make_unique<AppState>();
    QVERIFY(m_state->initialize());
}

QString tst_Dialogs::addNote(const QString& text)
{
    Note note;
    note.id = newId();
    note.body = textBody(text);
    note.createdAt = note.updatedAt = note.modifiedAt = Clock::nowUtc();
    return m_state->notes()->insert(note) ? note.id : QString();
}

void tst_Dialogs::historyWithoutSnapshotsShowsOnlyHint()
{
    const QString noteId = addNote(QStringLiteral("Plain"));
    QVERIFY(!noteId.isEmpty());
    auto* dialog = new VersionHistoryDialog(m_state.get(), noteId);
    QPointer<VersionHistoryDialog> guard(dialog);
    dialog->show();

    auto* list = dialog->findChild<QListWidget*>(QStringLiteral("snapshotList"));
    auto* restore = dialog->findChild<QPushButton*>(QStringLiteral("restoreSnapshotButton"));
    QVERIFY(list && restore);
    QCOMPARE(itemTexts(list), QStringList{QStringLiteral("No snapshots yet. Press Ctrl+S to save one.")});
    list->setCurrentRow(0);
    QVERIFY(!restore->isEnabled());

    dialog->close();
    QTRY_VERIFY(guard.isNull()); // deleted on close
}

void tst_Dialogs::historyListsSnapshotsAndRestores()
{
    const QString noteId = addNote(QStringLiteral("First draft"));
    VersionHistoryDialog dialog(m_state.get(), noteId);
    dialog.setAttribute(Qt::WA_DeleteOnClose, false);
    dialog.show();
    auto* list = dialog.findChild<QListWidget*>(QStringLiteral("snapshotList"));
    auto* save = dialog.findChild<QPushButton*>(QStringLiteral("saveSnapshotButton"));
    auto* restore = dialog.findChild<QPushButton*>(QStringLiteral("restoreSnapshotButton"));
    auto* preview = dialog.findChild<QTextEdit*>(QStringLiteral("snapshotPreview"));
    QVERIFY(list && save && restore && preview);

    // v1 holds the first draft; the note then moves on to a second text at version 2.
    QTest::mouseClick(save, Qt::LeftButton);
    const QDateTime firstStamp = kNow;
    QCOMPARE(itemTexts(list), QStringList{QStringLiteral("v1 — %1").arg(stampText(firstStamp))});
    m_clock->advanceMs(3 * 60 * 1000);
    Note note = *m_state->notes()->noteById(noteId);
    note.body = textBody(QStringLiteral("Second text"));
    note.version = 2;
    QVERIFY(m_state->notes()->update(note));

    list->setCurrentRow(0);
    QVERIFY(restore->isEnabled());
    QCOMPARE(preview->toPlainText(), QStringLiteral("First draft"));

    QSignalSpy announced(m_state.get(), &AppState::noteUpdatedExternally);
    Interaction::Script script;
    script.answer(QMessageBox::Yes);
    script.answer(QMessageBox::Ok);
    QTest::mouseClick(restore, Qt::LeftButton);

    const QList<Interaction::Request> asked = script.requests();
    QCOMPARE(asked.size(), 2);
    QCOMPARE(asked[0].kind, Interaction::Kind::Question);
    QCOMPARE(asked[0].text, QStringLiteral("Replace current content with this snapshot? A snapshot of the current "
                                           "content will be saved first."));
    QCOMPARE(asked[0].defaultButton, QMessageBox::No);

    // The text that was replaced is kept as the newest snapshot.
    QCOMPARE(itemTexts(list), (QStringList{QStringLiteral("v2 — %1").arg(stampText(kNow.addMSecs(180000))),
                                           QStringLiteral("v1 — %1").arg(stampText(firstStamp))}));
    const QList<Snapshot> snapshots = m_state->snapshots()->snapshotsForNote(noteId);
    QCOMPARE(snapshots.size(), 2);
    QCOMPARE(snapshots[0].body, textBody(QStringLiteral("Second text")));

    const Note restored = *m_state->notes()->noteById(noteId);
    QCOMPARE(restored.body, textBody(QStringLiteral("First draft")));
    QCOMPARE(restored.version, 3);
    QCOMPARE(announced.size(), 1);
    QVERIFY(!restore->isEnabled());
}

void tst_Dialogs::notebookDialogName_data()
{
    QTest::addColumn<QString>("initial");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("okEnabled");
    QTest::addColumn<QString>("result");

    QTest::newRow("empty") << QString() << QString() << false << QString();
    QTest::newRow("spaces only") << QString() << QStringLiteral("   ") << false << QString();
    QTest::newRow("trimmed") << QString() << QStringLiteral("  Work  ") << true << QStringLiteral("Work");
    QTest::newRow("rename keeps name") << QStringLiteral("Travel") << QString() << true << QStringLiteral("Travel");
    QTest::newRow("rename emptied") << QStringLiteral("Travel") << QStringLiteral("\b\b\b\b\b\b ") << false
                                    << QString();
}

void tst_Dialogs::notebookDialogName()
{
    QFETCH(QString, initial);
    QFETCH(QString, typed);
    QFETCH(bool, okEnabled);
    QFETCH(QString, result);

    const QString title = initial.isEmpty() ? QStringLiteral("New Notebook") : QStringLiteral("Rename Notebook");
    NotebookDialog dialog(title, initial);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("notebookNameEdit"));
    auto* buttons = dialog.findChild<QDialogButtonBox*>(QStringLiteral("notebookButtons"));
    QVERIFY(edit && buttons);
    QCOMPARE(edit->text(), initial);
    edit->setCursorPosition(edit->text().size());
    QTest::keyClicks(edit, typed);
    QCOMPARE(buttons->button(QDialogButtonBox::Ok)->isEnabled(), okEnabled);
    QCOMPARE(dialog.name(), result);
}

void tst_Dialogs::moveDialogSkipsCurrentNotebook()
{
    QList<Notebook> notebooks;
    for (const char* name : {"Home", "Work", "Travel"}) {
        Notebook nb;
        nb.id = newId();
        nb.name = QString::fromLatin1(name);
        notebooks << nb;
    }
    MoveToNotebookDialog dialog(notebooks, notebooks[1].id);
    auto* list = dialog.findChild<QListWidget*>(QStringLiteral("moveNotebookList"));
    QPushButton* ok = dialog.findChild<QDialogButtonBox*>(QStringLiteral("moveButtons"))->button(QDialogButtonBox::Ok);
    QVERIFY(!ok->isEnabled());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(itemTexts(list), (QStringList{"Home", "Work (current)", "Travel"}));

    // Clicking the current notebook does not pick it.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
    QVERIFY(list->currentRow() != 1);
    QVERIFY(dialog.selectedNotebookId() != notebooks[1].id);
    list->setCurrentRow(1);
    QVERIFY(!ok->isEnabled());
    QCOMPARE(dialog.selectedNotebookId(), QString());

    // A double-click on another notebook accepts it.
    const QPoint travel = list->visualItemRect(list->item(2)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, travel);
    QVERIFY(ok->isEnabled());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, travel);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.selectedNotebookId(), notebooks[2].id);
}

void tst_Dialogs::exportDialogResult_data()
{
    QTest::addColumn<QString>("radio");
    QTest::addColumn<bool>("attachments");
    QTest::addColumn<int>("format");

    QTest::newRow("default") << QString() << false << int(ExportFormat::Markdown);
    QTest::newRow("html with attachments") << QStringLiteral("exportHtmlRadio") << true << int(ExportFormat::Html);
    QTest::newRow("back to markdown") << QStringLiteral("exportMarkdownRadio") << true
                                      << int(ExportFormat::Markdown);
}

void tst_Dialogs::exportDialogResult()
{
    QFETCH(QString, radio);
    QFETCH(bool, attachments);
    QFETCH(int, format);

    ExportDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    if (!radio.isEmpty()) {
        // Pass through another choice first, so the final click really changes the selection.
        dialog.findChild<QRadioButton*>(QStringLiteral("exportPdfRadio"))->click();
        dialog.findChild<QRadioButton*>(radio)->click();
    }
    if (attachments)
        dialog.findChild<QCheckBox*>(QStringLiteral("exportAttachmentsCheck"))->click();
    QCOMPARE(int(dialog.format()), format);
    QCOMPARE(dialog.includeAttachments(), attachments);
}

void tst_Dialogs::importWithoutFile()
{
    ImportDialog wizard(m_state.get());
    wizard.setAttribute(Qt::WA_DeleteOnClose, false);
    wizard.show();
    QCOMPARE(wizard.currentId(), int(ImportDialog::FormatPage));
    const int notesBefore = m_state->notes()->allNotes().size();

    wizard.next();
    auto* fileLabel = wizard.findChild<QLabel*>(QStringLiteral("importFileLabel"));
    QCOMPARE(fileLabel->text(), QStringLiteral("No file selected"));
    {
        // Cancelling the chooser leaves the file unset.
        Interaction::Script script;
        script.cancel();
        QTest::mouseClick(wizard.findChild<QPushButton*>(QStringLiteral("importBrowseButton")), Qt::LeftButton);
        QCOMPARE(script.requests().size(), 1);
    }
    wizard.next();
    QCOMPARE(wizard.currentId(), int(ImportDialog::ImportingPage));
    QTRY_COMPARE(wizard.statusText(), QStringLiteral("No file was selected."));
    QCOMPARE(m_state->notes()->allNotes().size(), notesBefore);
}

void tst_Dialogs::importJexFile()
{
    // A real export: one web clip with its picture, in a folder the archive does not hold.
    NORV_REQUIRE_FIXTURES();
    const QString path = realWorldFixtures(QStringLiteral("jex/jimmy_flexicharger-webclip.jex"));
    const int notesBefore = m_state->notes()->allNotes().size();

    ImportDialog wizard(m_state.get());
    wizard.setAttribute(Qt::WA_DeleteOnClose, false);
    wizard.show();
    wizard.next();
    {
        Interaction::Script script;
        script.answerText(path);
        QTest::mouseClick(wizard.findChild<QPushButton*>(QStringLiteral("importBrowseButton")), Qt::LeftButton);
    }
    QCOMPARE(wizard.findChild<QLabel*>(QStringLiteral("importFileLabel"))->text(), path);
    wizard.next();
    QTRY_COMPARE(wizard.currentId(), int(ImportDialog::CompletePage));
    QCOMPARE(wizard.summaryText(), QStringLiteral("Imported: 1 notes\nAttachments: 1"));
    QCOMPARE(m_state->notes()->allNotes().size(), notesBefore + 1);
}

QTEST_MAIN(tst_Dialogs)
#include "tst_Dialogs.moc"
