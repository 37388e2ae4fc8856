#include "../../Fixtures.h"
#include "FontScale.h"
#include "ImportDialog.h"
#include "Interaction.h"
#include "MoveToNotebookDialog.h"
#include "NotebookDialog.h"
#include "PreferencesRepository.h"
#include "SettingsDialog.h"
#include "SnapshotRepository.h"
#include "ThemeManager.h"
#include "UiTestLibrary.h"
#include "VersionHistoryDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTextEdit>
#include <QtTest>

namespace {

// Remembers whether the progress bar was painted while the import was under way.
class ProgressWatcher : public QObject
{
public:
    bool paintedMidway = false;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            const auto* bar = static_cast<QProgressBar*>(watched);
            paintedMidway = paintedMidway || (bar->maximum() > 0 && bar->value() < bar->maximum());
        }
        return false;
    }
};

} // namespace

class tst_Dialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { UiTestLibrary::useTestSettings("tst_Dialogs"); }
    void init() { QVERIFY(m_library.open()); }
    void cleanup()
    {
        m_library.close();
        // The scale is process-wide; later tests expect the default.
        FontScale::setPercent(FontScale::kDefault);
    }

    void historyListsSnapshotsAndRestores();
    void notebookDialogName_data();
    void notebookDialogName();
    void moveDialogSkipsCurrentNotebook();
    void importWizard();
    void settingsThemeChoiceAppliesAtOnce();
    void settingsFontSizeFollowsScale();

private:
    QComboBox* combo(SettingsDialog& dialog, const char* name)
    {
        dialog.show();
        return dialog.findChild<QComboBox*>(QLatin1String(name));
    }
    QString stored(const char* key) const { return m_state->preferences()->value(QLatin1String(key)).value_or("-"); }

    UiTestLibrary m_library;
    std::unique_ptr<AppState>& m_state = m_library.state;
};

void tst_Dialogs::historyListsSnapshotsAndRestores()
{
    const QString noteId = m_library.addNote(QStringLiteral("First draft"), 0).id;
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
    QCOMPARE(list->count(), 1);
    m_library.clock->advanceMs(3 * 60 * 1000);
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

    QCOMPARE(script.requests().size(), 2);

    // The text that was replaced is kept as the newest snapshot.
    const QList<Snapshot> snapshots = m_state->snapshots()->snapshotsForNote(noteId);
    QCOMPARE(snapshots.size(), 2);
    QCOMPARE(snapshots[0].body, textBody(QStringLiteral("Second text")));

    const Note restored = *m_state->notes()->noteById(noteId);
    QCOMPARE(restored.body, textBody(QStringLiteral("First draft")));
    QCOMPARE(restored.version, 3);
    QCOMPARE(announced.size(), 1);
}

void tst_Dialogs::notebookDialogName_data()
{
    QTest::addColumn<QString>("initial");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("okEnabled");
    QTest::addColumn<QString>("result");

    // clang-format off
    QTest::newRow("spaces only") << QString() << QStringLiteral("   ") << false << QString();
    QTest::newRow("trimmed") << QString() << QStringLiteral("  Work  ") << true << QStringLiteral("Work");
    QTest::newRow("rename emptied") << QStringLiteral("Travel") << QStringLiteral("\b\b\b\b\b\b ") << false << QString();
    // clang-format on
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
    edit->setCursorPosition(edit->text().size());
    QTest::keyClicks(edit, typed);
    QCOMPARE(buttons->button(QDialogButtonBox::Ok)->isEnabled(), okEnabled);
    QCOMPARE(dialog.name(), result);
}

void tst_Dialogs::moveDialogSkipsCurrentNotebook()
{
    for (const char* name : {"Home", "Work", "Travel"})
        m_library.addNotebook(QString::fromLatin1(name));
    const QList<Notebook> notebooks = m_state->notebooks()->allNotebooks();
    MoveToNotebookDialog dialog(notebooks, notebooks[1].id);
    auto* list = dialog.findChild<QListWidget*>(QStringLiteral("moveNotebookList"));
    QPushButton* ok = dialog.findChild<QDialogButtonBox*>(QStringLiteral("moveButtons"))->button(QDialogButtonBox::Ok);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    // Landing on the current notebook does not pick it.
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

// Cancelling the chooser imports nothing. Then a real export, one web clip with its picture: its progress
// shows, and the second run finds it already imported.
void tst_Dialogs::importWizard()
{
    ImportDialog wizard(m_state.get());
    wizard.setAttribute(Qt::WA_DeleteOnClose, false);
    wizard.show();
    QCOMPARE(wizard.currentId(), int(ImportDialog::FormatPage));
    const auto browse = [&wizard](const QString& path) {
        Interaction::Script script;
        if (path.isEmpty())
            script.cancel();
        else
            script.answerText(path);
        QTest::mouseClick(wizard.findChild<QPushButton*>(QStringLiteral("importBrowseButton")), Qt::LeftButton);
        return script.requests().size();
    };
    wizard.next();
    QCOMPARE(browse(QString()), 1);
    wizard.next();
    QCOMPARE(wizard.currentId(), int(ImportDialog::ImportingPage));
    QTRY_COMPARE(wizard.statusText(), QStringLiteral("No file was selected."));
    QCOMPARE(m_state->notes()->allNotes().size(), 0);
    QTest::mouseClick(wizard.button(QWizard::BackButton), Qt::LeftButton);

    NORV_REQUIRE_FIXTURES();
    ProgressWatcher watcher;
    wizard.findChild<QProgressBar*>(QStringLiteral("importProgressBar"))->installEventFilter(&watcher);
    for (const QString& summary : {QStringLiteral("Imported: 1 notes\nAttachments: 1"), QStringLiteral("Skipped: 1")}) {
        QCOMPARE(wizard.currentId(), int(ImportDialog::FilePage));
        browse(realWorldFixtures(QStringLiteral("jex/jimmy_flexicharger-webclip.jex")));
        wizard.next();
        QTRY_COMPARE(wizard.currentId(), int(ImportDialog::CompletePage));
        QVERIFY2(wizard.summaryText().contains(summary), qPrintable(wizard.summaryText()));
        QCOMPARE(m_state->notes()->allNotes().size(), 1);
        QVERIFY(watcher.paintedMidway);
        watcher.paintedMidway = false;
        // Back passes the finished import by, to the file page.
        QTest::mouseClick(wizard.button(QWizard::BackButton), Qt::LeftButton);
        QTRY_COMPARE(wizard.currentId(), int(ImportDialog::FilePage));
    }
}

// The Appearance page's choices apply while the dialog is open, and are stored for the next start.
void tst_Dialogs::settingsThemeChoiceAppliesAtOnce()
{
    m_state->theme()->setThemeFromString(QStringLiteral("light"));
    SettingsDialog dialog(m_state.get());
    QComboBox* theme = combo(dialog, "themeCombo");
    QTest::keyClicks(theme, QStringLiteral("Da"));
    QCOMPARE(theme->currentText(), QStringLiteral("Dark"));
    QCOMPARE(stored("theme_mode"), QStringLiteral("dark"));
    QCOMPARE(qApp->palette().color(QPalette::Window).name(), QStringLiteral("#1e1e1e"));
}

void tst_Dialogs::settingsFontSizeFollowsScale()
{
    // 120 is no preset: the combo falls back to Default rather than showing nothing.
    m_state->theme()->setFontScale(120);
    SettingsDialog dialog(m_state.get());
    QComboBox* size = combo(dialog, "fontSizeCombo");
    QCOMPARE(size->currentText(), QStringLiteral("Default"));
    QTest::keyClicks(size, QStringLiteral("La"));
    QCOMPARE(m_state->theme()->fontScale(), 130);
    QCOMPARE(stored("fontScale"), QStringLiteral("130"));

    // A scale changed elsewhere while the dialog is open shows up in the combo.
    m_state->theme()->setFontScale(85);
    QCOMPARE(size->currentText(), QStringLiteral("Small"));
}

QTEST_MAIN(tst_Dialogs)
#include "tst_Dialogs.moc"
