#include "EditorToolbar.h"
#include "FindBar.h"
#include "NoteEditor.h"
#include "NoteHeaderBar.h"
#include "Records.h"
#include "ThemeManager.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextTable>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtTest>
#include <memory>

class tst_EditorBars : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void toolbarFollowsFormatState_data();
    void toolbarFollowsFormatState();
    void toolbarActionsEditTheNote_data();
    void toolbarActionsEditTheNote();
    void headingComboSetsLevel();

    void headerBarLayoutAndTexts();
    void headerBarRequests_data();
    void headerBarRequests();
    void headerBarChipFollowsTheme();

    void findCountsAndWraps();
    void findCaseToggleRecountsAtOnce();
    void findShowCloseAndEmpty();

private:
    QString json(const char* text) const { return QString::fromUtf8(text); }
    void build();
    QAction* action(const QString& name) const;
    void placeCursor(int position);

    std::unique_ptr<QWidget> m_window;
    NoteEditor* m_editor = nullptr;
    EditorToolbar* m_toolbar = nullptr;
    NoteHeaderBar* m_header = nullptr;
    FindBar* m_find = nullptr;
};

void tst_EditorBars::init()
{
    QApplication::setPalette(ThemeManager::lightPalette());
    build();
}

void tst_EditorBars::cleanup()
{
    m_window.reset();
}

// The bars stacked as the windows stack them.
void tst_EditorBars::build()
{
    m_window = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(m_window.get());
    layout->setContentsMargins(0, 0, 0, 0);
    m_header = new NoteHeaderBar(m_window.get());
    m_editor = new NoteEditor(nullptr, m_window.get());
    m_toolbar = new EditorToolbar(m_editor, m_window.get());
    m_find = new FindBar(m_editor, m_window.get());
    layout->addWidget(m_header);
    layout->addWidget(m_toolbar);
    layout->addWidget(m_editor, 1);
    layout->addWidget(m_find);
    m_window->resize(900, 600);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_editor->setFocus();
}

QAction* tst_EditorBars::action(const QString& name) const
{
    return m_toolbar->findChild<QAction*>(name);
}

void tst_EditorBars::placeCursor(int position)
{
    QTextCursor cursor(m_editor->document());
    cursor.setPosition(position);
    m_editor->setTextCursor(cursor);
}

// ---------------------------------------------------------------------------------------------

void tst_EditorBars::toolbarFollowsFormatState_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QStringList>("checked");
    QTest::addColumn<int>("heading");

    const QString left = QStringLiteral("actionAlignLeft");
    QTest::newRow("plain") << json(R"([{"insert":"plain\n"}])") << 2 << QStringList{left} << 0;
    QTest::newRow("bold italic") << json(R"([{"attributes":{"bold":true,"italic":true},"insert":"both"},{"insert":"\n"}])")
                                 << 2 << QStringList{"actionBold", "actionItalic", left} << 0;
    QTest::newRow("heading 1 reads bold")
        << json(R"([{"insert":"H"},{"attributes":{"header":1},"insert":"\n"}])") << 1
        << QStringList{"actionBold", left} << 1;
    QTest::newRow("unchecked item") << json(R"([{"insert":"c"},{"attributes":{"list":"unchecked"},"insert":"\n"}])")
                                    << 1 << QStringList{"actionCheckboxList", left} << 0;
    QTest::newRow("code block") << json(R"([{"insert":"x"},{"attributes":{"code-block":true},"insert":"\n"}])") << 1
                                << QStringList{"actionInlineCode", "actionCodeBlock", left} << 0;
    QTest::newRow("centred") << json(R"([{"insert":"c"},{"attributes":{"align":"center"},"insert":"\n"}])") << 1
                             << QStringList{"actionAlignCenter"} << 0;
}

void tst_EditorBars::toolbarFollowsFormatState()
{
    QFETCH(QString, body);
    QFETCH(int, cursor);
    QFETCH(QStringList, checked);
    QFETCH(int, heading);

    // Start from a state where everything is on, so every mark has to be set by the update.
    for (QAction* a : m_toolbar->actions())
        if (a->isCheckable())
            a->setChecked(true);
    m_editor->loadNote(QStringLiteral("n"), body);
    placeCursor(cursor);

    QStringList on;
    for (QAction* a : m_toolbar->actions())
        if (a->isCheckable() && a->isChecked())
            on << a->objectName();
    QCOMPARE(on, checked);
    QCOMPARE(m_toolbar->headingCombo()->currentIndex(), heading);
}

void tst_EditorBars::toolbarActionsEditTheNote_data()
{
    QTest::addColumn<QString>("actionName");
    QTest::addColumn<QString>("expected");

    QTest::newRow("bold") << "actionBold"
                          << json(R"([{"attributes":{"bold":true},"insert":"word"},{"insert":" rest"},{"insert":"\n"}])");
    QTest::newRow("checkbox") << "actionCheckboxList"
                              << json(R"([{"insert":"word rest"},{"attributes":{"list":"unchecked"},"insert":"\n"}])");
    QTest::newRow("centre") << "actionAlignCenter"
                            << json(R"([{"insert":"word rest"},{"attributes":{"align":"center"},"insert":"\n"}])");
    QTest::newRow("divider") << "actionInsertDivider"
                             << json(R"([{"insert":"word rest"},{"insert":"\n"},{"insert":{"divider":"hr"}},)"
                                     R"({"insert":"\n"},{"insert":"\n"}])");
}

void tst_EditorBars::toolbarActionsEditTheNote()
{
    QFETCH(QString, actionName);
    QFETCH(QString, expected);

    m_editor->loadNote(QStringLiteral("n"), json(R"([{"insert":"word rest\n"}])"));
    QTextCursor word(m_editor->document());
    word.setPosition(0);
    word.setPosition(4, QTextCursor::KeepAnchor);
    m_editor->setTextCursor(word);
    QWidget* button = m_toolbar->widgetForAction(action(actionName));
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(m_editor->bodyJson(), expected);
    // The check mark shows the result, not the click.
    if (action(actionName)->isCheckable())
        QVERIFY(action(actionName)->isChecked());
}

void tst_EditorBars::headingComboSetsLevel()
{
    m_editor->loadNote(QStringLiteral("n"), json(R"([{"insert":"Title\n"}])"));
    QComboBox* combo = m_toolbar->headingCombo();
    QTest::keyClick(combo, Qt::Key_Down);
    QTest::keyClick(combo, Qt::Key_Down);
    QCOMPARE(combo->currentIndex(), 2);
    QCOMPARE(m_editor->bodyJson(),
             json(R"([{"attributes":{"bold":true},"insert":"Title"},{"attributes":{"header":2},"insert":"\n"}])"));
    QTest::keyClick(combo, Qt::Key_Home);
    QCOMPARE(m_editor->bodyJson(), json(R"([{"insert":"Title"},{"insert":"\n"}])"));

    // Inside a table a nested one cannot be made, and the button says why.
    m_editor->loadNote(QStringLiteral("n"), json(R"([{"insert":{"table":"{\"cells\":[[\"a\",\"b\"]]}"}},{"insert":"\n"}])"));
    QAction* table = action(QStringLiteral("actionInsertTable"));
    QTextTable* t = qobject_cast<QTextTable*>(m_editor->document()->rootFrame()->childFrames().value(0));
    QVERIFY(t);
    m_editor->setTextCursor(t->cellAt(0, 1).firstCursorPosition());
    QVERIFY(!table->isEnabled());
    QCOMPARE(table->toolTip(), QStringLiteral("Nested tables are not supported"));
    placeCursor(m_editor->document()->characterCount() - 1);
    QVERIFY(table->isEnabled());
    QCOMPARE(table->toolTip(), QStringLiteral("Insert Table (Ctrl+T)"));
}

// ---------------------------------------------------------------------------------------------

void tst_EditorBars::headerBarLayoutAndTexts()
{
    auto* toggle = m_header->findChild<QToolButton*>(QStringLiteral("focusToggleButton"));

    auto* chip = m_header->findChild<QPushButton*>(QStringLiteral("notebookChip"));
    QCOMPARE(m_header->chipText(), QStringLiteral("Unorganized"));
    QVERIFY(!chip->isEnabled()); // no note yet
    Note note;
    note.id = QStringLiteral("n1");
    m_header->setNote(note);
    QVERIFY(chip->isEnabled());
    m_header->setNotebookName(QStringLiteral("Work"));
    QCOMPARE(m_header->chipText(), QStringLiteral("Work"));
    m_header->setNotebookName(QString());
    QCOMPARE(m_header->chipText(), QStringLiteral("Unorganized"));

    auto* share = m_header->findChild<QToolButton*>(QStringLiteral("shareButton"));
    QCOMPARE(share->toolTip(), QStringLiteral("Share note"));
    m_header->setShared(true);
    QCOMPARE(share->toolTip(), QStringLiteral("Manage sharing"));

    // The toggle shows the focus mode the owner set, not the click.
    QSignalSpy focus(m_header, &NoteHeaderBar::focusToggleClicked);
    QTest::mouseClick(toggle, Qt::LeftButton);
    QCOMPARE(focus.count(), 1);
    QVERIFY(!toggle->isChecked());
    m_header->setFocusMode(true);
    QVERIFY(toggle->isChecked());

    m_header->clear();
    QCOMPARE(m_header->chipText(), QStringLiteral("Unorganized"));
    QCOMPARE(m_header->updatedText(), QString());
    QVERIFY(!chip->isEnabled());
}

void tst_EditorBars::headerBarRequests_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("item");
    QTest::addColumn<QByteArray>("signal");

    QTest::newRow("plain text") << "copyButton" << "Copy as Plain Text" << QByteArray(SIGNAL(copyAsPlainTextRequested()));
    QTest::newRow("move") << "moreButton" << "Move to Notebook…" << QByteArray(SIGNAL(moveToNotebookRequested()));
    QTest::newRow("trash") << "moreButton" << "Move to Trash" << QByteArray(SIGNAL(deleteRequested()));
    QTest::newRow("share") << "shareButton" << QString() << QByteArray(SIGNAL(shareRequested()));
    QTest::newRow("history") << "historyButton" << QString() << QByteArray(SIGNAL(historyRequested()));
}

void tst_EditorBars::headerBarRequests()
{
    QFETCH(QString, button);
    QFETCH(QString, item);
    QFETCH(QByteArray, signal);

    Note note;
    note.id = QStringLiteral("n1");
    m_header->setNote(note);
    // Sharing is offered only for the user's own note while there is a group; the owner says so.
    m_header->setShareAvailable(true);
    QSignalSpy spy(m_header, signal.constData());
    auto* tool = m_header->findChild<QToolButton*>(button);
    QVERIFY(tool);
    if (item.isEmpty()) {
        QTest::mouseClick(tool, Qt::LeftButton);
    } else {
        QAction* found = nullptr;
        for (QAction* a : tool->menu()->actions())
            if (a->text() == item)
                found = a;
        QVERIFY(found);
        found->trigger();
    }
    QCOMPARE(spy.count(), 1);
}

void tst_EditorBars::headerBarChipFollowsTheme()
{
    // The chip's own style sheet carries theme colours, so it must be rebuilt when the palette changes.
    const QString light = QStringLiteral("background-color: #EFF1F4;  color: #2B3138;");
    const QString dark = QStringLiteral("background-color: #2A2D31;  color: #D7DBE0;");
    auto* chip = m_header->findChild<QPushButton*>(QStringLiteral("notebookChip"));
    QVERIFY(chip->styleSheet().contains(light));
    QApplication::setPalette(ThemeManager::darkPalette());
    QTRY_VERIFY(chip->styleSheet().contains(dark));

    QSignalSpy todos(m_header, &NoteHeaderBar::includeInTodosToggled);
    auto* include = m_header->findChild<QAction*>(QStringLiteral("includeInTodosAction"));
    m_header->setIncludeInTodos(true);
    include->trigger();
    QCOMPARE(todos.count(), 1);
    QCOMPARE(todos.at(0).at(0).toBool(), false);
    QApplication::setPalette(ThemeManager::lightPalette());
    QTRY_VERIFY(chip->styleSheet().contains(light));
}

// ---------------------------------------------------------------------------------------------

void tst_EditorBars::findCountsAndWraps()
{
    // Ten a's, one of them upper case.
    m_editor->loadNote(QStringLiteral("n"), json(R"([{"insert":"Aa aa\naa aa aa\n"}])"));
    m_find->showBar();
    QVERIFY(m_find->isVisible());
    QLineEdit* field = m_find->field();
    QVERIFY(field->hasFocus());
    QTest::keyClicks(field, QStringLiteral("a"));
    QVERIFY(m_find->highlightTimer()->isActive());
    QTRY_COMPARE(m_find->countText(), QStringLiteral("10 match(es)"));
    QCOMPARE(m_find->matchPositions(), (QList<int>{0, 1, 3, 4, 6, 7, 9, 10, 12, 13}));
    QCOMPARE(m_editor->extraSelections().size(), 10);

    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(m_find->countText(), QStringLiteral("1 of 10"));
    QCOMPARE(m_editor->textCursor().selectionStart(), 0);
    QCOMPARE(m_editor->textCursor().selectedText(), QStringLiteral("A"));
    for (int i = 0; i < 9; ++i)
        QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(m_find->countText(), QStringLiteral("10 of 10"));
    QTest::keyClick(field, Qt::Key_Enter);
    QCOMPARE(m_find->countText(), QStringLiteral("1 of 10")); // wrapped to the first
    QTest::keyClick(field, Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(m_find->countText(), QStringLiteral("10 of 10")); // wrapped back to the last
    QCOMPARE(m_editor->textCursor().selectionStart(), 13);
    QTest::mouseClick(m_find->findChild<QToolButton*>(QStringLiteral("findPreviousButton")), Qt::LeftButton);
    QCOMPARE(m_find->countText(), QStringLiteral("9 of 10"));

    // A cursor away from every match shows the total again.
    placeCursor(2);
    QCOMPARE(m_find->countText(), QStringLiteral("10 match(es)"));
}

void tst_EditorBars::findCaseToggleRecountsAtOnce()
{
    m_editor->loadNote(QStringLiteral("n"), json(R"([{"insert":"Aa aa\naa aa aa\n"}])"));
    m_find->showBar();
    QTest::keyClicks(m_find->field(), QStringLiteral("A"));
    QTest::keyClick(m_find->field(), Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(m_find->countText(), QStringLiteral("10 of 10"));
    auto* matchCase = m_find->findChild<QToolButton*>(QStringLiteral("matchCaseButton"));
    QTest::mouseClick(matchCase, Qt::LeftButton);
    // No wait: the toggle recounts immediately.
    QCOMPARE(m_find->matchCount(), 1);
    QCOMPARE(m_find->countText(), QStringLiteral("1 match(es)"));
    QTest::keyClick(m_find->field(), Qt::Key_Return);
    QCOMPARE(m_find->countText(), QStringLiteral("1 of 1"));
    QTest::mouseClick(matchCase, Qt::LeftButton);
    QCOMPARE(m_find->countText(), QStringLiteral("1 of 10"));
}

void tst_EditorBars::findShowCloseAndEmpty()
{
    m_editor->loadNote(QStringLiteral("n"), json(R"([{"insert":"alpha beta\ngamma beta\n"}])"));
    QTextCursor select(m_editor->document());
    select.setPosition(6);
    select.setPosition(10, QTextCursor::KeepAnchor);
    m_editor->setTextCursor(select);
    m_find->showBar();
    // The selection is searched for at once, no highlight delay.
    QCOMPARE(m_find->field()->text(), QStringLiteral("beta"));
    QCOMPARE(m_find->field()->selectedText(), QStringLiteral("beta"));
    QVERIFY(!m_find->highlightTimer()->isActive());
    QCOMPARE(m_find->countText(), QStringLiteral("1 of 2"));

    QTest::keyClicks(m_find->field(), QStringLiteral("zeta"));
    QTRY_COMPARE(m_find->countText(), QStringLiteral("No results"));
    QCOMPARE(m_editor->extraSelections().size(), 0);
    m_find->field()->clear();
    QTRY_VERIFY(!m_find->highlightTimer()->isActive());
    QCOMPARE(m_find->countText(), QString());

    QTest::keyClicks(m_find->field(), QStringLiteral("beta"));
    QTRY_COMPARE(m_editor->extraSelections().size(), 2);
    QTest::keyClick(m_find->field(), Qt::Key_Escape);
    QVERIFY(!m_find->isVisible());
    QCOMPARE(m_editor->extraSelections().size(), 0);

    // A selection across lines is not copied into the field.
    select.setPosition(0);
    select.setPosition(15, QTextCursor::KeepAnchor);
    m_editor->setTextCursor(select);
    m_find->showBar();
    QCOMPARE(m_find->field()->text(), QStringLiteral("beta"));
    QTest::keyClick(m_find, Qt::Key_Escape);
    QVERIFY(!m_find->isVisible());
}

QTEST_MAIN(tst_EditorBars)
#include "tst_EditorBars.moc"
