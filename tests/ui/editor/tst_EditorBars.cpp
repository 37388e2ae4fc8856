#include "EditorToolbar.h"
#include "FindBar.h"
#include "NoteEditor.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QtTest>
#include <memory>

class tst_EditorBars : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { m_window.reset(); }

    void toolbarActionsEditTheNote_data();
    void toolbarActionsEditTheNote();
    void headingComboSetsAndClearsHeadings();
    void insertsRefusedInTableCellsAreOff_data();
    void insertsRefusedInTableCellsAreOff();
    void findCountsWrapsAndRecounts();
    void findTakesSelectionAndCloses();

private:
    static QString json(const char* text) { return QString::fromUtf8(text); }
    QAction* action(const QString& name) const { return m_toolbar->findChild<QAction*>(name); }
    void select(int from, int to)
    {
        QTextCursor cursor(m_editor->document());
        cursor.setPosition(from);
        cursor.setPosition(to, QTextCursor::KeepAnchor);
        m_editor->setTextCursor(cursor);
    }

    std::unique_ptr<QWidget> m_window;
    NoteEditor* m_editor = nullptr;
    EditorToolbar* m_toolbar = nullptr;
    FindBar* m_find = nullptr;
};

// The bars stacked as the windows stack them.
void tst_EditorBars::init()
{
    m_window = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(m_window.get());
    m_editor = new NoteEditor(nullptr, m_window.get());
    m_toolbar = new EditorToolbar(m_editor, m_window.get());
    m_find = new FindBar(m_editor, m_window.get());
    layout->addWidget(m_toolbar);
    layout->addWidget(m_editor, 1);
    layout->addWidget(m_find);
    m_window->resize(900, 600);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_editor->setFocus();
}

void tst_EditorBars::toolbarActionsEditTheNote_data()
{
    QTest::addColumn<QString>("actionName");
    QTest::addColumn<QString>("expected");

    QTest::newRow("bold")
        << "actionBold" << json(R"([{"attributes":{"bold":true},"insert":"word"},{"insert":" rest"},{"insert":"\n"}])");
    QTest::newRow("divider") << "actionInsertDivider"
                             << json(R"([{"insert":"word rest"},{"insert":"\n"},{"insert":{"divider":"hr"}},)"
                                     R"({"insert":"\n"},{"insert":"\n"}])");
}

void tst_EditorBars::toolbarActionsEditTheNote()
{
    QFETCH(QString, actionName);
    QFETCH(QString, expected);

    m_editor->loadNote(QStringLiteral("n"), json(R"([{"insert":"word rest\n"}])"));
    select(0, 4);
    QTest::mouseClick(m_toolbar->widgetForAction(action(actionName)), Qt::LeftButton);
    QCOMPARE(m_editor->bodyJson(), expected);
    // The check mark shows the result, not the click.
    if (action(actionName)->isCheckable())
        QVERIFY(action(actionName)->isChecked());
}

void tst_EditorBars::headingComboSetsAndClearsHeadings()
{
    m_editor->loadNote(QStringLiteral("n"), json(R"([{"insert":"Title\n"}])"));
    QComboBox* combo = m_toolbar->headingCombo();
    QTest::keyClick(combo, Qt::Key_Down);
    QTest::keyClick(combo, Qt::Key_Down);
    QCOMPARE(m_editor->bodyJson(),
             json(R"([{"attributes":{"bold":true},"insert":"Title"},{"attributes":{"header":2},"insert":"\n"}])"));
    // Back to normal text takes the heading's bold away with it.
    QTest::keyClick(combo, Qt::Key_Home);
    QCOMPARE(m_editor->bodyJson(), json(R"([{"insert":"Title"},{"insert":"\n"}])"));
}

void tst_EditorBars::insertsRefusedInTableCellsAreOff_data()
{
    QTest::addColumn<QString>("actionName");
    QTest::newRow("table") << "actionInsertTable";
    QTest::newRow("attachment") << "actionInsertAttachment";
}

// The editor refuses these inside a cell; the button follows the caret in and out of the table.
void tst_EditorBars::insertsRefusedInTableCellsAreOff()
{
    QFETCH(QString, actionName);
    m_editor->loadNote(QStringLiteral("n"),
                       json(R"([{"insert":{"table":"{\"cells\":[[\"a\",\"b\"]]}"}},{"insert":"\n"}])"));
    QAction* insert = action(actionName);
    const int end = m_editor->document()->characterCount() - 1;
    select(end, end);
    QVERIFY(insert->isEnabled());
    const QString tip = insert->toolTip();
    auto* table = qobject_cast<QTextTable*>(m_editor->document()->rootFrame()->childFrames().value(0));
    QVERIFY(table);
    m_editor->setTextCursor(table->cellAt(0, 1).firstCursorPosition());
    QVERIFY(!insert->isEnabled());
    QVERIFY(insert->toolTip() != tip); // says why
    select(end, end);
    QVERIFY(insert->isEnabled());
    QCOMPARE(insert->toolTip(), tip);
}

void tst_EditorBars::findCountsWrapsAndRecounts()
{
    // Ten a's, one of them upper case.
    m_editor->loadNote(QStringLiteral("n"), json(R"([{"insert":"Aa aa\naa aa aa\n"}])"));
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

void tst_EditorBars::findTakesSelectionAndCloses()
{
    m_editor->loadNote(QStringLiteral("n"), json(R"([{"insert":"alpha beta\ngamma beta\n"}])"));
    select(6, 10);
    m_find->showBar();
    // The selection is searched for at once.
    QCOMPARE(m_find->field()->text(), QStringLiteral("beta"));
    QCOMPARE(m_find->countText(), QStringLiteral("1 of 2"));

    QCOMPARE(m_editor->extraSelections().size(), 2);
    QTest::keyClick(m_find->field(), Qt::Key_Escape);
    QVERIFY(!m_find->isVisible());
    QCOMPARE(m_editor->extraSelections().size(), 0);

    // A selection across lines is not copied into the field.
    select(0, 15);
    m_find->showBar();
    QCOMPARE(m_find->field()->text(), QStringLiteral("beta"));
}

QTEST_MAIN(tst_EditorBars)
#include "tst_EditorBars.moc"
