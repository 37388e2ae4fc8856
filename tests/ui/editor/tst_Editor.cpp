#include "../../TestLibrary.h"
#include "AttachmentRepository.h"
#include "DeltaFormat.h"
#include "EditorToolbar.h"
#include "FindBar.h"
#include "ImageLightbox.h"
#include "Interaction.h"
#include "LinkDialog.h"
#include "NoteEditor.h"
#include "NoteRepository.h"
#include "TableDialog.h"
#include "ThemeManager.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QGraphicsView>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QSpinBox>
#include <QTextBlock>
#include <QTextTable>
#include <QVBoxLayout>
#include <QtTest>
#include <memory>

namespace {

const QString kNoteId = QStringLiteral("11111111-2222-3333-4444-555555555555");

QString json(const char* text)
{
    return QString::fromUtf8(text);
}

QImage picture(int width = 300, int height = 200)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    return image;
}

// A real 300 x 200 PNG.
QByteArray pngBytes()
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    picture().save(&buffer, "PNG");
    return buffer.data();
}

// Bodies in a short notation: each line ends with "\n"; *bold*, _italic_ and `code` runs; the line's
// kind after "#": h1..h6, code-block or a list type ("#h2+bullet" for both). Spelled out the way the
// editor saves a body: each line's runs, then its line end.
QString delta(const char* notation)
{
    static const QRegularExpression run(QStringLiteral(R"(\*([^*]+)\*|_([^_]+)_|`([^`]+)`|([^*_`]+))"));
    const char* const styles[] = {"bold", "italic", "code"};
    QJsonArray ops;
    const QStringList lines = QString::fromUtf8(notation).chopped(1).split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        for (const QRegularExpressionMatch& m : run.globalMatch(line.section(QLatin1Char('#'), 0, 0))) {
            QJsonObject op{{QStringLiteral("insert"), m.captured(m.lastCapturedIndex())}};
            if (m.lastCapturedIndex() < 4)
                op.insert(QStringLiteral("attributes"), QJsonObject{{styles[m.lastCapturedIndex() - 1], true}});
            ops.append(op);
        }
        QJsonObject kinds;
        for (const QString& kind : line.section(QLatin1Char('#'), 1).split(QLatin1Char('+'), Qt::SkipEmptyParts)) {
            if (kind.startsWith(QLatin1Char('h')))
                kinds.insert(QStringLiteral("header"), kind.mid(1).toInt());
            else if (kind == QLatin1String("code-block"))
                kinds.insert(kind, true);
            else
                kinds.insert(QStringLiteral("list"), kind);
        }
        QJsonObject end{{QStringLiteral("insert"), QStringLiteral("\n")}};
        if (!kinds.isEmpty())
            end.insert(QStringLiteral("attributes"), kinds);
        ops.append(end);
    }
    return QString::fromUtf8(QJsonDocument(ops).toJson(QJsonDocument::Compact));
}

QTextTable* firstTable(QTextDocument* document)
{
    return qobject_cast<QTextTable*>(document->rootFrame()->childFrames().value(0));
}

} // namespace

// Receives what the editor hands to the desktop: opened files and web links.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls.append(url); }
};

// The editor with its bars, stacked as the windows stack them; its lightbox on its own.
class tst_Editor : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestDb> m_db;
    std::unique_ptr<AttachmentRepository> m_attachments;
    std::unique_ptr<QWidget> m_window;
    NoteEditor* m_editor = nullptr;
    EditorToolbar* m_toolbar = nullptr;
    FindBar* m_find = nullptr;
    UrlCatcher m_catcher;
    QString m_tempRoot;

    QString addAttachment(const QString& fileName, const QString& mime, const QByteArray& bytes)
    {
        Attachment a;
        a.id = newId();
        a.noteId = kNoteId;
        a.filename = fileName;
        a.mimeType = mime;
        a.sizeBytes = bytes.size();
        a.createdAt = QDateTime::currentDateTimeUtc();
        return m_attachments->saveFile(a.id, bytes) && m_attachments->insert(a) ? a.id : QString();
    }

    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        QFile file(m_db->dir.filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() ? file.fileName() : QString();
    }

    void placeCursor(int position, int anchor = -1)
    {
        QTextCursor cursor(m_editor->document());
        cursor.setPosition(anchor < 0 ? position : anchor);
        cursor.setPosition(position, QTextCursor::KeepAnchor);
        m_editor->setTextCursor(cursor);
    }

    void paste(QMimeData* mime)
    {
        QGuiApplication::clipboard()->setMimeData(mime);
        QTest::keyClick(m_editor, Qt::Key_V, Qt::ControlModifier);
    }

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase()
    {
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    }
    void autosaveAndLoad();
    void reload_data();
    void reload();
    void keys_data();
    void keys();
    void paste_data();
    void paste();
    void checkBoxClickIsAnEdit();
    void links();
    void tableDialogAndMenu();
    void attachmentsAreSaved_data();
    void attachmentsAreSaved();
    void openAttachmentStaysInItsFolder_data();
    void openAttachmentStaysInItsFolder();
    void copySaveAndRemoveAttachment();
    void themeChangeKeepsPendingEdits();
    void refreshAttachmentsShowsArrivedFiles();
    void toolbarActionsEditTheNote_data();
    void toolbarActionsEditTheNote();
    void headingComboSetsAndClearsHeadings();
    void insertsRefusedInTableCellsAreOff_data();
    void insertsRefusedInTableCellsAreOff();
    void findCountsWrapsAndRecounts();
    void findTakesSelectionAndCloses();
    void lightboxKeysAndWheel_data();
    void lightboxKeysAndWheel();
};

void tst_Editor::initTestCase()
{
    QApplication::setPalette(ThemeManager::lightPalette());
    // Temporary copies of attachments land two levels below a folder we own, so a name that
    // climbs out of its folder would still be caught inside it.
    static QTemporaryDir temp;
    QVERIFY(temp.isValid());
    m_tempRoot = temp.path();
    QDir().mkpath(m_tempRoot + QStringLiteral("/a/b"));
    qputenv("TMPDIR", (m_tempRoot + QStringLiteral("/a/b")).toLocal8Bit());
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &m_catcher, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &m_catcher, "open");
}

void tst_Editor::init()
{
    m_db = std::make_unique<TestDb>();
    QVERIFY(m_db->ok);
    NoteRepository notes(&m_db->database);
    QVERIFY(notes.insert(makeNote(kNoteId, QString::fromLatin1(kEmptyBody))));
    m_attachments = std::make_unique<AttachmentRepository>(&m_db->database, nullptr,
                                                           m_db->dir.filePath(QStringLiteral("attachments")));
    m_catcher.urls.clear();
    m_window = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(m_window.get());
    m_editor = new NoteEditor(m_attachments.get(), m_window.get());
    m_toolbar = new EditorToolbar(m_editor, m_window.get());
    m_find = new FindBar(m_editor, m_window.get());
    layout->addWidget(m_toolbar);
    layout->addWidget(m_editor, 1);
    layout->addWidget(m_find);
    m_window->resize(900, 600);
    m_window->show();
    m_window->activateWindow();
    m_editor->setFocus();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void tst_Editor::cleanup()
{
    m_window.reset();
    m_attachments.reset();
    m_db.reset();
}

void tst_Editor::autosaveAndLoad()
{
    QSignalSpy modified(m_editor, &NoteEditor::noteModified);
    m_editor->loadNote(kNoteId, delta("alpha beta\n"));

    QString bodyAtSave;
    connect(m_editor, &NoteEditor::noteModified, this, [&] {
        // The owner saves while the editor still reports unsaved changes.
        QVERIFY(!m_editor->isSaved());
        bodyAtSave = m_editor->bodyJson();
    });
    // Keys 400 ms apart, longer in all than the autosave delay: every key postpones the save.
    m_editor->moveCursor(QTextCursor::End);
    for (const char key : {' ', 'o', 'n', 'e'}) {
        QTest::keyClick(m_editor, key);
        QVERIFY(!m_editor->isSaved());
        QTest::qWait(400);
        QCOMPARE(modified.count(), 0);
    }
    QTRY_COMPARE_WITH_TIMEOUT(modified.count(), 1, 5000);
    QVERIFY(m_editor->isSaved());
    QCOMPARE(bodyAtSave, delta("alpha beta one\n"));

    // Clearing is not an edit either, and nothing is left to save.
    QTest::keyClick(m_editor, Qt::Key_X);
    m_editor->clear();
    QVERIFY(m_editor->isSaved() && m_editor->isReadOnly() && !m_editor->autosaveTimer()->isActive());
}

void tst_Editor::reload_data()
{
    QTest::addColumn<QString>("secondId");
    QTest::addColumn<QString>("secondBody");
    QTest::addColumn<bool>("force");
    QTest::addColumn<bool>("dirty");
    QTest::addColumn<QPoint>("selection"); // anchor and position after the second load
    QTest::addColumn<bool>("reloaded");

    const QString same = delta("hello world\n");
    // Same note, same body (key order and spacing do not count), saved: nothing happens.
    QTest::newRow("unforced identical reordered")
        << kNoteId << json(R"([ {"insert": "hello world"}, {"insert": "\n"} ])") << false << false << QPoint(2, 7)
        << false;
    QTest::newRow("unforced changed body keeps cursor")
        << kNoteId << delta("hello there world\n") << false << false << QPoint(2, 7) << true;
    QTest::newRow("forced shorter clamps") << kNoteId << delta("hey\n") << true << false << QPoint(2, 3) << true;
    QTest::newRow("unforced while dirty reloads") << kNoteId << same << false << true << QPoint(2, 7) << true;
    QTest::newRow("other note starts at top") << QStringLiteral("other") << same << false << false << QPoint() << true;
}

void tst_Editor::reload()
{
    QFETCH(QString, secondId);
    QFETCH(QString, secondBody);
    QFETCH(bool, force);
    QFETCH(bool, dirty);
    QFETCH(QPoint, selection);
    QFETCH(bool, reloaded);

    m_editor->loadNote(kNoteId, delta("hello world\n"));
    if (dirty) {
        // Formatting changes the document without changing its text or the selection.
        placeCursor(1, 0);
        m_editor->toggleItalic();
    }
    placeCursor(7, 2);
    QSignalSpy saved(m_editor, &NoteEditor::savedStateChanged);
    m_editor->loadNote(secondId, secondBody, force);
    QCOMPARE(QPoint(m_editor->textCursor().anchor(), m_editor->textCursor().position()), selection);
    QCOMPARE(saved.count(), reloaded ? 1 : 0);
    QVERIFY(m_editor->isSaved());
}

void tst_Editor::keys_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<QString>("expected"); // empty: the body stays as it is
    QTest::addColumn<int>("cursorAfter");  // -1: not checked
    const auto row = [](const char* name, const char* body, int cursor, const char* keys, const char* expected,
                        int cursorAfter = -1) {
        QTest::newRow(name) << delta(body) << cursor << QKeySequence(QString::fromLatin1(keys))
                            << (*expected ? delta(expected) : QString()) << cursorAfter;
    };
    row("ctrl+1 heading 1 is bold", "Title\n", 0, "Ctrl+1", "*Title*#h1\n");
    row("ctrl+shift+9 check list", "Title\n", 0, "Ctrl+Shift+9", "Title#unchecked\n");
    row("check list toggle takes a ticked item out", "Done#checked\n", 0, "Ctrl+Shift+9", "Done\n");
    row("code block replaces heading and list", "x#h2+bullet\n", 0, "Ctrl+Shift+`", "`x`#code-block\n");
    row("ctrl+b inside a word bolds the word", "one two\n", 5, "Ctrl+B", "one *two*\n");
    row("ctrl+l then ctrl+i italic line", "one two\n", 1, "Ctrl+L, Ctrl+I", "_one two_\n");
    // At a word boundary only what is typed next changes.
    row("ctrl+b at word end then typing", "one\n", 3, "Ctrl+B, Z", "one*z*\n");
    row("ctrl+w twice deletes the previous words", "first line\nsecond *bold* end\n", 22, "Ctrl+W, Ctrl+W",
        "first line\n end\n", 11);

    row("enter on empty bullet leaves the list", "a#bullet\n#bullet\n", 2, "Return", "a#bullet\n\n", 2);
    row("enter at the start of an item opens a plain line above", "a#bullet\n", 0, "Return", "\na#bullet\n", 0);
    row("enter after a ticked item starts an open one", "a#checked\n", 1, "Return", "a#checked\n#unchecked\n", 2);
    row("backspace on first empty item keeps the next item", "#bullet\n*b*#checked\n", 0, "Backspace", "*b*#checked\n",
        0);
    row("backspace at start of a later item leaves the list", "a#unchecked\nb#unchecked\n", 2, "Backspace",
        "a#unchecked\nb\n", 2);

    row("alt+down moves a heading below a list item, same column", "*one*#h2\ntwo#bullet\nthree\n", 1, "Alt+Down",
        "two#bullet\n*one*#h2\nthree\n", 5);
    row("alt+down on the last line changes nothing", "*one*#h2\ntwo#bullet\nthree\n", 12, "Alt+Down", "", 12);
    row("ctrl+shift+d duplicates into the copy", "a#checked\nb _c_\nlast\n", 3, "Ctrl+Shift+D",
        "a#checked\nb _c_\nb _c_\nlast\n", 7);
    row("ctrl+shift+k deletes the line", "a#checked\nb _c_\nlast\n", 3, "Ctrl+Shift+K", "a#checked\nlast\n");
    row("copy and paste keep check and code lines", "task#checked\n`code`#code-block\n", 0, "Ctrl+A, Ctrl+C, Ctrl+V",
        "task#checked\n`code`#code-block\n");
    row("ctrl+shift+k keeps the last line empty", "a#checked\nb _c_\nlast\n", 9, "Ctrl+Shift+K",
        "a#checked\nb _c_\n\n");
}

void tst_Editor::keys()
{
    QFETCH(QString, body);
    QFETCH(int, cursor);
    QFETCH(QKeySequence, keys);
    QFETCH(QString, expected);
    QFETCH(int, cursorAfter);

    m_editor->loadNote(kNoteId, body);
    const QString loaded = m_editor->bodyJson();
    placeCursor(cursor);
    QTest::keySequence(m_editor, keys);
    QCOMPARE(m_editor->bodyJson(), expected.isEmpty() ? loaded : expected);
    if (cursorAfter >= 0)
        QCOMPARE(m_editor->textCursor().position(), cursorAfter);
    // A single key is a single undo step; every step can be undone, back to the body as loaded.
    QCOMPARE(m_editor->document()->isUndoAvailable(), !expected.isEmpty());
    for (int step = 0; step < keys.count() && m_editor->document()->isUndoAvailable(); ++step)
        m_editor->undo();
    QCOMPARE(m_editor->bodyJson(), loaded);
}

void tst_Editor::paste_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("data");
    QTest::addColumn<QString>("body");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char* name, const char* format, const char* data, const char* body, int position,
                        const char* expected) {
        QTest::newRow(name) << format << data << delta(body) << position << delta(expected);
    };
    // Joining a line with text, the first pasted line takes that line's format.
    row("html after text", "text/html", "<h2>Plan</h2><p>Buy <b>milk</b></p>", "x\n", 1, "x*Plan*\nBuy *milk*\n");
    row("text that looks like markdown", "text/plain", "- one\n- two", "x\n", 1, "x\none#bullet\ntwo#bullet\n");
    // Into an empty line, or at the start of one, the first pasted line keeps its own kind.
    row("markdown into an empty line after text", "text/markdown", "## Plan\nBuy", "x\n\n", 2, "x\n*Plan*#h2\nBuy\n");
    row("html at the start of a line with text", "text/html", "<h2>Plan</h2><p>Buy</p>", "x\nend\n", 2,
        "x\n*Plan*#h2\nBuyend\n");
}

void tst_Editor::paste()
{
    QFETCH(QString, format);
    QFETCH(QString, data);
    QFETCH(QString, body);
    QFETCH(int, position);
    QFETCH(QString, expected);

    m_editor->loadNote(kNoteId, body);
    const QString loaded = m_editor->bodyJson();
    placeCursor(position);
    auto* mime = new QMimeData;
    mime->setData(format, data.toUtf8());
    paste(mime);
    QVERIFY(!m_editor->isSaved()); // reported like typing
    QCOMPARE(m_editor->bodyJson(), expected);
    // One edit: a single undo brings the note back.
    m_editor->undo();
    QCOMPARE(m_editor->bodyJson(), loaded);
    // What was saved loads back the same.
    m_editor->loadNote(kNoteId, expected, true);
    QCOMPARE(m_editor->bodyJson(), expected);
}

void tst_Editor::checkBoxClickIsAnEdit()
{
    m_editor->loadNote(kNoteId, delta("plain *bold* tail\nbuy milk#unchecked\n"));
    // A click on the box ticks the item, reported like an edit.
    const QTextBlock item = m_editor->document()->lastBlock();
    QAbstractTextDocumentLayout* layout = m_editor->document()->documentLayout();
    const QRectF rect = layout->blockBoundingRect(item);
    QPoint box(-1, int(rect.center().y()) - m_editor->verticalScrollBar()->value());
    for (int x = 0; x < int(rect.left()) + 60 && box.x() < 0; ++x) {
        if (layout->blockWithMarkerAt(QPointF(x, rect.center().y())) == item)
            box.setX(x - m_editor->horizontalScrollBar()->value());
    }
    QVERIFY2(box.x() >= 0, "no check box found next to the item");
    QTest::mouseClick(m_editor->viewport(), Qt::LeftButton, {}, box);
    QCOMPARE(m_editor->bodyJson(), delta("plain *bold* tail\nbuy milk#checked\n"));
    QVERIFY(!m_editor->isSaved());
}

void tst_Editor::links()
{
    m_editor->loadNote(kNoteId, json(R"([{"insert":"see docs now\n"}])"));
    placeCursor(8, 4);
    m_editor->insertLinkDialog();
    auto* dialog = m_editor->findChild<LinkDialog*>(QStringLiteral("linkDialog"));
    QVERIFY(dialog);
    QTest::keyClicks(dialog->findChild<QLineEdit*>(QStringLiteral("linkUrlEdit")), QStringLiteral("example.org/d"));
    dialog->accept();
    // Typing on after the link is plain text.
    QTest::keyClicks(m_editor, QStringLiteral("!"));
    QCOMPARE(m_editor->bodyJson(),
             json(R"([{"insert":"see "},{"attributes":{"link":"https://example.org/d"},"insert":"docs"},)"
                  R"({"insert":"! now"},{"insert":"\n"}])"));

    placeCursor(6);
    m_editor->removeLinkAtCursor();
    QCOMPARE(m_editor->bodyJson(), json(R"([{"insert":"see docs! now"},{"insert":"\n"}])"));
}

void tst_Editor::tableDialogAndMenu()
{
    m_editor->loadNote(kNoteId, json(R"([{"insert":"intro\n"}])"));
    placeCursor(5);
    m_editor->insertTableDialog();
    auto* dialog = m_editor->findChild<TableDialog*>(QStringLiteral("tableDialog"));
    QVERIFY(dialog);
    dialog->findChild<QSpinBox*>(QStringLiteral("tableRowsSpin"))->setValue(2);
    dialog->findChild<QSpinBox*>(QStringLiteral("tableColumnsSpin"))->setValue(2);
    dialog->accept();
    QTextTable* table = m_editor->textCursor().currentTable();
    QVERIFY(table);
    QTest::keyClicks(m_editor, QStringLiteral("H"));
    // Shift+Tab in the first cell stays; Tab after the last column goes on in the next row; Tab
    // in the bottom-right cell appends a row.
    const QList<std::pair<int, QPoint>> steps = {
        {Qt::Key_Backtab, {0, 0}}, {Qt::Key_Tab, {1, 0}}, {Qt::Key_Tab, {0, 1}}, {Qt::Key_Backtab, {1, 0}},
        {Qt::Key_Tab, {0, 1}},     {Qt::Key_Tab, {1, 1}}, {Qt::Key_Tab, {0, 2}}};
    for (const auto& [key, cell] : steps) {
        QTest::keyClick(m_editor, Qt::Key(key), key == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
        const QTextTableCell at = table->cellAt(m_editor->textCursor());
        QCOMPARE(QPoint(at.column(), at.row()), cell);
    }
    QTest::keyClicks(m_editor, QStringLiteral("v"));
    const QString withTable = json(R"([{"insert":"intro"},{"insert":"\n"},{"insert":"\n"},)"
                                   R"({"insert":{"table":"{\"cells\":[[[{\"attributes\":{\"bold\":true},)"
                                   R"(\"insert\":\"H\"}],[]],[[],[]],[[{\"insert\":\"v\"}],[]]],)"
                                   R"(\"hasHeader\":true}"}},{"insert":"\n"}])");
    QCOMPARE(m_editor->bodyJson(), withTable);

    // Nested tables are not made.
    m_editor->insertTable(2, 2, false);
    QTRY_VERIFY(!m_editor->findChild<TableDialog*>());
    m_editor->insertTableDialog();
    QVERIFY(!m_editor->findChild<TableDialog*>());
    QCOMPARE(m_editor->bodyJson(), withTable);

    const auto trigger = [&](const QString& text) {
        std::unique_ptr<QMenu> menu(m_editor->createContextMenuAt(m_editor->cursorRect().center()));
        for (QAction* action : menu->actions()) {
            if (action->text() == text)
                return action->trigger();
        }
        QFAIL(qPrintable(QStringLiteral("no menu item ") + text));
    };
    trigger(QStringLiteral("Delete Row"));
    trigger(QStringLiteral("Delete Row"));
    QCOMPARE(table->rows(), 1);
    // The only row: the whole table goes, in one undo step.
    trigger(QStringLiteral("Delete Row"));
    QCOMPARE(m_editor->bodyJson(), json(R"([{"insert":"intro"},{"insert":"\n"},{"insert":"\n"}])"));
    m_editor->undo();
    QVERIFY(m_editor->bodyJson().contains(QStringLiteral("\"table\"")));
}

void tst_Editor::attachmentsAreSaved_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("where");
    for (const char* how : {"insert", "paste", "drop"}) {
        for (const char* where : {"line", "above table", "below table", "table cell"})
            QTest::addRow("%s, %s", how, where) << QString::fromLatin1(how) << QString::fromLatin1(where);
    }
}

// However a file comes into the text, it is stored and saved with the note. A table cell keeps
// text only, so there a file is refused rather than lost on the next save.
void tst_Editor::attachmentsAreSaved()
{
    QFETCH(QString, how);
    QFETCH(QString, where);

    // A table on the first line: the empty lines around it are the spacers the table brings.
    const QString body = json(R"([{"insert":{"table":"{\"cells\":[[\"a\",\"b\"]],\"hasHeader\":false}"}},)"
                              R"({"insert":"\n"},{"insert":"x\n"}])");
    m_editor->loadNote(kNoteId, body);
    const QTextTable* table = firstTable(m_editor->document());
    QVERIFY(table);
    const int positions[] = {m_editor->document()->characterCount() - 1, table->firstPosition() - 1,
                             table->lastPosition() + 1, table->cellAt(0, 1).lastPosition()};
    const int at = positions[QStringList{"line", "above table", "below table", "table cell"}.indexOf(where)];
    placeCursor(at);
    const bool inCell = where == QLatin1String("table cell");

    const QByteArray png = pngBytes();
    const QString path = writeFile(QStringLiteral("photo.png"), png);
    QString pastedId;
    if (how == QLatin1String("insert")) {
        QCOMPARE(m_editor->insertAttachmentFromPath(path), !inCell);
    } else if (how == QLatin1String("paste")) {
        pastedId = addAttachment(QStringLiteral("photo.png"), QStringLiteral("image/png"), png);
        auto* mime = new QMimeData;
        mime->setData(QLatin1String(NoteEditor::kDeltaMimeType),
                      json(R"([{"insert":{"norvane-notes-attachment":"%1"}},{"insert":"\n"}])").arg(pastedId).toUtf8());
        paste(mime);
    } else {
        // Two files and a web address: the files are attached in order, the address is not.
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path), QUrl(QStringLiteral("https://example.org/")),
                      QUrl::fromLocalFile(writeFile(QStringLiteral("second.txt"), "two"))});
        QPoint point = m_editor->cursorRect(m_editor->textCursor()).center();
        // The line above a table is thin: a point of the viewport the editor maps to that line.
        for (int y = 0; y < m_editor->viewport()->height() &&
                        m_editor->cursorForPosition(point).block() != m_editor->document()->findBlock(at);
             ++y)
            point.setY(y);
        QCOMPARE(m_editor->cursorForPosition(point).block(), m_editor->document()->findBlock(at));
        QDragEnterEvent enter(point, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_editor->viewport(), &enter);
        QDragMoveEvent move(point, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_editor->viewport(), &move);
        QCOMPARE(move.isAccepted(), !inCell);
        QDropEvent drop(QPointF(point), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_editor->viewport(), &drop);
        QCOMPARE(drop.isAccepted(), !inCell);
    }

    const QList<Attachment> stored = m_attachments->attachmentsForNote(kNoteId);
    const QString saved = m_editor->bodyJson();
    // Refused in a cell: nothing stored for it (a pasted attachment belongs to where it was copied from).
    QCOMPARE(stored.size(), inCell && how != QLatin1String("paste") ? 0 : how == QLatin1String("drop") ? 2 : 1);
    QCOMPARE(saved.count(QLatin1String(kAttachmentUrlPrefix)), inCell ? 0 : stored.size());
    // What shows is what is saved: no attachment in a cell that the next save would drop.
    QCOMPARE(m_editor->toPlainText().count(QChar::ObjectReplacementCharacter),
             saved.count(QLatin1String("attachment/")));
    for (const Attachment& a : stored)
        QCOMPARE(m_attachments->fileData(a.id), a.filename == QLatin1String("photo.png") ? png : QByteArray("two"));
    // Dropped files come in the order of the drop.
    if (stored.size() == 2)
        QVERIFY((saved.indexOf(stored[0].id) < saved.indexOf(stored[1].id)) == (stored[0].filename == "photo.png"));
    // Saved as it shows: reloaded, the attachments and the table are still there.
    m_editor->loadNote(kNoteId, saved, true);
    QCOMPARE(m_editor->bodyJson(), saved);
    QCOMPARE(firstTable(m_editor->document())->cellAt(0, 1).firstCursorPosition().block().text(), QStringLiteral("b"));
}

void tst_Editor::openAttachmentStaysInItsFolder_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("expected"); // %1 = the attachment id
    // clang-format off
    QTest::newRow("plain") << "photo.png" << "photo.png";
    QTest::newRow("empty") << "" << "%1.bin";
    QTest::newRow("parent climb") << "../../x" << "x";
    QTest::newRow("absolute") << "ABS/escaped.txt" << "escaped.txt";
    QTest::newRow("backslashes") << "..\\..\\win.txt" << "win.txt";
    QTest::newRow("dot dot") << ".." << "%1.bin";
    QTest::newRow("trailing slash") << "dir/" << "%1.bin";
    // clang-format on
}

void tst_Editor::openAttachmentStaysInItsFolder()
{
    QFETCH(QString, fileName);
    QFETCH(QString, expected);
    const QString id = addAttachment(QStringLiteral("stored-name"), QStringLiteral("text/plain"), "payload");
    const QStringList before = QDir(m_tempRoot).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    QVERIFY(m_editor->openAttachment(id, fileName.replace(QLatin1String("ABS"), m_tempRoot)));
    // The copy, under a name that cannot leave its folder, is the only new file in the tree we own.
    const QString folder = NoteEditor::attachmentTempDirectory(id);
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{expected.replace(QLatin1String("%1"), id)});
    QCOMPARE(m_catcher.urls, QList<QUrl>{QUrl::fromLocalFile(folder + QLatin1Char('/') + expected)});
    QCOMPARE(QDir(m_tempRoot).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
    // Ids that would name a folder outside ours are refused.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^openAttachment: refusing")));
    QVERIFY(!m_editor->openAttachment(QStringLiteral("../x"), fileName));
}

void tst_Editor::copySaveAndRemoveAttachment()
{
    const QString id = addAttachment(QStringLiteral("notes.pdf"), QStringLiteral("application/pdf"), "%PDF-1.4 x");
    const QString withObject =
        json(R"([{"insert":"a"},{"insert":{"norvane-notes-attachment":"norvane-notes://attachment/%1"}},)"
             R"({"insert":"b"},{"insert":"\n"}])")
            .arg(id);
    m_editor->loadNote(kNoteId, withObject);

    QVERIFY(m_editor->copyAttachmentFile(id));
    QFile copied(NoteEditor::attachmentTempDirectory(id) + QStringLiteral("/notes.pdf"));
    QCOMPARE(QGuiApplication::clipboard()->mimeData()->urls(), QList<QUrl>{QUrl::fromLocalFile(copied.fileName())});
    QVERIFY(copied.open(QIODevice::ReadOnly) && copied.readAll() == "%PDF-1.4 x");
    {
        Interaction::Script script;
        script.answerText(m_db->dir.filePath(QStringLiteral("saved.pdf")));
        m_editor->saveAttachmentAs(id, QStringLiteral("notes.pdf"));
    }
    QFile saved(m_db->dir.filePath(QStringLiteral("saved.pdf")));
    QVERIFY(saved.open(QIODevice::ReadOnly) && saved.readAll() == "%PDF-1.4 x");
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^insertAttachmentFromPath: can't open")));
    QVERIFY(!m_editor->insertAttachmentFromPath(m_db->dir.filePath(QStringLiteral("missing.bin"))));

    // Only the attachment next to the cursor is removed, never a neighbour.
    placeCursor(1);
    m_editor->removeAttachmentAtCursor(QStringLiteral("other"));
    QCOMPARE(m_editor->bodyJson(), withObject);
    // The cursor right after the object: the character before it is removed.
    placeCursor(2);
    m_editor->removeAttachmentAtCursor(id);
    QCOMPARE(m_editor->bodyJson(), json(R"([{"insert":"ab"},{"insert":"\n"}])"));
    // Undo brings the attachment back whole: row and file are still there.
    QTest::keyClick(m_editor, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(m_editor->bodyJson(), withObject);
    QCOMPARE(m_attachments->fileData(id), QByteArray("%PDF-1.4 x"));
}

void tst_Editor::themeChangeKeepsPendingEdits()
{
    ThemeManager themes(nullptr);
    themes.setTheme(ThemeManager::Light);
    m_editor->setThemeManager(&themes);
    m_editor->loadNote(kNoteId, delta("code#code-block\n"));
    placeCursor(4);
    QTest::keyClicks(m_editor, QStringLiteral("!"));
    QSignalSpy modified(m_editor, &NoteEditor::noteModified);
    QString handedOver;
    connect(m_editor, &NoteEditor::noteModified, this, [&] { handedOver = m_editor->bodyJson(); });

    // Colours are baked in when a note loads: the theme change reloads it, but not before the
    // unsaved keystroke went to the owner.
    themes.setTheme(ThemeManager::Dark);
    QCOMPARE(modified.count(), 1);
    QCOMPARE(handedOver, delta("`code!`#code-block\n"));
    QVERIFY(m_editor->isSaved());
    QCOMPARE(m_editor->bodyJson(), handedOver);
    QCOMPARE(m_editor->textCursor().position(), 5);

    // Saved and unchanged: a theme change hands nothing over.
    themes.setTheme(ThemeManager::Light);
    QCOMPARE(modified.count(), 1);
    QApplication::setPalette(ThemeManager::lightPalette());
}

void tst_Editor::refreshAttachmentsShowsArrivedFiles()
{
    // The row is there, the file has not been downloaded yet.
    const QString id = addAttachment(QStringLiteral("late.png"), QStringLiteral("image/png"), "x");
    QVERIFY(QFile::remove(m_attachments->filePath(id)));
    m_editor->loadNote(kNoteId, json(R"([{"insert":{"norvane-notes-attachment":"%1"}},{"insert":"\n"}])").arg(id));
    QTextCursor after(m_editor->document());
    after.setPosition(1);
    QVERIFY(m_editor->cursorRect(after).height() < 100);

    QVERIFY(m_attachments->saveFile(id, pngBytes()));
    m_editor->refreshAttachments();
    // Laid out again at the picture's size.
    QVERIFY(m_editor->cursorRect(after).height() >= 200);
    QVERIFY(m_editor->isSaved());
}

void tst_Editor::toolbarActionsEditTheNote_data()
{
    QTest::addColumn<QString>("actionName");
    QTest::addColumn<QString>("expected");
    QTest::newRow("bold") << "actionBold" << delta("*word* rest\n");
    QTest::newRow("divider") << "actionInsertDivider"
                             << json(R"([{"insert":"word rest"},{"insert":"\n"},{"insert":{"divider":"hr"}},)"
                                     R"({"insert":"\n"},{"insert":"\n"}])");
}

void tst_Editor::toolbarActionsEditTheNote()
{
    QFETCH(QString, actionName);
    QFETCH(QString, expected);
    m_editor->loadNote(kNoteId, delta("word rest\n"));
    placeCursor(4, 0);
    QAction* action = m_toolbar->findChild<QAction*>(actionName);
    QTest::mouseClick(m_toolbar->widgetForAction(action), Qt::LeftButton);
    QCOMPARE(m_editor->bodyJson(), expected);
    // The check mark shows the result, not the click.
    QVERIFY(!action->isCheckable() || action->isChecked());
}

void tst_Editor::headingComboSetsAndClearsHeadings()
{
    m_editor->loadNote(kNoteId, delta("Title\n"));
    QComboBox* combo = m_toolbar->headingCombo();
    QTest::keyClick(combo, Qt::Key_Down);
    QTest::keyClick(combo, Qt::Key_Down);
    QCOMPARE(m_editor->bodyJson(), delta("*Title*#h2\n"));
    // Back to normal text takes the heading's bold away with it.
    QTest::keyClick(combo, Qt::Key_Home);
    QCOMPARE(m_editor->bodyJson(), delta("Title\n"));
}

void tst_Editor::insertsRefusedInTableCellsAreOff_data()
{
    QTest::addColumn<QString>("actionName");
    QTest::newRow("table") << "actionInsertTable";
    QTest::newRow("attachment") << "actionInsertAttachment";
}

// The editor refuses these inside a cell; the button follows the caret in and out of the table.
void tst_Editor::insertsRefusedInTableCellsAreOff()
{
    QFETCH(QString, actionName);
    m_editor->loadNote(kNoteId, json(R"([{"insert":{"table":"{\"cells\":[[\"a\",\"b\"]]}"}},{"insert":"\n"}])"));
    QAction* insert = m_toolbar->findChild<QAction*>(actionName);
    const int end = m_editor->document()->characterCount() - 1;
    placeCursor(end);
    QVERIFY(insert->isEnabled());
    const QString tip = insert->toolTip();
    QTextTable* table = firstTable(m_editor->document());
    QVERIFY(table);
    m_editor->setTextCursor(table->cellAt(0, 1).firstCursorPosition());
    QVERIFY(!insert->isEnabled());
    QVERIFY(insert->toolTip() != tip); // says why
    placeCursor(end);
    QVERIFY(insert->isEnabled());
    QCOMPARE(insert->toolTip(), tip);
}

void tst_Editor::findCountsWrapsAndRecounts()
{
    // Ten a's, one of them upper case.
    m_editor->loadNote(kNoteId, json(R"([{"insert":"Aa aa\naa aa aa\n"}])"));
    m_find->showBar();
    QLineEdit* field = m_find->field();
    QVERIFY(field->hasFocus());
    QTest::keyClicks(field, QStringLiteral("a"));
    QTRY_COMPARE(m_find->matchPositions(), (QList<int>{0, 1, 3, 4, 6, 7, 9, 10, 12, 13}));
    QCOMPARE(m_editor->extraSelections().size(), 10);

    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(m_find->countText(), QStringLiteral("1 of 10"));
    QCOMPARE(m_editor->textCursor().selectedText(), QStringLiteral("A"));
    QTest::keyClick(field, Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(m_find->countText(), QStringLiteral("10 of 10")); // wrapped back to the last
    QCOMPARE(m_editor->textCursor().selectionStart(), 13);
    QTest::keyClick(field, Qt::Key_Enter);
    QCOMPARE(m_find->countText(), QStringLiteral("1 of 10")); // and forward to the first
}

void tst_Editor::findTakesSelectionAndCloses()
{
    m_editor->loadNote(kNoteId, json(R"([{"insert":"alpha beta\ngamma beta\n"}])"));
    placeCursor(10, 6);
    m_find->showBar();
    // The selection is searched for at once.
    QCOMPARE(m_find->field()->text(), QStringLiteral("beta"));
    QCOMPARE(m_find->countText(), QStringLiteral("1 of 2"));

    QCOMPARE(m_editor->extraSelections().size(), 2);
    QTest::keyClick(m_find->field(), Qt::Key_Escape);
    QVERIFY(!m_find->isVisible());
    QCOMPARE(m_editor->extraSelections().size(), 0);

    // A selection across lines is not copied into the field.
    placeCursor(15, 0);
    m_find->showBar();
    QCOMPARE(m_find->field()->text(), QStringLiteral("beta"));
}

void tst_Editor::lightboxKeysAndWheel_data()
{
    QTest::addColumn<int>("key"); // 0: a wheel turn instead
    QTest::addColumn<QPoint>("wheel");
    QTest::addColumn<double>("factor"); // relative to the fitted zoom; 0 means actual size, -1 closes
    QTest::newRow("+") << int(Qt::Key_Plus) << QPoint() << ImageLightbox::kKeyZoomIn;
    QTest::newRow("1 actual size") << int(Qt::Key_1) << QPoint() << 0.0;
    QTest::newRow("wheel up") << 0 << QPoint(0, 120) << ImageLightbox::kWheelStep;
    QTest::newRow("sideways wheel leaves it") << 0 << QPoint(120, 0) << 1.0;
    QTest::newRow("Q closes") << int(Qt::Key_Q) << QPoint() << -1.0;
    QTest::newRow("Escape closes") << int(Qt::Key_Escape) << QPoint() << -1.0;
}

void tst_Editor::lightboxKeysAndWheel()
{
    QFETCH(int, key);
    QFETCH(QPoint, wheel);
    QFETCH(double, factor);
    QPointer<ImageLightbox> box = new ImageLightbox(picture(1600, 1200), QStringLiteral("x.png"));
    box->open();
    QVERIFY(QTest::qWaitForWindowExposed(box));
    const double fitted = box->zoom();
    if (key) {
        QTest::keyClick(box->view(), Qt::Key(key));
    } else {
        QWidget* viewport = box->view()->viewport();
        const QPointF at = viewport->rect().center();
        QWheelEvent event(at, viewport->mapToGlobal(at), QPoint(), wheel, Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &event);
    }
    if (factor < 0) {
        QTRY_VERIFY(box.isNull()); // closed, the dialog deletes itself
        return;
    }
    const std::unique_ptr<ImageLightbox> owned(box.data());
    QCOMPARE(box->zoom(), factor == 0.0 ? 1.0 : fitted * factor);
    QCOMPARE(box->view()->transform().m22(), box->zoom());
    // "0" fits again whatever came before.
    QTest::keyClick(box->view(), Qt::Key_0);
    QCOMPARE(box->zoom(), fitted);
}

QTEST_MAIN(tst_Editor)
#include "tst_Editor.moc"
