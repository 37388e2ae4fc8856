#include "AttachmentRenderer.h"
#include "AttachmentRepository.h"
#include "Database.h"
#include "DeltaDocument.h"
#include "DeltaFormat.h"
#include "ImageLightbox.h"
#include "Interaction.h"
#include "LinkDialog.h"
#include "NoteEditor.h"
#include "NoteRepository.h"
#include "Records.h"
#include "TableDialog.h"
#include "ThemeManager.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QClipboard>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextTable>
#include <QTimer>
#include <QToolTip>
#include <QtTest>
#include <memory>

// Receives what the editor hands to the desktop: opened files and web links.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls.append(url); }
};

class tst_NoteEditor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void autosaveFiresOnceAfterTypingStops();
    void loadAndClearAreNotEdits();
    void reload_data();
    void reload();
    void formattingKeys_data();
    void formattingKeys();
    void listKeys_data();
    void listKeys();
    void tableTabAndBacktab();
    void blockMoves_data();
    void blockMoves();
    void duplicateAndDeleteAreOneUndoStep();
    void ctrlLAndCtrlW();
    void paste_data();
    void paste();
    void pastedFirstLineKeepsItsKind_data();
    void pastedFirstLineKeepsItsKind();
    void copyPasteKeepsCheckLists();
    void checkBoxTogglesOnClick();
    void tripleClickSelectsParagraph();
    void links();
    void tableDialogAndMenu();
    void insertAttachmentAndTooltip();
    void openAttachmentStaysInItsFolder_data();
    void openAttachmentStaysInItsFolder();
    void copySaveAndRemoveAttachment();
    void doubleClickOpensImageOrFile();
    void dropInsertsLocalFiles();
    void objectsNextToTableAreSaved_data();
    void objectsNextToTableAreSaved();
    void contextMenus();
    void wordCount_data();
    void wordCount();
    void themeChangeKeepsPendingEdits();
    void refreshAttachmentsShowsArrivedFiles();

private:
    NoteEditor* makeEditor(bool withRepository = true);
    QString addAttachment(const QString& fileName, const QString& mime, const QByteArray& bytes);
    QPoint objectCenter(int position) const;
    void placeCursor(int position);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Database> m_db;
    std::unique_ptr<NoteRepository> m_notes;
    std::unique_ptr<AttachmentRepository> m_attachments;
    std::unique_ptr<NoteEditor> m_editor;
    std::unique_ptr<UrlCatcher> m_catcher;
    QString m_tempRoot;
};

namespace {

const QString kNoteId = QStringLiteral("11111111-2222-3333-4444-555555555555");

QString json(const char* text)
{
    return QString::fromUtf8(text);
}

// A real 300 x 200 PNG.
QByteArray pngBytes()
{
    QImage image(300, 200, QImage::Format_RGB32);
    image.fill(QColor(0x33, 0x66, 0x99));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace

void tst_NoteEditor::initTestCase()
{
    QApplication::setPalette(ThemeManager::lightPalette());
    // Temporary copies of attachments land two levels below a folder we own, so a name that
    // climbs out of its folder would still be caught inside it.
    static QTemporaryDir temp;
    QVERIFY(temp.isValid());
    m_tempRoot = temp.path();
    QDir().mkpath(m_tempRoot + QStringLiteral("/a/b"));
    qputenv("TMPDIR", (m_tempRoot + QStringLiteral("/a/b")).toLocal8Bit());
    QCOMPARE(QDir::tempPath(), m_tempRoot + QStringLiteral("/a/b"));
}

void tst_NoteEditor::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_db = std::make_unique<Database>();
    QVERIFY(m_db->open(m_dir->filePath(QStringLiteral("notes.db"))));
    QVERIFY(m_db->migrate());
    m_notes = std::make_unique<NoteRepository>(m_db.get());
    Note note;
    note.id = kNoteId;
    note.body = QString::fromLatin1(kEmptyBody);
    note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
    QVERIFY(m_notes->insert(note));
    m_attachments =
        std::make_unique<AttachmentRepository>(m_db.get(), nullptr, m_dir->filePath(QStringLiteral("attachments")));
    m_catcher = std::make_unique<UrlCatcher>();
    QDesktopServices::setUrlHandler(QStringLiteral("file"), m_catcher.get(), "open");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), m_catcher.get(), "open");
}

void tst_NoteEditor::cleanup()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    m_editor.reset();
    m_attachments.reset();
    m_notes.reset();
    m_db.reset();
    m_dir.reset();
}

NoteEditor* tst_NoteEditor::makeEditor(bool withRepository)
{
    m_editor = std::make_unique<NoteEditor>(withRepository ? m_attachments.get() : nullptr);
    m_editor->resize(700, 500);
    m_editor->show();
    m_editor->activateWindow();
    m_editor->setFocus();
    if (!QTest::qWaitForWindowExposed(m_editor.get()))
        return nullptr;
    return m_editor.get();
}

QString tst_NoteEditor::addAttachment(const QString& fileName, const QString& mime, const QByteArray& bytes)
{
    Attachment a;
    a.id = newId();
    a.noteId = kNoteId;
    a.filename = fileName;
    a.mimeType = mime;
    a.sizeBytes = bytes.size();
    a.createdAt = QDateTime::currentDateTimeUtc();
    if (!m_attachments->saveFile(a.id, bytes) || !m_attachments->insert(a))
        return {};
    return a.id;
}

void tst_NoteEditor::placeCursor(int position)
{
    QTextCursor cursor(m_editor->document());
    cursor.setPosition(position);
    m_editor->setTextCursor(cursor);
}

// The middle of the object character at a document position, in viewport coordinates.
QPoint tst_NoteEditor::objectCenter(int position) const
{
    QTextCursor before(m_editor->document());
    before.setPosition(position);
    QTextCursor after(m_editor->document());
    after.setPosition(position + 1);
    const QRect a = m_editor->cursorRect(before);
    const QRect b = m_editor->cursorRect(after);
    return QPoint((a.left() + b.left()) / 2, a.center().y());
}

// ---------------------------------------------------------------------------------------------

void tst_NoteEditor::autosaveFiresOnceAfterTypingStops()
{
    NoteEditor* editor = makeEditor();
    QVERIFY(editor);
    editor->loadNote(kNoteId, json(kEmptyBody));
    QSignalSpy modified(editor, &NoteEditor::noteModified);
    QSignalSpy saved(editor, &NoteEditor::savedStateChanged);
    QSignalSpy words(editor, &NoteEditor::wordCountChanged);
    QString bodyAtSave;
    connect(editor, &NoteEditor::noteModified, this, [&] {
        // The owner saves while the editor still reports unsaved changes.
        QVERIFY(!editor->isSaved());
        bodyAtSave = editor->bodyJson();
    });

    // Two seconds of typing, a key every 100 ms: every key postpones the save.
    const QString typed = QStringLiteral("one two three four five six ");
    QElapsedTimer sinceLastKey;
    for (const QChar ch : typed) {
        sinceLastKey.start();
        QTest::keyClick(editor, ch.toLatin1());
        QCOMPARE(modified.count(), 0);
        QVERIFY(editor->autosaveTimer()->isActive());
        QTest::qWait(70);
    }
    QTRY_COMPARE_WITH_TIMEOUT(modified.count(), 1, 5000);
    QVERIFY2(sinceLastKey.elapsed() >= NoteEditor::kAutosaveMs, qPrintable(QString::number(sinceLastKey.elapsed())));
    QVERIFY(editor->isSaved());
    QVERIFY(!editor->autosaveTimer()->isActive()); // single shot: nothing else can follow without an edit
    QCOMPARE(bodyAtSave, json(R"([{"insert":"one two three four five six "},{"insert":"\n"}])"));

    QCOMPARE(saved.last().at(0).toBool(), true);
    QCOMPARE(words.last().at(0).toInt(), 6);
}

void tst_NoteEditor::loadAndClearAreNotEdits()
{
    NoteEditor* editor = makeEditor();
    QVERIFY(editor);
    QVERIFY(editor->isReadOnly());
    QCOMPARE(editor->placeholderText(), QStringLiteral("Select a note or press Ctrl+N to create one"));

    QSignalSpy saved(editor, &NoteEditor::savedStateChanged);
    QSignalSpy words(editor, &NoteEditor::wordCountChanged);
    editor->loadNote(kNoteId, json(R"([{"insert":"alpha beta\n"}])"));
    QVERIFY(!editor->isReadOnly());
    QCOMPARE(editor->placeholderText(), QStringLiteral("Start typing..."));
    QCOMPARE(saved.count(), 1);
    QCOMPARE(saved.at(0).at(0).toBool(), true);
    QCOMPARE(words.last().at(0).toInt(), 2);
    QVERIFY(!editor->autosaveTimer()->isActive());

    QTest::keyClick(editor, Qt::Key_X);
    QVERIFY(!editor->isSaved());
    editor->clear();
    QVERIFY(editor->isSaved());
    QVERIFY(editor->isReadOnly());
    QVERIFY(!editor->autosaveTimer()->isActive());
    QCOMPARE(editor->noteId(), QString());
    QCOMPARE(editor->placeholderText(), QStringLiteral("Select a note or press Ctrl+N to create one"));
    QCOMPARE(saved.last().at(0).toBool(), true);
    QCOMPARE(words.last().at(0).toInt(), 0);
    // Nothing can be typed without a note.
    QTest::keyClick(editor, Qt::Key_Y);
    QCOMPARE(editor->document()->toPlainText(), QString());
    QVERIFY(!editor->autosaveTimer()->isActive());
}

void tst_NoteEditor::reload_data()
{
    QTest::addColumn<QString>("secondId");
    QTest::addColumn<QString>("secondBody");
    QTest::addColumn<bool>("force");
    QTest::addColumn<bool>("dirty");
    QTest::addColumn<int>("expectedAnchor");
    QTest::addColumn<int>("expectedPosition");
    QTest::addColumn<int>("savedSignals");

    const QString same = json(R"([{"insert":"hello world\n"}])");
    // Same note, same body, saved: nothing happens, the selection 2..7 stays.
    // Key order and spacing of the stored text do not count as a change.
    QTest::newRow("unforced identical reordered")
        << kNoteId << json(R"([ {"insert": "hello world"}, {"insert": "\n"} ])") << false << false << 2 << 7 << 0;
    QTest::newRow("unforced changed body keeps cursor")
        << kNoteId << json(R"([{"insert":"hello there world\n"}])") << false << false << 2 << 7 << 1;
    // A forced reload with a shorter body clamps both ends to the new length.
    QTest::newRow("forced shorter clamps") << kNoteId << json(R"([{"insert":"hey\n"}])") << true << false << 2 << 3
                                           << 1;
    QTest::newRow("unforced while dirty reloads") << kNoteId << same << false << true << 2 << 7 << 1;
    QTest::newRow("other note starts at top") << QStringLiteral("other") << same << false << false << 0 << 0 << 1;
}

void tst_NoteEditor::reload()
{
    QFETCH(QString, secondId);
    QFETCH(QString, secondBody);
    QFETCH(bool, force);
    QFETCH(bool, dirty);
    QFETCH(int, expectedAnchor);
    QFETCH(int, expectedPosition);
    QFETCH(int, savedSignals);

    NoteEditor* editor = makeEditor();
    QVERIFY(editor);
    editor->loadNote(kNoteId, json(R"([{"insert":"hello world\n"}])"));
    if (dirty) {
        // Formatting changes the document without changing its text or the selection.
        QTextCursor all(editor->document());
        all.setPosition(0);
        all.setPosition(1, QTextCursor::KeepAnchor);
        all.mergeCharFormat([] {
            QTextCharFormat f;
            f.setFontItalic(true);
            return f;
        }());
    }
    QTextCursor selection(editor->document());
    selection.setPosition(2);
    selection.setPosition(7, QTextCursor::KeepAnchor);
    editor->setTextCursor(selection);
    QSignalSpy saved(editor, &NoteEditor::savedStateChanged);

    editor->loadNote(secondId, secondBody, force);
    QCOMPARE(editor->textCursor().anchor(), expectedAnchor);
    QCOMPARE(editor->textCursor().position(), expectedPosition);
    QCOMPARE(saved.count(), savedSignals);
    QCOMPARE(editor->noteId(), secondId);
    QVERIFY(editor->isSaved());
}

void tst_NoteEditor::formattingKeys_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<QString>("expected");

    const QString title = json(R"([{"insert":"Title\n"}])");
    QTest::newRow("ctrl+1 heading 1 is bold") << title << 0 << QKeySequence(QStringLiteral("Ctrl+1"))
                                              << json(R"([{"attributes":{"bold":true},"insert":"Title"},)"
                                                      R"({"attributes":{"header":1},"insert":"\n"}])");
    QTest::newRow("ctrl+3 heading 3 not bold")
        << title << 0 << QKeySequence(QStringLiteral("Ctrl+3"))
        << json(R"([{"insert":"Title"},{"attributes":{"header":3},"insert":"\n"}])");
    QTest::newRow("ctrl+0 back to text drops heading bold")
        << json(R"([{"attributes":{"bold":true},"insert":"Title"},{"attributes":{"header":1},"insert":"\n"}])") << 2
        << QKeySequence(QStringLiteral("Ctrl+0")) << json(R"([{"insert":"Title"},{"insert":"\n"}])");
    QTest::newRow("ctrl+shift+9 check list")
        << title << 0 << QKeySequence(QStringLiteral("Ctrl+Shift+9"))
        << json(R"([{"insert":"Title"},{"attributes":{"list":"unchecked"},"insert":"\n"}])");
    QTest::newRow("ctrl+shift+8 twice toggles off")
        << title << 0 << QKeySequence(QStringLiteral("Ctrl+Shift+8, Ctrl+Shift+8"))
        << json(R"([{"insert":"Title"},{"insert":"\n"}])");
    QTest::newRow("check list toggle takes a ticked item out")
        << json(R"([{"insert":"Done"},{"attributes":{"list":"checked"},"insert":"\n"}])") << 0
        << QKeySequence(QStringLiteral("Ctrl+Shift+9")) << json(R"([{"insert":"Done"},{"insert":"\n"}])");
    QTest::newRow("ctrl+shift+` code block")
        << title << 0 << QKeySequence(QStringLiteral("Ctrl+Shift+`"))
        << json(R"([{"attributes":{"code":true},"insert":"Title"},{"attributes":{"code-block":true},"insert":"\n"}])");
    QTest::newRow("code block replaces heading and list")
        << json(R"([{"insert":"x"},{"attributes":{"header":2,"list":"bullet"},"insert":"\n"}])") << 0
        << QKeySequence(QStringLiteral("Ctrl+Shift+`"))
        << json(R"([{"attributes":{"code":true},"insert":"x"},{"attributes":{"code-block":true},"insert":"\n"}])");
    QTest::newRow("ctrl+b inside a word bolds the word")
        << json(R"([{"insert":"one two\n"}])") << 5 << QKeySequence(QStringLiteral("Ctrl+B"))
        << json(R"([{"insert":"one "},{"attributes":{"bold":true},"insert":"two"},{"insert":"\n"}])");
    QTest::newRow("ctrl+l then ctrl+i italic line")
        << json(R"([{"insert":"one two\n"}])") << 1 << QKeySequence(QStringLiteral("Ctrl+L, Ctrl+I"))
        << json(R"([{"attributes":{"italic":true},"insert":"one two"},{"insert":"\n"}])");
    // At a word boundary only what is typed next changes.
    QTest::newRow("ctrl+b at word end then typing")
        << json(R"([{"insert":"one\n"}])") << 3 << QKeySequence(QStringLiteral("Ctrl+B, Z"))
        << json(R"([{"insert":"one"},{"attributes":{"bold":true},"insert":"z"},{"insert":"\n"}])");
}

void tst_NoteEditor::formattingKeys()
{
    QFETCH(QString, body);
    QFETCH(int, cursor);
    QFETCH(QKeySequence, keys);
    QFETCH(QString, expected);

    NoteEditor* editor = makeEditor();
    QVERIFY(editor);
    editor->loadNote(kNoteId, body);
    placeCursor(cursor);
    QTest::keySequence(editor, keys);
    QCOMPARE(editor->bodyJson(), expected);
    // Every step the keys made can be undone, back to the body as loaded.
    while (editor->document()->isUndoAvailable())
        editor->undo();
    DeltaDocument reference;
    reference.loadJson(body);
    QCOMPARE(editor->bodyJson(), reference.toJson());
}

void tst_NoteEditor::listKeys_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("cursorAfter");

    const int enter = Qt::Key_Return;
    const int backspace = Qt::Key_Backspace;
    QTest::newRow("enter on empty bullet leaves the list")
        << json(R"([{"insert":"a"},{"attributes":{"list":"bullet"},"insert":"\n"},)"
                R"({"attributes":{"list":"bullet"},"insert":"\n"}])")
        << 2 << enter << json(R"([{"insert":"a"},{"attributes":{"list":"bullet"},"insert":"\n"},{"insert":"\n"}])")
        << 2;
    QTest::newRow("enter at the start of an item opens a plain line above")
        << json(R"([{"insert":"a"},{"attributes":{"list":"bullet"},"insert":"\n"}])") << 0 << enter
        << json(R"([{"insert":"\n"},{"insert":"a"},{"attributes":{"list":"bullet"},"insert":"\n"}])") << 0;
    QTest::newRow("enter at the end continues the list")
        << json(R"([{"insert":"a"},{"attributes":{"list":"ordered"},"insert":"\n"}])") << 1 << enter
        << json(R"([{"insert":"a"},{"attributes":{"list":"ordered"},"insert":"\n"},)"
                R"({"attributes":{"list":"ordered"},"insert":"\n"}])")
        << 2;
    QTest::newRow("enter after a ticked item starts an open one")
        << json(R"([{"insert":"a"},{"attributes":{"list":"checked"},"insert":"\n"}])") << 1 << enter
        << json(R"([{"insert":"a"},{"attributes":{"list":"checked"},"insert":"\n"},)"
                R"({"attributes":{"list":"unchecked"},"insert":"\n"}])")
        << 2;
    QTest::newRow("backspace on first empty item keeps the next item")
        << json(R"([{"attributes":{"list":"bullet"},"insert":"\n"},{"attributes":{"bold":true},"insert":"b"},)"
                R"({"attributes":{"list":"checked"},"insert":"\n"}])")
        << 0 << backspace << json(R"([{"attributes":{"bold":true},"insert":"b"},{"attributes":{"list":"checked"},"insert":"\n"}])")
        << 0;
    QTest::newRow("backspace at start of a later item leaves the list")
        << json(R"([{"insert":"a"},{"attributes":{"list":"unchecked"},"insert":"\n"},)"
                R"({"insert":"b"},{"attributes":{"list":"unchecked"},"insert":"\n"}])")
        << 2 << backspace
        << json(R"([{"insert":"a"},{"attributes":{"list":"unchecked"},"insert":"\n"},{"insert":"b"},{"insert":"\n"}])")
        << 2;
}

void tst_NoteEditor::listKeys()
{
    QFETCH(QString, body);
    QFETCH(int, cursor);
    QFETCH(int, key);
    QFETCH(QString, expected);
    QFETCH(int, cursorAfter);

    NoteEditor* editor = makeEditor();
    QVERIFY(editor);
    editor->loadNote(kNoteId, body);
    placeCursor(cursor);
    QTest::keyClick(editor, Qt::Key(key));
    QCOMPARE(editor->bodyJson(), expected);
    QCOMPARE(editor->textCursor().position(), cursorAfter);
}

void tst_NoteEditor::tableTabAndBacktab()
{
    NoteEditor* editor = makeEditor();
    QVERIFY(editor);
    editor->loadNote(kNoteId, json(R"([{"insert":"x\n"},{"insert":{"table":"{\"cells\":[[[{\"insert\":\"A\"}],)"
                                   R"([{\"insert\":\"B\"}]],[[{\"insert\":\"1\"}],[]]],\"hasHeader\":false}"}},)"
                                   R"({"insert":"\n"}])"));
    QTextTable* table = nullptr;
    for (QTextBlock b = editor->document()->begin(); b.isValid() && !table; b = b.next())
        table = QTextCursor(b).currentTable();
    QVERIFY(table);
    editor->setTextCursor(table->cellAt(0, 0).firstCursorPosition());
    const auto cell = [&] {
        const QTextTableCell c = table->cellAt(editor->textCursor());
        return QPoint(c.column(), c.row());
    };

    QTest::keyClick(editor, Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(cell(), QPoint(0, 0)); // the first cell stays
    QTest::keyClick(editor, Qt::Key_Tab);
    QCOMPARE(cell(), QPoint(1, 0));
    QTest::keyClick(editor, Qt::Key_Tab);
    QCOMPARE(cell(), QPoint(0, 1));
    QTest::keyClick(editor, Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(cell(), QPoint(1, 0));
    QTest::keyClick(editor, Qt::Key_Tab);
    QTest::keyClick(editor, Qt::Key_Tab);
    QCOMPARE(cell(), QPoint(1, 1));
    QCOMPARE(table->rows(), 2);
    // Tab in the bottom-right cell appends a row and moves into its first cell.
    QTest::keyClick(editor, Qt::Key_Tab);
    QCOMPARE(table->rows(), 3);
    QCOMPARE(cell(), QPoint(0, 2));
    QTest::keyClicks(editor, QStringLiteral("n"));
    QCOMPARE(editor->bodyJson(),
             json(R"([{"insert":"x"},{"insert":"\n"},{"insert":{"table":"{\"cells\":[[[{\"insert\":\"A\"}],)"
                  R"([{\"insert\":\"B\"}]],[[{\"insert\":\"1\"}],[]],[[{\"insert\":\"n\"}],[]]],)"
                  R"(\"hasHeader\":false}"}},{"insert":"\n"}])"));
    // No tab character was ever typed into the table.
    QVERIFY(!editor->document()->toPlainText().contains(QLatin1Char('\t')));
}

void tst_NoteEditor::blockMoves_data()
{
    QTest::addColumn<int>("cursor");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("cursorAfter");

    // Lines: "one" (heading 2, bold), "two" (bullet), "three" (plain).
    QTest::newRow("alt+down moves a heading below a list item")
        << 1 << int(Qt::Key_Down)
        << json(R"([{"insert":"two"},{"attributes":{"list":"bullet"},"insert":"\n"},)"
                R"({"attributes":{"bold":true},"insert":"one"},{"attributes":{"header":2},"insert":"\n"},)"
                R"({"insert":"three"},{"insert":"\n"}])")
        << 5;
    QTest::newRow("alt+up moves the last line up, same column")
        << 13 << int(Qt::Key_Up)
        << json(R"([{"attributes":{"bold":true},"insert":"one"},{"attributes":{"header":2},"insert":"\n"},)"
                R"({"insert":"three"},{"insert":"\n"},{"insert":"two"},{"attributes":{"list":"bullet"},"insert":"\n"}])")
        << 9;
    QTest::newRow("alt+down on the last line changes nothing") << 12 << int(Qt::Key_Down) << QString() << 12;
}

void tst_NoteEditor::blockMoves()
{
    QFETCH(int, cursor);
    QFETCH(int, key);
    QFETCH(QString, expected);
    QFETCH(int, cursorAfter);

    NoteEditor* editor = makeEditor();
    QVERIFY(editor);
    const QString body = json(R"([{"attributes":{"bold":true},"insert":"one"},{"attributes":{"header":2},"insert":"\n"},)"
                              R"({"insert":"two"},{"attributes":{"list":"bullet"},"insert":"\n"},)"
                              R"({"insert":"three"},{"insert":"\n"}])");
    editor->loadNote(kNoteId, body);
    placeCursor(cursor);
    // Sent directly so the test sees whether the editor consumed the key.
    QKeyEvent press(QEvent::KeyPress, key, Qt::AltModifier);
    QApplication::sendEvent(editor, &press);
    QVERIFY(press.isAccepted());
    QCOMPARE(editor->bodyJson(), expected.isEmpty() ? body : expected);
    QCOMPARE(editor->textCursor().position(), cursorAfter);
    if (!expected.isEmpty()) {
        editor->undo();
        QCOMPARE(editor->bodyJson(), body);
    } else {
        QVERIFY(!editor->document()->isUndoAvailable());
    }
}

void tst_NoteEditor::duplicateAndDeleteAreOneUndoStep()
{
    NoteEditor* editor = makeEditor();
    QVERIFY(editor);
    const QString body = json(R"([{"insert":"a"},{"attributes":{"list":"checked"},"insert":"\n"},)"
                              R"({"insert":"b "},{"attributes":{"italic":true},"insert":"c"},{"insert":"\n"},)"
                              R"({"insert":"last"},{"insert":"\n"}])");
    editor->loadNote(kNoteId, body);

    placeCursor(3);
    QTest::keyClick(editor, Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(editor->bodyJson(),
             json(R"([{"insert":"a"},{"attributes":{"list":"checked"},"insert":"\n"},)"
                  R"({"insert":"b "},{"attributes":{"italic":true},"insert":"c"},{"insert":"\n"},)"
                  R"({"insert":"b "},{"attributes":{"italic":true},"insert":"c"},{"insert":"\n"},)"
                  R"({"insert":"last"},{"insert":"\n"}])"));
    QCOMPARE(editor->textCursor().block().blockNumber(), 2); // in the copy
    QCOMPARE(editor->textCursor().positionInBlock(), 1);
    editor->undo();
    QCOMPARE(editor->bodyJson(), body);


    placeCursor(3);
    QTest::keyClick(editor, Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(editor->bodyJson(), json(R"([{"insert":"a"},{"attributes":{"list":"checked"},"insert":"\n"},)"
                                      R"({"insert":"last"},{"insert":"\n"}])"));
    editor->undo();
    QCOMPARE(editor->bodyJson(), body);

    // The last block keeps its (empty) line.
    placeCursor(9);
    QTest::keyClick(editor, Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(editor->bodyJson(), json(R"([{"insert":"a"},{"attributes":{"list":"checked"},"insert":"\n"},)"
                                      R"({"insert":"b "},{"attributes":{"italic":true},"insert":"c"},{"insert":"\n"},)"
                                      R"({"insert":"\n"}])"));
    QCOMPARE(editor->document()->blockCount(), 3);
    editor->undo();
    QCOMPARE(editor->bodyJson(), body);
}

void tst_NoteEditor::ctrlLAndCtrlW()
{
    NoteEditor* editor = makeEditor();
    QVERIFY(editor);
    editor->loadNote(kNoteId, json(R"([{"insert":"first line\nsecond "},{"attributes":{"bold":true},"insert":"bold"},)"
                                   R"({"insert":" end\n"}])"));
    placeCursor(14);
    QTest::keyClick(editor, Qt::Key_L, Qt::ControlModifier);
    QCOMPARE(editor->textCursor().selectedText(), QStringLiteral("second bold end"));
    placeCursor(22);
    QTest::keyClick(editor, Qt::Key_W, Qt::ControlModifier);
    QCOMPARE(editor->document()->toPlainText(), QStringLiteral("first line\nsecond  end"));
    QTest::keyClick(editor, Qt::Key_W, Qt::ControlModifier);
    QCOMPARE(editor->document()->toPlainText(), QStringLiteral("first line\n end"));
}

void tst_NoteEditor::paste_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("data");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("body");

    // The first pasted line joins the line the cursor is in and takes its format.
    QTest::newRow("html") << QStringLiteral("text/html") << QStringLiteral("<h2>Plan</h2><p>Buy <b>milk</b></p>")
                          << json(R"([{"insert":"x"},{"attributes":{"bold":true},"insert":"Plan"},)"
                                  R"({"insert":"\n"},{"insert":"Buy "},)"
                                  R"({"attributes":{"bold":true},"insert":"milk"},{"insert":"\n"}])") << json(R"([{"insert":"x\n"}])");
    QTest::newRow("text that looks like markdown")
        << QStringLiteral("text/plain") << QStringLiteral("- one\n- two")
        << json(R"([{"insert":"x"},{"insert":"\n"},{"insert":"one"},{"attributes":{"list":"bullet"},"insert":"\n"},)"
                R"({"insert":"two"},{"attributes":{"list":"bullet"},"insert":"\n"}])")
        << json(R"([{"insert":"x\n"}])");
    // Into an empty line the first pasted line keeps its own kind.
    QTest::newRow("html heading into an empty line")
        << QStringLiteral("text/html") << QStringLiteral("<h2>Plan</h2><p>Buy</p>")
        << json(R"([{"attributes":{"bold":true},"insert":"Plan"},{"attributes":{"header":2},"insert":"\n"},)"
                R"({"insert":"Buy"},{"insert":"\n"}])")
        << json(R"([{"insert":"\n"}])");
}

void tst_NoteEditor::paste()
{
    QFETCH(QString, format);
    QFETCH(QString, data);
    QFETCH(QString, expected);
    QFETCH(QString, body);

    NoteEditor* editor = makeEditor();
    QVERIFY(editor);
    editor->loadNote(kNoteId, body);
    editor->moveCursor(QTextCursor::EndOfBlock);
    auto* mime = new QMimeData;
    if (format == QLatin1String("text/html"))
        mime->setHtml(data);
    else if (format == QLatin1String("text/plain"))
        mime->setText(data);
    else
        mime->setData(format, data.toUtf8());
    QGuiApplication::clipboard()->setMimeData(mime);
    QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
    QVERIFY(!editor->isSaved()); // reported like typing
    QVERIFY(editor->autosaveTimer()->isActive());
    QCOMPARE(editor->bodyJson(), expected);
    // One edit: a single undo brings the note back.
    editor->undo();
    DeltaDocument reference;
    reference.loadJson(body);
    QCOMPARE(editor->bodyJson(), reference.toJson());
}

void tst_NoteEditor::pastedFirstLineKeepsItsKind_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("data");
    QTest::addColumn<QString>("body");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("line"); // the first pasted line as saved, with its line end

    const QString h2 = json(R"("insert":"Plan"},{"attributes":{"header":2},"insert":"\n"})");
    QTest::newRow("markdown, empty line after text") << "text/markdown"
                                                     << "## Plan\nBuy" << json(R"([{"insert":"x\n\n"}])") << 2 << h2;
    QTest::newRow("html, empty line after text")
        << "text/html"
        << "<h2>Plan</h2><p>Buy</p>" << json(R"([{"insert":"x\n\n"}])") << 2 << h2;
    QTest::newRow("html, start of a line with text")
        << "text/html"
        << "<h2>Plan</h2><p>Buy</p>" << json(R"([{"insert":"x\nend\n"}])") << 2 << h2;
}

void tst_NoteEditor::pastedFirstLineKeepsItsKind()
{
    QFETCH(QString, format);
    QFETCH(QString, data);
    QFETCH(QString, body);
    QFETCH(int, position);
    QFETCH(QString, line);

    NoteEditor* editor = makeEditor();
    QVERIFY(editor);
    editor->loadNote(kNoteId, body);
    placeCursor(position);
    auto* mime = new QMimeData;
    if (format == QLatin1String("text/html"))
        mime->setHtml(data);
    else
        mime->setData(format, data.toUtf8());
    QGuiApplication::clipboard()->setMimeData(mime);
    QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
    const QString saved = editor->bodyJson();
    QVERIFY2(saved.contains(line), qPrintable(saved));
    // What was saved loads back the same.
    editor->loadNote(kNoteId, saved, true);
    QCOMPARE(editor->bodyJson(), saved);
}

void tst_NoteEditor::copyPasteKeepsCheckLists()
{
    NoteEditor* editor = makeEditor();
    QVERIFY(editor);
    const QString body = json(R"([{"insert":"task"},{"attributes":{"list":"checked"},"insert":"\n"},)"
                              R"({"insert":"code"},{"attributes":{"code-block":true},"insert":"\n"}])");
    editor->loadNote(kNoteId, body);
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(editor, Qt::Key_C, Qt::ControlModifier);
    QVERIFY(QGuiApplication::clipboard()->mimeData()->hasFormat(QLatin1String(NoteEditor::kDeltaMimeType)));

    editor->loadNote(QStringLiteral("other"), json(kEmptyBody));
    QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(editor->bodyJson(),
             json(R"([{"insert":"task"},{"attributes":{"list":"checked"},"insert":"\n"},)"
                  R"({"attributes":{"code":true},"insert":"code"},{"attributes":{"code-block":true},"insert":"\n"}])"));
}

void tst_NoteEditor::checkBoxTogglesOnClick()
{
    NoteEditor* editor = makeEditor();
    QVERIFY(editor);
    editor->loadNote(kNoteId, json(R"([{"insert":"intro\nbuy milk"},{"attributes":{"list":"unchecked"},"insert":"\n"}])"));
    const QTextBlock item = editor->document()->lastBlock();
    const QRectF rect = editor->document()->documentLayout()->blockBoundingRect(item);
    QPoint marker(-1, -1);
    for (int x = 0; x < int(rect.left()) + 60 && marker.x() < 0; ++x) {
        const QPointF p(x, rect.center().y());
        if (editor->document()->documentLayout()->blockWithMarkerAt(p) == item)
            marker = p.toPoint();
    }
    QVERIFY2(marker.x() >= 0, "no check box found next to the item");
    const QPoint inViewport = marker - QPoint(editor->horizontalScrollBar()->value(), editor->verticalScrollBar()->value());

    QSignalSpy saved(editor, &NoteEditor::savedStateChanged);
    QTest::mouseClick(editor->viewport(), Qt::LeftButton, {}, inViewport);
    QCOMPARE(editor->bodyJson(),
             json(R"([{"insert":"intro"},{"insert":"\n"},{"insert":"buy milk"},{"attributes":{"list":"checked"},"insert":"\n"}])"));
    QCOMPARE(saved.count(), 1);
    QCOMPARE(saved.at(0).at(0).toBool(), false);
    QTest::mouseClick(editor->viewport(), Qt::LeftButton, {}, inViewport);
    QCOMPARE(editor->bodyJson(),
             json(R"([{"insert":"intro"},{"insert":"\n"},{"insert":"buy milk"},{"attributes":{"list":"unchecked"},"insert":"\n"}])"));
}

void tst_NoteEditor::tripleClickSelectsParagraph()
{
    NoteEditor* editor = makeEditor();
    QVERIFY(editor);
    editor->loadNote(kNoteId, json(R"([{"insert":"above\nplain "},{"attributes":{"bold":true},"insert":"bold"},)"
                                   R"({"attributes":{"italic":true},"insert":" italic"},{"insert":" tail\nbelow\n"}])"));
    QTextCursor at(editor->document());
    at.setPosition(8);
    const QPoint point = editor->cursorRect(at).center();
    QTest::mouseDClick(editor->viewport(), Qt::LeftButton, {}, point);
    QCOMPARE(editor->textCursor().selectedText(), QStringLiteral("plain"));
    QTest::mouseClick(editor->viewport(), Qt::LeftButton, {}, point + QPoint(1, 1));
    QCOMPARE(editor->textCursor().selectedText(), QStringLiteral("plain bold italic tail"));
    // The next click is an ordinary click again.
    QTest::mouseClick(editor->viewport(), Qt::LeftButton, {}, point);
    QVERIFY(!editor->textCursor().hasSelection());
}

void tst_NoteEditor::links()
{
    NoteEditor* editor = makeEditor();
    QVERIFY(editor);
    editor->loadNote(kNoteId, json(R"([{"insert":"see docs now\n"}])"));
    QTextCursor select(editor->document());
    select.setPosition(4);
    select.setPosition(8, QTextCursor::KeepAnchor);
    editor->setTextCursor(select);

    editor->insertLinkDialog();
    auto* dialog = editor->findChild<LinkDialog*>(QStringLiteral("linkDialog"));
    QVERIFY(dialog);
    QCOMPARE(dialog->linkText(), QStringLiteral("docs"));
    QCOMPARE(dialog->url(), QStringLiteral("https://"));
    auto* urlEdit = dialog->findChild<QLineEdit*>(QStringLiteral("linkUrlEdit"));
    QTest::keyClicks(urlEdit, QStringLiteral("example.org/d"));
    QTest::mouseClick(dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
    QCOMPARE(editor->bodyJson(), json(R"([{"insert":"see "},{"attributes":{"link":"https://example.org/d"},"insert":"docs"},)"
                                      R"({"insert":" now"},{"insert":"\n"}])"));
    // Typing on after the link is plain text.
    QTest::keyClicks(editor, QStringLiteral("!"));
    QCOMPARE(editor->bodyJson(), json(R"([{"insert":"see "},{"attributes":{"link":"https://example.org/d"},"insert":"docs"},)"
                                      R"({"insert":"! now"},{"insert":"\n"}])"));

    // Ctrl+click opens it; a plain click only moves the cursor.
    QTextCursor onLink(editor->document());
    onLink.setPosition(6);
    const QPoint linkPoint = editor->cursorRect(onLink).center();
    QTest::mouseClick(editor->viewport(), Qt::LeftButton, {}, linkPoint);
    QCOMPARE(m_catcher->urls.size(), 0);
    QTest::mouseClick(editor->viewport(), Qt::LeftButton, Qt::ControlModifier, linkPoint);
    QCOMPARE(m_catcher->urls, QList<QUrl>{QUrl(QStringLiteral("https://example.org/d"))});
    // Edit Link over the link under the cursor replaces text and target.
    QTRY_VERIFY(!editor->findChild<LinkDialog*>());
    placeCursor(6);
    editor->editLinkDialog();
    dialog = editor->findChild<LinkDialog*>(QStringLiteral("linkDialog"));
    QVERIFY(dialog);
    auto* textEdit = dialog->findChild<QLineEdit*>(QStringLiteral("linkTextEdit"));
    textEdit->selectAll();
    QTest::keyClicks(textEdit, QStringLiteral("manual"));
    QTest::mouseClick(dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
    QCOMPARE(editor->bodyJson(), json(R"([{"insert":"see "},{"attributes":{"link":"https://example.org/d"},"insert":"manual"},)"
                                      R"({"insert":"! now"},{"insert":"\n"}])"));

    placeCursor(7);
    editor->removeLinkAtCursor();
    QCOMPARE(editor->bodyJson(), json(R"([{"insert":"see manual! now"},{"insert":"\n"}])"));
}

void tst_NoteEditor::tableDialogAndMenu()
{
    NoteEditor* editor = makeEditor();
    QVERIFY(editor);
    editor->loadNote(kNoteId, json(R"([{"insert":"intro\n"}])"));
    placeCursor(5);
    editor->insertTableDialog();
    auto* dialog = editor->findChild<TableDialog*>(QStringLiteral("tableDialog"));
    QVERIFY(dialog);
    auto* rows = dialog->findChild<QSpinBox*>(QStringLiteral("tableRowsSpin"));
    auto* columns = dialog->findChild<QSpinBox*>(QStringLiteral("tableColumnsSpin"));
    rows->setValue(2);
    columns->setValue(2);
    QTest::mouseClick(dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok), Qt::LeftButton);

    QTextTable* table = editor->textCursor().currentTable();
    QVERIFY(table);
    QCOMPARE(table->cellAt(editor->textCursor()).row(), 0);
    QTest::keyClicks(editor, QStringLiteral("H"));
    QTest::keyClick(editor, Qt::Key_Tab);
    QTest::keyClick(editor, Qt::Key_Tab);
    QTest::keyClicks(editor, QStringLiteral("v"));
    const QString withTable =
        json(R"([{"insert":"intro"},{"insert":"\n"},{"insert":"\n"},)"
             R"({"insert":{"table":"{\"cells\":[[[{\"attributes\":{\"bold\":true},)"
             R"(\"insert\":\"H\"}],[]],[[{\"insert\":\"v\"}],[]]],\"hasHeader\":true}"}},{"insert":"\n"}])");
    QCOMPARE(editor->bodyJson(), withTable);

    // Nested tables are not made.
    editor->insertTable(2, 2, false);
    QCOMPARE(editor->bodyJson(), withTable);
    QTRY_VERIFY(!editor->findChild<TableDialog*>());
    editor->insertTableDialog();
    QVERIFY(!editor->findChild<TableDialog*>());

    const auto trigger = [&](const QString& text) {
        std::unique_ptr<QMenu> menu(editor->createContextMenuAt(editor->cursorRect().center()));
        QCOMPARE(menu->objectName(), QStringLiteral("tableMenu"));
        for (QAction* action : menu->actions()) {
            if (action->text() == text) {
                action->trigger();
                return;
            }
        }
        QFAIL(qPrintable(QStringLiteral("no menu item ") + text));
    };
    trigger(QStringLiteral("Insert Column After"));
    QCOMPARE(table->columns(), 3);
    trigger(QStringLiteral("Delete Row"));
    QCOMPARE(table->rows(), 1);
    // The only row: the whole table goes, in one undo step.
    trigger(QStringLiteral("Delete Row"));
    QCOMPARE(editor->bodyJson(), json(R"([{"insert":"intro"},{"insert":"\n"},{"insert":"\n"}])"));
    editor->undo();
    QVERIFY(editor->bodyJson().contains(QStringLiteral("\"table\"")));
}

void tst_NoteEditor::insertAttachmentAndTooltip()
{
    NoteEditor* editor = makeEditor();
    QVERIFY(editor);
    editor->loadNote(kNoteId, json(R"([{"insert":"see \n"}])"));
    placeCursor(4);
    const QString path = m_dir->filePath(QStringLiteral("report.txt"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(1536, 'r'));
    file.close();

    QVERIFY(editor->insertAttachmentFromPath(path));
    const QList<Attachment> stored = m_attachments->attachmentsForNote(kNoteId);
    QCOMPARE(stored.size(), 1);
    const Attachment a = stored.first();
    QCOMPARE(a.filename, QStringLiteral("report.txt"));
    QCOMPARE(a.mimeType, QStringLiteral("text/plain"));
    QCOMPARE(a.sizeBytes, 1536);
    QCOMPARE(m_attachments->fileData(a.id), QByteArray(1536, 'r'));
    QCOMPARE(editor->bodyJson(), json(R"([{"insert":"see "},)"
                                                R"({"insert":{"norvane-notes-attachment":"norvane-notes://attachment/%1"}},)"
                                                R"({"insert":"\n"}])")
                                     .arg(a.id));
    QVERIFY(!editor->isSaved());

    const QPoint chip = objectCenter(4);
    QCOMPARE(editor->attachmentIdAt(chip), a.id);
    QHelpEvent tip(QEvent::ToolTip, chip, editor->viewport()->mapToGlobal(chip));
    QApplication::sendEvent(editor->viewport(), &tip);
    QCOMPARE(QToolTip::text(), QStringLiteral("report.txt (1.5 KB)\n(Double-click to open, right-click for more)"));

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^insertAttachmentFromPath: can't open")));
    QVERIFY(!editor->insertAttachmentFromPath(m_dir->filePath(QStringLiteral("missing.bin"))));
    QCOMPARE(m_attachments->attachmentsForNote(kNoteId).size(), 1);

    // The dialog's choice goes the same way.
    Interaction::Script script;
    script.answerText(path);
    editor->insertAttachmentDialog();
    QCOMPARE(script.requests().size(), 1);
    QCOMPARE(m_attachments->attachmentsForNote(kNoteId).size(), 2);
}

void tst_NoteEditor::openAttachmentStaysInItsFolder_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("expectedName"); // %1 = the attachment id
    QTest::newRow("plain") << QStringLiteral("photo.png") << QStringLiteral("photo.png");
    QTest::newRow("empty") << QString() << QStringLiteral("%1.bin");
    QTest::newRow("parent climb") << QStringLiteral("../../x") << QStringLiteral("x");
    QTest::newRow("absolute") << QStringLiteral("ABS/escaped.txt") << QStringLiteral("escaped.txt");
    QTest::newRow("backslashes") << QStringLiteral("..\\..\\win.txt") << QStringLiteral("win.txt");
    QTest::newRow("dot dot") << QStringLiteral("..") << QStringLiteral("%1.bin");
    QTest::newRow("trailing slash") << QStringLiteral("dir/") << QStringLiteral("%1.bin");
}

void tst_NoteEditor::openAttachmentStaysInItsFolder()
{
    QFETCH(QString, fileName);
    QFETCH(QString, expectedName);
    fileName.replace(QLatin1String("ABS"), m_tempRoot);

    NoteEditor* editor = makeEditor();
    QVERIFY(editor);
    const QString id = addAttachment(QStringLiteral("stored-name"), QStringLiteral("text/plain"), "payload");
    QVERIFY(!id.isEmpty());
    const QStringList before = QDir(m_tempRoot).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

    QVERIFY(editor->openAttachment(id, fileName));
    const QString folder = NoteEditor::attachmentTempDirectory(id);
    QCOMPARE(folder, m_tempRoot + QStringLiteral("/a/b/norvane-notes/") + id);
    if (expectedName.contains(QLatin1String("%1")))
        expectedName = expectedName.arg(id);
    const QString expected = folder + QLatin1Char('/') + expectedName;
    QFile written(expected);
    QVERIFY2(written.open(QIODevice::ReadOnly), qPrintable(expected));
    QCOMPARE(written.readAll(), QByteArray("payload"));
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{expectedName});
    QCOMPARE(m_catcher->urls, QList<QUrl>{QUrl::fromLocalFile(expected)});
    // Nothing appeared anywhere else in the folder tree we own.
    QCOMPARE(QDir(m_tempRoot).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
    QVERIFY(!QFile::exists(m_tempRoot + QStringLiteral("/escaped.txt")));
    QVERIFY(!QFile::exists(m_tempRoot + QStringLiteral("/a/b/x")));

    // Ids that would name a folder outside ours are refused.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^openAttachment: refusing")));
    QVERIFY(!editor->openAttachment(QStringLiteral("../x"), fileName));
}

void tst_NoteEditor::copySaveAndRemoveAttachment()
{
    NoteEditor* editor = makeEditor();
    QVERIFY(editor);
    const QString id = addAttachment(QStringLiteral("notes.pdf"), QStringLiteral("application/pdf"), "%PDF-1.4 x");
    editor->loadNote(kNoteId, json(R"([{"insert":"a"},{"insert":{"norvane-notes-attachment":"%1"}},)"
                                             R"({"insert":"b\n"}])")
                                  .arg(id));

    QVERIFY(editor->copyAttachmentFile(id));
    const QString copy = NoteEditor::attachmentTempDirectory(id) + QStringLiteral("/notes.pdf");
    QCOMPARE(QGuiApplication::clipboard()->mimeData()->urls(), QList<QUrl>{QUrl::fromLocalFile(copy)});
    QVERIFY(QFile::exists(copy));

    const QString target = m_dir->filePath(QStringLiteral("saved.pdf"));
    {
        Interaction::Script script;
        script.answerText(target);
        editor->saveAttachmentAs(id, QStringLiteral("notes.pdf"));
        QCOMPARE(script.requests().size(), 1);
        QCOMPARE(script.requests().first().text, QDir::homePath() + QStringLiteral("/notes.pdf"));
    }
    QFile saved(target);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), QByteArray("%PDF-1.4 x"));
    {
        Interaction::Script script;
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("^saveAttachmentAs: empty/missing file for")));
        editor->saveAttachmentAs(QStringLiteral("unknown"), QStringLiteral("x"));
        QCOMPARE(script.requests().size(), 0);
    }

    // The cursor right after the object: the character before it is removed.
    const QString withObject = editor->bodyJson();
    placeCursor(2);
    editor->removeAttachmentAtCursor(id);
    QCOMPARE(editor->bodyJson(), json(R"([{"insert":"ab"},{"insert":"\n"}])"));
    // Nothing else is removed when the cursor is not next to that attachment.
    placeCursor(1);
    editor->removeAttachmentAtCursor(id);
    QCOMPARE(editor->bodyJson(), json(R"([{"insert":"ab"},{"insert":"\n"}])"));
    // Undo brings the attachment back whole: row and file are still there.
    QTest::keyClick(editor, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(editor->bodyJson(), withObject);
    QCOMPARE(m_attachments->fileData(id), QByteArray("%PDF-1.4 x"));
    // Leaving the note with the attachment shown keeps it; removed, with nothing else (the stored
    // body, a snapshot) referring to it, it goes.
    editor->clear();
    QVERIFY(m_attachments->attachmentById(id));
    editor->loadNote(kNoteId, withObject);
    placeCursor(2);
    editor->removeAttachmentAtCursor(id);
    editor->loadNote(newId(), json(R"([{"insert":"other\n"}])"));
    QVERIFY(!m_attachments->attachmentById(id));
    QVERIFY(!QFile::exists(m_attachments->filePath(id)));
}

void tst_NoteEditor::doubleClickOpensImageOrFile()
{
    NoteEditor* editor = makeEditor();
    QVERIFY(editor);
    const QString image = addAttachment(QStringLiteral("pic.png"), QStringLiteral("image/png"), pngBytes());
    const QString broken = addAttachment(QStringLiteral("bad.png"), QStringLiteral("image/png"), "not a png");
    const QString file = addAttachment(QStringLiteral("data.csv"), QStringLiteral("text/csv"), "a,b");
    editor->loadNote(kNoteId, json(R"([{"insert":{"norvane-notes-attachment":"%1"}},{"insert":"\n"},)"
                                             R"({"insert":{"norvane-notes-attachment":"%2"}},{"insert":"\n"},)"
                                             R"({"insert":{"norvane-notes-attachment":"%3"}},{"insert":"\n"}])")
                                  .arg(image, broken, file));

    QTest::mouseDClick(editor->viewport(), Qt::LeftButton, {}, objectCenter(0));
    auto* lightbox = editor->findChild<ImageLightbox*>(QStringLiteral("imageLightbox"));
    QVERIFY(lightbox);
    QVERIFY(lightbox->isModal());
    QCOMPARE(m_catcher->urls.size(), 0);
    QPointer<ImageLightbox> guard(lightbox);
    lightbox->close();
    QTRY_VERIFY(guard.isNull());

    QTest::mouseDClick(editor->viewport(), Qt::LeftButton, {}, objectCenter(2));
    QCOMPARE(m_catcher->urls,
             QList<QUrl>{QUrl::fromLocalFile(NoteEditor::attachmentTempDirectory(broken) + QStringLiteral("/bad.png"))});
    QTest::mouseDClick(editor->viewport(), Qt::LeftButton, {}, objectCenter(4));
    QCOMPARE(m_catcher->urls.last(),
             QUrl::fromLocalFile(NoteEditor::attachmentTempDirectory(file) + QStringLiteral("/data.csv")));
    QVERIFY(!editor->findChild<ImageLightbox*>());

}

void tst_NoteEditor::dropInsertsLocalFiles()
{
    NoteEditor* editor = makeEditor();
    QVERIFY(editor);
    editor->loadNote(kNoteId, json(R"([{"insert":"x\n"}])"));
    QStringList paths;
    for (const QString& name : {QStringLiteral("one.txt"), QStringLiteral("two.txt")}) {
        QFile f(m_dir->filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(name.toUtf8());
        paths << f.fileName();
    }
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(paths[0]), QUrl(QStringLiteral("https://example.org/")),
                  QUrl::fromLocalFile(paths[1])});
    const QPoint end = editor->cursorRect(QTextCursor(editor->document()->lastBlock())).center() + QPoint(40, 0);
    QDragEnterEvent enter(end, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(editor->viewport(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(end), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(editor->viewport(), &drop);
    QVERIFY(drop.isAccepted());

    const QList<Attachment> stored = m_attachments->attachmentsForNote(kNoteId);
    QCOMPARE(stored.size(), 2);
    QStringList names;
    for (const Attachment& a : stored)
        names << a.filename;
    QCOMPARE(names, (QStringList{QStringLiteral("one.txt"), QStringLiteral("two.txt")}));
    const QString expected = json(R"([{"insert":"x"},)"
                                 R"({"insert":{"norvane-notes-attachment":"norvane-notes://attachment/%1"}},)"
                                 R"({"insert":{"norvane-notes-attachment":"norvane-notes://attachment/%2"}},)"
                                 R"({"insert":"\n"}])");
    // Creation times may tie; the body order is the drop order either way.
    const bool inOrder = editor->bodyJson() == expected.arg(stored[0].id, stored[1].id);
    QVERIFY2(inOrder || editor->bodyJson() == expected.arg(stored[1].id, stored[0].id), qPrintable(editor->bodyJson()));
    QVERIFY(editor->bodyJson().indexOf(m_attachments->attachmentsForNote(kNoteId).first().id) > 0);
}

void tst_NoteEditor::objectsNextToTableAreSaved_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("above");

    for (const char* how : {"insert", "paste", "drop"}) {
        QTest::newRow(qPrintable(QStringLiteral("%1 above").arg(QLatin1String(how)))) << how << true;
        QTest::newRow(qPrintable(QStringLiteral("%1 below").arg(QLatin1String(how)))) << how << false;
    }
}

void tst_NoteEditor::objectsNextToTableAreSaved()
{
    QFETCH(QString, how);
    QFETCH(bool, above);

    NoteEditor* editor = makeEditor();
    QVERIFY(editor);
    // A table on the first line: the empty lines around it are the spacers the table brings.
    editor->loadNote(kNoteId, json(R"([{"insert":{"table":"{\"cells\":[[\"a\",\"b\"]],\"hasHeader\":false}"}},)"
                                   R"({"insert":"\n"}])"));
    const auto* table = qobject_cast<QTextTable*>(editor->document()->rootFrame()->childFrames().value(0));
    QVERIFY(table);
    const QTextBlock line =
        editor->document()->findBlock(above ? table->firstPosition() - 1 : table->lastPosition() + 1);
    QVERIFY(line.isValid() && line.text().isEmpty() && !QTextCursor(line).currentTable());
    placeCursor(line.position());

    const QString path = m_dir->filePath(QStringLiteral("photo.png"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(pngBytes());
    file.close();
    QString id;
    if (how == QLatin1String("insert")) {
        QVERIFY(editor->insertAttachmentFromPath(path));
    } else if (how == QLatin1String("paste")) {
        id = addAttachment(QStringLiteral("photo.png"), QStringLiteral("image/png"), pngBytes());
        auto* mime = new QMimeData;
        mime->setData(QLatin1String(NoteEditor::kDeltaMimeType),
                      json(R"([{"insert":{"norvane-notes-attachment":"norvane-notes://attachment/%1"}},)"
                           R"({"insert":"\n"}])")
                          .arg(id)
                          .toUtf8());
        QGuiApplication::clipboard()->setMimeData(mime);
        QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
    } else {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        // A point of the viewport that the editor maps to that line (the line above a table is thin).
        QPoint at(20, -1);
        for (int y = 0; y < editor->viewport()->height() && at.y() < 0; ++y) {
            if (editor->cursorForPosition(QPoint(at.x(), y)).block() == line)
                at.setY(y);
        }
        QVERIFY(at.y() >= 0);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(editor->viewport(), &enter);
        QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(editor->viewport(), &drop);
        QVERIFY(drop.isAccepted());
    }
    if (id.isEmpty()) {
        const QList<Attachment> stored = m_attachments->attachmentsForNote(kNoteId);
        QCOMPARE(stored.size(), 1);
        id = stored.first().id;
    }
    const QString saved = editor->bodyJson();
    QVERIFY2(saved.contains(id), qPrintable(saved));
    editor->loadNote(kNoteId, saved, true);
    QVERIFY2(editor->bodyJson().contains(id), qPrintable(editor->bodyJson()));
    QCOMPARE(qobject_cast<QTextTable*>(editor->document()->rootFrame()->childFrames().value(0))
                 ->cellAt(0, 1)
                 .firstCursorPosition()
                 .block()
                 .text(),
             QStringLiteral("b"));
}

void tst_NoteEditor::contextMenus()
{
    NoteEditor* editor = makeEditor();
    QVERIFY(editor);
    const QString file = addAttachment(QStringLiteral("a.txt"), QStringLiteral("text/plain"), "abc");
    editor->loadNote(kNoteId,
                     json(R"([{"insert":{"norvane-notes-attachment":"%1"}},{"insert":"\n"},)"
                                    R"({"attributes":{"link":"https://x.org"},"insert":"link"},{"insert":"\nplain\n"}])")
                         .arg(file));
    const auto texts = [](QMenu* menu) {
        QStringList out;
        for (QAction* action : menu->actions())
            out << (action->isSeparator() ? QStringLiteral("-") : action->text());
        return out;
    };
    std::unique_ptr<QMenu> menu(editor->createContextMenuAt(objectCenter(0)));
    QCOMPARE(texts(menu.get()), (QStringList{QStringLiteral("Open"), QStringLiteral("Save As…"),
                                             QStringLiteral("Copy File"), QStringLiteral("-"),
                                             QStringLiteral("Remove Attachment")}));
    QTextCursor onLink(editor->document());
    onLink.setPosition(4);
    menu.reset(editor->createContextMenuAt(editor->cursorRect(onLink).center()));
    QCOMPARE(texts(menu.get()), (QStringList{QStringLiteral("Open Link"), QStringLiteral("Copy Link Address"),
                                             QStringLiteral("-"), QStringLiteral("Edit Link…"),
                                             QStringLiteral("Remove Link")}));
    QCOMPARE(editor->textCursor().position(), 4); // the cursor moved to the click
    menu->actions().at(1)->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("https://x.org"));

    QTextCursor onPlain(editor->document());
    onPlain.setPosition(9);
    menu.reset(editor->createContextMenuAt(editor->cursorRect(onPlain).center()));
    QCOMPARE(menu->objectName(), QStringLiteral("standardMenu"));
}

void tst_NoteEditor::wordCount_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("no-break space joins") << QStringLiteral("a\u00a0b c");
    QTest::newRow("soft line break") << QStringLiteral("a\u2028b");
}

void tst_NoteEditor::wordCount()
{
    QFETCH(QString, text);
    // The count equals a split on "\s+" with empty parts skipped.
    const int expected = text.trimmed().isEmpty()
                             ? 0
                             : int(text.trimmed().split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts).size());
    QCOMPARE(NoteEditor::countWords(text), expected);

    NoteEditor* editor = makeEditor();
    QVERIFY(editor);
    editor->loadNote(kNoteId, QString());
    QSignalSpy words(editor, &NoteEditor::wordCountChanged);
    QTextCursor(editor->document()).insertText(text + QStringLiteral(" x"));
    // Counted per line and cached, the editor still counts what the plain text holds.
    QCOMPARE(editor->wordCount(), NoteEditor::countWords(editor->document()->toPlainText()));
    QCOMPARE(words.last().at(0).toInt(), editor->wordCount());
    // Edits inside a line, joins and splits of lines, undo: the cached counts follow.
    QTextCursor cursor(editor->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QStringLiteral("y\nz w"));
    QCOMPARE(words.last().at(0).toInt(), NoteEditor::countWords(editor->document()->toPlainText()));
    cursor.movePosition(QTextCursor::Start);
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    QCOMPARE(words.last().at(0).toInt(), 0);
    editor->undo();
    QCOMPARE(editor->wordCount(), NoteEditor::countWords(editor->document()->toPlainText()));
    QCOMPARE(words.last().at(0).toInt(), editor->wordCount());
}

void tst_NoteEditor::themeChangeKeepsPendingEdits()
{
    NoteEditor* editor = makeEditor();
    QVERIFY(editor);
    ThemeManager themes(nullptr);
    themes.setTheme(ThemeManager::Light);
    editor->setThemeManager(&themes);
    editor->loadNote(kNoteId, json(R"([{"insert":"code"},{"attributes":{"code-block":true},"insert":"\n"}])"));
    QCOMPARE(editor->document()->firstBlock().blockFormat().background().color(), QColor(QStringLiteral("#ECEEF1")));
    placeCursor(4);
    QTest::keyClicks(editor, QStringLiteral("!"));
    QSignalSpy modified(editor, &NoteEditor::noteModified);
    QString handedOver;
    connect(editor, &NoteEditor::noteModified, this, [&] { handedOver = editor->bodyJson(); });

    // Colours are baked in when a note loads: the theme change reloads it, but not before the
    // unsaved keystroke went to the owner.
    themes.setTheme(ThemeManager::Dark);
    QCOMPARE(modified.count(), 1);
    QCOMPARE(handedOver, json(R"([{"attributes":{"code":true},"insert":"code!"},{"attributes":{"code-block":true},"insert":"\n"}])"));
    QVERIFY(editor->isSaved());
    QCOMPARE(editor->bodyJson(), handedOver);
    QCOMPARE(editor->document()->firstBlock().blockFormat().background().color(), QColor(QStringLiteral("#2A2D31")));
    QCOMPARE(editor->textCursor().position(), 5);

    // Saved and unchanged: a theme change hands nothing over.
    themes.setTheme(ThemeManager::Light);
    QCOMPARE(modified.count(), 1);
    QApplication::setPalette(ThemeManager::lightPalette());
}

void tst_NoteEditor::refreshAttachmentsShowsArrivedFiles()
{
    NoteEditor* editor = makeEditor();
    QVERIFY(editor);
    // The row is there, the file has not been downloaded yet.
    Attachment a;
    a.id = newId();
    a.noteId = kNoteId;
    a.filename = QStringLiteral("late.png");
    a.mimeType = QStringLiteral("image/png");
    a.createdAt = QDateTime::currentDateTimeUtc();
    QVERIFY(m_attachments->insert(a));
    editor->loadNote(kNoteId, json(R"([{"insert":{"norvane-notes-attachment":"%1"}},{"insert":"\n"}])").arg(a.id));
    const QString url = attachmentUrl(a.id);
    QCOMPARE(editor->cursorRect(QTextCursor(editor->document())).height() < 100, true);
    QVERIFY(editor->attachmentRenderer()->entry(url).image.isNull());

    QVERIFY(m_attachments->saveFile(a.id, pngBytes()));
    editor->refreshAttachments();
    QCOMPARE(editor->attachmentRenderer()->entry(url).image.size(), QSize(300, 200));
    // Laid out again at the picture's size.
    QTextCursor after(editor->document());
    after.setPosition(1);
    QCOMPARE(editor->cursorRect(after).height() >= 200, true);
    QVERIFY(editor->isSaved());
}

QTEST_MAIN(tst_NoteEditor)
#include "tst_NoteEditor.moc"
