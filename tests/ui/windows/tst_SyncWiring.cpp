#include "../../account/AccountTestServer.h"
#include "../../sync/SyncTestRig.h"
#include "BackupArchive.h"
#include "Interaction.h"
#include "MainWindow.h"
#include "NorvAccountClient.h"
#include "NoteEditor.h"
#include "PreferenceKeys.h"
#include "StatusBar.h"
#include "SyncCloudIcon.h"
#include "UiTestLibrary.h"

#include <QtTest>

using namespace NorvAccount;

// The application signed in (its session restored from the token store) next to a second device of the
// same account, driven through the real windows.
class tst_SyncWiring : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void settingsDriveTheTimer();
    void unsavedTypingKeptWhenAnotherDeviceWins();
    void failuresShowUntilARunSucceeds();
    void otherAccountIsAskedFirst_data();
    void otherAccountIsAskedFirst();
    void restoreToAccountUploads();
    void tokensStayOutOfLogsAndFiles();

private:
    // Started, signed in, and past the sync that signing in starts; null if it never got there.
    std::unique_ptr<AppState> startSynced()
    {
        auto state = startWithKeyring(m_server.tokens());
        const auto settled = [&] {
            return state->signedIn() && state->sync()->state() != SyncEngine::Syncing;
        };
        return state && QTest::qWaitFor(settled) ? std::move(state) : nullptr;
    }
    // `status` 0: the connection is dropped without an answer.
    void fail(const char* pattern, int status)
    {
        QJsonObject fault{{QStringLiteral("pattern"), QString::fromLatin1(pattern)},
                          {QStringLiteral("action"), status ? QStringLiteral("status") : QStringLiteral("drop")}};
        if (status)
            fault.insert(QStringLiteral("status"), status);
        m_server.fault(fault);
    }

    AccountTestServer m_server;
    QTemporaryDir m_dir;
};

void tst_SyncWiring::initTestCase()
{
    UiTestLibrary::useTestSettings("tst_SyncWiring");
    QVERIFY(m_dir.isValid());
    ACCOUNT_REQUIRE_SERVER(m_server);
    qputenv("NOTES_DATA_DIR", m_dir.path().toUtf8());
    useServer(m_server.base());
}

// The Sync page's settings take effect at once: the timer exists only with automatic sync on, at
// the chosen period, and an edit only schedules a run while it is on.
void tst_SyncWiring::settingsDriveTheTimer()
{
    auto state = startSynced();
    QVERIFY(state);
    const auto edit = [&] {
        Note note;
        note.id = newId();
        note.body = Device::bodyOf(QStringLiteral("typed offline-first"));
        note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
        QVERIFY(state->notes()->insert(note));
    };

    state->preferences()->setInt(QLatin1String(PrefKey::SyncIntervalMinutes), 20);
    state->preferences()->setBool(QLatin1String(PrefKey::AutoSync), false);
    QVERIFY(!state->sync()->isTimerActive());
    edit();
    QVERIFY(state->sync()->state() != SyncEngine::Pending);

    state->preferences()->setBool(QLatin1String(PrefKey::AutoSync), true);
    QVERIFY(state->sync()->isTimerActive());
    QCOMPARE(state->sync()->timerInterval(), 20 * 60 * 1000);
    QTRY_VERIFY(state->sync()->state() != SyncEngine::Syncing);
    edit();
    QCOMPARE(state->sync()->state(), SyncEngine::Pending);
    state->preferences()->setInt(QLatin1String(PrefKey::SyncIntervalMinutes), 5);
}

// A pull that replaces the open note while the editor holds typing not yet saved: the other device's
// text is shown, the typing waits in the note's history, and the status bar says so.
void tst_SyncWiring::unsavedTypingKeptWhenAnotherDeviceWins()
{
    auto state = startSynced();
    QVERIFY(state);
    MainWindow window(state.get());

    Device other(m_server.base(), QStringLiteral("ada@example.com"));
    QVERIFY(other.ok);
    const Note note = other.newNote(QStringLiteral("Packing list"));
    QVERIFY(other.sync());
    state->sync()->syncNow();
    QTRY_VERIFY(state->notes()->noteById(note.id));
    QTRY_VERIFY(state->sync()->state() != SyncEngine::Syncing);

    state->setCurrentNote(note.id);
    window.openNote(note.id);
    QCOMPARE(window.editor()->noteId(), note.id);
    window.editor()->setFocus();
    QTest::keyClicks(window.editor(), QStringLiteral("tent "));
    QVERIFY(!window.editor()->isSaved());

    QVERIFY(other.sync());
    other.edit(note.id, QStringLiteral("Packing list, revised elsewhere"));
    QVERIFY(other.sync());
    state->sync()->syncNow();
    QTRY_COMPARE(state->notes()->noteById(note.id)->body,
                 Device::bodyOf(QStringLiteral("Packing list, revised elsewhere")));
    QTRY_VERIFY(window.editor()->bodyJson().contains(QLatin1String("revised elsewhere")));

    QStringList kept;
    for (const Snapshot& s : state->snapshots()->snapshotsForNote(note.id)) {
        if (SnapshotRepository::isKept(s))
            kept << s.body;
    }
    QCOMPARE(kept.size(), 1);
    QVERIFY2(kept.first().contains(QLatin1String("tent")), qPrintable(kept.first()));
    QVERIFY(window.mainStatusBar()->currentMessage().contains(QLatin1String("history")));
}

// A failure the run stops on shows the error icon, with the error in the tooltip, until a run
// succeeds; an item the run went past is named in the tooltip. Without a network the status bar
// says once that changes wait; a server refusal is no such notice.
void tst_SyncWiring::failuresShowUntilARunSucceeds()
{
    auto state = startSynced();
    QVERIFY(state);
    MainWindow window(state.get());
    SyncCloudIcon* icon = window.mainStatusBar()->syncIcon();
    QSignalSpy said(state.get(), &AppState::statusMessage);

    fail("/notes/v1/sync/pull", 503);
    state->sync()->syncNow();
    QTRY_COMPARE(icon->state(), SyncCloudIcon::Error);
    QVERIFY(icon->toolTip().contains(QLatin1String("Pull failed (HTTP 503)")));
    m_server.clearFaults();
    fail("/notes/v1/sync/pull", 0);
    for (int run = 0; run < 2; ++run) {
        QSignalSpy failed(state->sync(), &SyncEngine::syncFailed);
        state->sync()->syncNow();
        QTRY_COMPARE(failed.count(), 1);
    }
    QCOMPARE(said.count(), 1);

    m_server.clearFaults();
    fail("/notes/v1/notebooks/*", 500);
    Notebook nb;
    nb.id = newId();
    nb.name = QStringLiteral("Garden");
    nb.createdAt = nb.updatedAt = QDateTime::currentDateTimeUtc();
    QVERIFY(state->notebooks()->insert(nb));
    state->sync()->syncNow();
    QTRY_COMPARE(icon->state(), SyncCloudIcon::Idle);
    QVERIFY2(icon->toolTip().contains(QLatin1String("Garden")), qPrintable(icon->toolTip()));
    m_server.clearFaults();
}

void tst_SyncWiring::otherAccountIsAskedFirst_data()
{
    QTest::addColumn<bool>("upload");
    QTest::newRow("upload to the new account") << true;
    QTest::newRow("keep apart") << false;
}

// A library that last synced with another account uploads nothing until the user chooses; keeping it
// apart saves it as a backup, empties it and fills it from the new account.
void tst_SyncWiring::otherAccountIsAskedFirst()
{
    QFETCH(bool, upload);
    QTemporaryDir dataDir;
    qputenv("NOTES_DATA_DIR", dataDir.path().toUtf8());
    Device other(m_server.base(), QStringLiteral("ada@example.com"));
    QVERIFY(other.ok);
    const Note accountNote = other.newNote(QStringLiteral("already in the account"));
    QVERIFY(other.sync());

    QString oldNoteId;
    {
        AppState offline;
        QVERIFY(offline.initialize());
        offline.preferences()->setValue(QLatin1String(PrefKey::SyncAccount), QStringLiteral("someone-else"));
        Note n;
        n.id = oldNoteId = newId();
        n.body = Device::bodyOf(QStringLiteral("the previous account's note"));
        n.createdAt = n.updatedAt = n.modifiedAt = QDateTime::currentDateTimeUtc();
        QVERIFY(offline.notes()->insert(n));
    }
    m_server.clearRequests();
    auto state = startWithKeyring(m_server.tokens());
    QVERIFY(state);
    QTRY_VERIFY(state->awaitingAccountChoice());
    QCOMPARE(m_server.count(QStringLiteral("/notes/v1/sync")), 0);

    if (upload) {
        state->uploadLibraryToAccount();
        QTRY_VERIFY(state->sync()->state() == SyncEngine::Idle);
        QVERIFY(other.sync());
        QVERIFY(other.notes->noteById(oldNoteId));
    } else {
        const QString backup = state->keepLibraryApart();
        QVERIFY(QFileInfo::exists(backup));
        QVERIFY(backup.startsWith(dataDir.path()));
        QVERIFY(!state->notes()->noteById(oldNoteId));
        QTRY_VERIFY(state->notes()->noteById(accountNote.id));
        QTRY_VERIFY(state->sync()->state() == SyncEngine::Idle);
        QVERIFY(other.sync());
        QVERIFY(!other.notes->noteById(oldNoteId));
    }
    state.reset();
    qputenv("NOTES_DATA_DIR", m_dir.path().toUtf8());
}

// File > Restore Database while signed in: the archive's notes and attachment files are restored as
// pending and reach the account, where another device finds them.
void tst_SyncWiring::restoreToAccountUploads()
{
    Device offline(m_server.base(), QStringLiteral("ada@example.com"));
    QVERIFY(offline.ok);
    const Note note = offline.newNote(QStringLiteral("only in the backup"));
    const QString attachmentId = newId();
    const QByteArray bytes(1500, 'r');
    QVERIFY(offline.attachments->saveFile(attachmentId, bytes));
    QVERIFY(offline.attachments->insert(Attachment{attachmentId, note.id, QStringLiteral("receipt.pdf"),
                                                   QStringLiteral("application/pdf"), bytes.size(),
                                                   QDateTime::currentDateTimeUtc(), SyncStatus::Pending}));
    const QString archive = m_dir.filePath(QStringLiteral("restore-me.zip"));
    QVERIFY(!createBackup(archive, LibraryRepositories{offline.notes, offline.notebooks, offline.attachments}).failed);

    auto state = startSynced();
    QVERIFY(state);
    MainWindow window(state.get());
    Interaction::Script script;
    script.answerText(archive);
    script.answer(QMessageBox::Yes);
    script.answer(QMessageBox::Ok);
    window.restoreDatabase();
    QTRY_COMPARE_WITH_TIMEOUT(script.pendingAnswers(), 0, 30000);
    QVERIFY2(script.requests().last().text.contains(QLatin1String("synced them to your account")),
             qPrintable(script.requests().last().text));
    QCOMPARE(state->attachments()->attachmentById(attachmentId)->syncStatus, SyncStatus::Synced);

    Device other(m_server.base(), QStringLiteral("ada@example.com"));
    QVERIFY(other.sync());
    QCOMPARE(other.notes->noteById(note.id)->body, note.body);
    QCOMPARE(other.attachments->fileData(attachmentId), bytes);
}

// Every message the app logs, at every level, and every file it leaves in its data and settings
// folders stay free of the session's tokens: through a session restored with an expired access
// token (so the refresh token is spent), a note pushed and a pull.
void tst_SyncWiring::tokensStayOutOfLogsAndFiles()
{
    static QStringList logged;
    logged.clear();
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=true"));
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) { logged << text; });
    const auto expired = m_server.tokens(QStringLiteral("ada@example.com"), -60);
    auto vault = std::make_shared<TokenVault::element_type>();
    {
        auto state = startWithKeyring(expired, vault);
        QVERIFY(state);
        QTRY_VERIFY(state->signedIn() && state->sync()->state() != SyncEngine::Syncing);
        Note note = makeNote(newId(), Device::bodyOf(QStringLiteral("sealed")));
        QVERIFY(state->notes()->insert(note));
        QSignalSpy done(state->sync(), &SyncEngine::syncCompleted);
        state->sync()->syncNow();
        QTRY_VERIFY(!done.isEmpty());
    }
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules(QString());

    const QStringList secrets = QStringList{expired.first, expired.second} + vault->values();
    QVERIFY(!vault->values().contains(expired.first)); // the session was refreshed
    QVERIFY(!logged.isEmpty());
    for (const QString& line : std::as_const(logged)) {
        for (const QString& secret : std::as_const(secrets))
            QVERIFY2(!line.contains(secret), qPrintable(line.left(200)));
    }
    const QStringList folders{m_dir.path(), QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation),
                              QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)};
    for (const QString& folder : folders) {
        QDirIterator files(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile file(files.next());
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            for (const QString& secret : std::as_const(secrets))
                QVERIFY2(!bytes.contains(secret.toUtf8()), qPrintable(file.fileName()));
        }
    }
}

QTEST_MAIN(tst_SyncWiring)
#include "tst_SyncWiring.moc"
