#include "AppState.h"
#include "FindBar.h"
#include "ImportDialog.h"
#include "Interaction.h"
#include "MainWindow.h"
#include "NoteEditor.h"
#include "NoteListDelegate.h"
#include "NoteListWidget.h"
#include "NoteRepository.h"
#include "NoteWindow.h"
#include "NotebookListWidget.h"
#include "NotebookRepository.h"
#include "Records.h"
#include "SearchScreen.h"
#include "SharedScreen.h"
#include "TodosScreen.h"
#include "TrashScreen.h"
#include "UiTestLibrary.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QShortcut>
#include <QtTest>

namespace {

const QDateTime kNow(QDate(2026, 6, 17), QTime(10, 30), Qt::UTC);

QString body(const QString& text)
{
    return QStringLiteral(R"([{"insert":"%1\n"}])").arg(text);
}

void activate(QWidget* window)
{
    window->show();
    QApplication::setActiveWindow(window);
    QVERIFY(QTest::qWaitForWindowActive(window));
}

// Records the addresses handed to the desktop instead of opening them.
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

} // namespace

class tst_KeysAndClicks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void ctrlBackspace_data();
    void ctrlBackspace();
    void ctrlClickOnLinks_data();
    void ctrlClickOnLinks();

private:
    Note addNote(const QString& bodyJson, int minutesAgo, SyncStatus status = SyncStatus::Synced, bool shared = false);

    UiTestLibrary m_library;
    std::unique_ptr<AppState>& m_state = m_library.state;
};

void tst_KeysAndClicks::initTestCase()
{
    UiTestLibrary::useTestSettings("tst_KeysAndClicks");
}

void tst_KeysAndClicks::init()
{
    QVERIFY(m_library.open(kNow));
    NoteWindow::install(m_state.get());
}

void tst_KeysAndClicks::cleanup()
{
    m_state->closeAllNoteWindows();
    m_library.close();
}

Note tst_KeysAndClicks::addNote(const QString& bodyJson, int minutesAgo, SyncStatus status, bool shared)
{
    Note note;
    note.id = newId();
    note.body = bodyJson;
    note.createdAt = kNow.addSecs(-60 * minutesAgo);
    note.updatedAt = note.createdAt;
    note.modifiedAt = note.createdAt;
    note.syncStatus = status;
    note.isShared = shared;
    if (!m_state->notes()->insert(note))
        qFatal("inserting a test note failed");
    return note;
}

void tst_KeysAndClicks::ctrlBackspace_data()
{
    QTest::addColumn<QString>("focus");
    QTest::addColumn<bool>("trashed");
    QTest::newRow("search box deletes a word") << "search" << false;
    QTest::newRow("editor deletes a word") << "editor" << false;
    QTest::newRow("note list trashes, typing kept") << "list" << true;
}

void tst_KeysAndClicks::ctrlBackspace()
{
    QFETCH(QString, focus);
    QFETCH(bool, trashed);
    const Note memo = addNote(body(QStringLiteral("Memo")), 1);
    const Note other = addNote(body(QStringLiteral("Other")), 2);
    m_state->setCurrentNote(memo.id);
    MainWindow window(m_state.get());
    activate(&window);
    window.editor()->setFocus();
    window.editor()->moveCursor(QTextCursor::EndOfBlock);
    QTest::keyClicks(window.editor(), QStringLiteral(" draft")); // not saved yet
    if (focus == QLatin1String("search"))
        QTest::keyClicks(window.searchEdit(), QStringLiteral("alpha beta"));

    QWidget* target = focus == QLatin1String("search")   ? static_cast<QWidget*>(window.searchEdit())
                      : focus == QLatin1String("editor") ? static_cast<QWidget*>(window.editor())
                                                         : static_cast<QWidget*>(window.noteList());
    target->setFocus();
    QTest::keyClick(target, Qt::Key_Backspace, Qt::ControlModifier);

    const std::optional<Note> stored = m_state->notes()->noteById(memo.id);
    QCOMPARE(stored->isTrashed(), trashed);
    QVERIFY(!m_state->notes()->noteById(other.id)->isTrashed());
    if (trashed)
        QCOMPARE(stored->title(), QStringLiteral("Memo draft"));
    else if (focus == QLatin1String("search"))
        QCOMPARE(window.searchEdit()->text(), QStringLiteral("alpha "));
    else
        QCOMPARE(window.editor()->toPlainText(), QStringLiteral("Memo "));
}

// Two actions on one key in reach of a window make Qt fire neither ("Ambiguous shortcut overload").
void tst_KeysAndClicks::ctrlClickOnLinks_data()
{
    QTest::addColumn<QString>("url"); // %1: the id of another note
    QTest::addColumn<int>("answer");  // NoButton: nothing asked
    QTest::addColumn<bool>("opened");
    QTest::newRow("https") << "https://example.org/a?b=c" << int(QMessageBox::NoButton) << true;
    QTest::newRow("mailto") << "mailto:someone@example.org" << int(QMessageBox::NoButton) << true;
    QTest::newRow("file, declined") << "file:///etc/passwd" << int(QMessageBox::No) << false;
    QTest::newRow("smb, accepted") << "smb://server/share/setup.exe" << int(QMessageBox::Yes) << true;
    QTest::newRow("javascript, declined") << "javascript:alert(1)" << int(QMessageBox::No) << false;
    QTest::newRow("made-up scheme, accepted") << "web+thing:payload" << int(QMessageBox::Yes) << true;
    QTest::newRow("another note") << "norvane-notes://note/%1" << int(QMessageBox::NoButton) << false;
}

void tst_KeysAndClicks::ctrlClickOnLinks()
{
    QFETCH(QString, url);
    QFETCH(int, answer);
    QFETCH(bool, opened);
    const Note target = addNote(body(QStringLiteral("Target")), 2);
    if (url.contains(QLatin1String("%1")))
        url = url.arg(target.id);
    const QString linked = QStringLiteral(R"([{"attributes":{"link":"%1"},"insert":"Link here"},{"insert":"\n"}])")
                               .arg(QString(url).replace(QLatin1Char('"'), QLatin1String("\\\"")));
    const Note note = addNote(linked, 1);
    m_state->setCurrentNote(note.id);
    MainWindow window(m_state.get());
    activate(&window);

    UrlRecorder recorder;
    const QString scheme = QUrl(url).scheme();
    QDesktopServices::setUrlHandler(scheme, &recorder, "open");
    Interaction::Script script;
    if (answer != QMessageBox::NoButton)
        script.answer(QMessageBox::StandardButton(answer));
    QTextCursor onLink(window.editor()->document());
    onLink.setPosition(3);
    QTest::mouseClick(window.editor()->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      window.editor()->cursorRect(onLink).center());
    QDesktopServices::unsetUrlHandler(scheme);

    QCOMPARE(script.requests().size(), answer != QMessageBox::NoButton ? 1 : 0);
    if (answer != QMessageBox::NoButton)
        QVERIFY(script.requests()[0].text.contains(url));
    QCOMPARE(recorder.urls.size(), opened ? 1 : 0);
    QCOMPARE(window.editor()->noteId(), url.startsWith(QLatin1String("norvane-notes:")) ? target.id : note.id);
}

QTEST_MAIN(tst_KeysAndClicks)
#include "tst_KeysAndClicks.moc"
