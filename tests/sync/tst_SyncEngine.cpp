#include "PreferenceKeys.h"
#include "SharingBackend.h"
#include "SyncTestRig.h"

#include <QSqlQuery>

// Two devices signed in to one account on the reference server, each with its own library.
class tst_SyncEngine : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void twoClientsConverge_data();
    void twoClientsConverge();
    void conflictsKeepEveryBody_data();
    void conflictsKeepEveryBody();
    void attachmentUploadRefreshesAfter401();
    void faultMatrix_data();
    void faultMatrix();
    void cursorAppliesOnceAndRetriesFailed();
    void batchesAndOversizedNote();
    void shareSyncUnshare_data();
    void shareSyncUnshare();

private:
    ServerProcess m_server;
};

static const QString kUser = QStringLiteral("ada@example.com");

void tst_SyncEngine::initTestCase()
{
    if (!m_server.start())
        QSKIP("the reference server (tools/devserver) is not built");
}

void tst_SyncEngine::cleanup()
{
    m_server.clearFaults();
}

void tst_SyncEngine::twoClientsConverge_data()
{
    QTest::addColumn<QString>("operation");
    // Creating, editing and attaching converge in every fault-matrix row; moving and trashing are steps below.
    for (const char* op : {"restore", "purge", "rename notebook", "delete notebook"})
        QTest::newRow(op) << QString::fromLatin1(op);
}

void tst_SyncEngine::twoClientsConverge()
{
    QFETCH(QString, operation);
    Device a(m_server.root, kUser);
    Device b(m_server.root, kUser);
    QVERIFY(a.ok && b.ok);

    const QString nb = a.newNotebook(QStringLiteral("Travel ") + operation);
    const Note note = a.newNote(QStringLiteral("first words of ") + operation, nb);
    QVERIFY(a.sync());
    QVERIFY(b.sync());
    QVERIFY(b.notes->noteById(note.id));

    if (operation == QLatin1String("restore") || operation == QLatin1String("purge")) {
        QVERIFY(a.notes->moveToTrash(note.id));
        QVERIFY(a.sync());
        QVERIFY(b.sync());
        QVERIFY(b.notes->noteById(note.id)->isTrashed());
        QVERIFY(operation == QLatin1String("purge") ? a.notes->purge(note.id) : a.notes->restore(note.id));
    } else if (operation == QLatin1String("rename notebook")) {
        Notebook renamed = *a.notebooks->notebookById(nb);
        renamed.name = QStringLiteral("Renamed");
        renamed.version += 1;
        renamed.syncStatus = SyncStatus::Pending;
        QVERIFY(a.notebooks->update(renamed));
    } else if (operation == QLatin1String("delete notebook")) {
        QVERIFY(a.notes->moveToNotebook(note.id, QString()));
        QVERIFY(a.notebooks->markDeleted(nb));
    }

    QVERIFY(a.sync());
    QVERIFY(b.sync());
    QCOMPARE(b.library(), a.library());
    QVERIFY(a.notes->pendingNotes().isEmpty());
    QCOMPARE(a.engine->state(), SyncEngine::Idle);
    // Nothing went back and forth: one more run on each side changes nothing.
    QSignalSpy changedA(a.engine, &SyncEngine::dataChanged);
    QVERIFY(a.sync());
    QCOMPARE(changedA.count(), 0);
}

void tst_SyncEngine::conflictsKeepEveryBody_data()
{
    QTest::addColumn<bool>("purgeOnA");
    QTest::newRow("both edit: one text wins, the other waits in history") << false;
    QTest::newRow("an edit survives a purge elsewhere") << true;
}

// Both devices change the same note before either syncs; both end up the same, and no text is lost.
void tst_SyncEngine::conflictsKeepEveryBody()
{
    QFETCH(bool, purgeOnA);
    Device a(m_server.root, kUser);
    Device b(m_server.root, kUser);
    QVERIFY(a.ok && b.ok);
    const Note note = a.newNote(QStringLiteral("shopping list"));
    QVERIFY(a.sync());
    QVERIFY(b.sync());

    if (purgeOnA)
        QVERIFY(a.notes->purge(note.id));
    else
        a.edit(note.id, QStringLiteral("milk, eggs (A)"));
    b.edit(note.id, QStringLiteral("bread, butter (B)"));
    b.edit(note.id, QStringLiteral("bread, butter, jam (B)"));
    QVERIFY(a.sync());
    QSignalSpy kept(b.engine, &SyncEngine::localEditsKept);
    QVERIFY(b.sync());
    QVERIFY(a.sync());

    const QString jam = Device::bodyOf(QStringLiteral("bread, butter, jam (B)"));
    if (purgeOnA) {
        QCOMPARE(a.notes->noteById(note.id)->body, jam);
    } else {
        QCOMPARE(b.notes->noteById(note.id)->body, Device::bodyOf(QStringLiteral("milk, eggs (A)")));
        QCOMPARE(b.keptBodies(note.id), QStringList{jam});
        QCOMPARE(kept.count(), 1);
        QCOMPARE(kept.first().first().toStringList(), QStringList{note.id});
    }
    QCOMPARE(b.notes->noteById(note.id)->syncStatus, SyncStatus::Synced);
    QCOMPARE(a.library(), b.library());
}

void tst_SyncEngine::faultMatrix_data()
{
    // Faults as "METHOD path action" separated by ';' ("*": any method; a number: answer with that status).
    QTest::addColumn<QString>("faults");
    QTest::addColumn<bool>("runCompletes");
    QTest::addColumn<QString>("leftBehind"); // a word the sync tooltip then names
    const auto row = [](const QString& name, const QString& faults, bool completes, const char* leftBehind = "") {
        QTest::newRow(qPrintable(name)) << faults << completes << QString::fromLatin1(leftBehind);
    };
    for (const QString action : {"500", "drop", "hang", "malformed"}) {
        row("push " + action, "POST /notes/v1/sync/push " + action, false);
        row("pull " + action, "GET /notes/v1/sync/pull " + action, false);
    }
    row("notebook list malformed", "GET /notes/v1/notebooks malformed", false);
    // The refused notes' attachment waits for them rather than being given up.
    row("push 413", "POST /notes/v1/sync/push 413", true, "waits for its note");
    row("notebook upload 500", "PUT /notes/v1/notebooks/* 500", true, "Notebook");
    row("attachment upload 500", "POST /notes/v1/attachments 500", true, "photo.png");
    row("attachment upload 413", "POST /notes/v1/attachments 413", true, "too large");
    row("attachment list malformed", "GET /notes/v1/attachments malformed", true, "Attachments");
    row("attachment download 500", "GET /notes/v1/attachments/* 500", true);
    row("401 storm, refresh refused", "* /notes/v1/* 401;POST /auth/* 401", false);
}

// Every failure leaves every body where it was, and the first run after the fault clears brings both
// devices to the same library.
void tst_SyncEngine::faultMatrix()
{
    QFETCH(QString, faults);
    QFETCH(bool, runCompletes);
    QFETCH(QString, leftBehind);

    Device a(m_server.root, kUser);
    Device b(m_server.root, kUser);
    QVERIFY(a.ok && b.ok);
    const Note existing = a.newNote(QStringLiteral("synced before the fault"));
    QVERIFY(a.sync());
    QVERIFY(b.sync());
    // The download row needs a file on the server that b has not fetched yet.
    const QByteArray bytes = QByteArray(3000, 'p');
    const QString serverFile = a.attach(existing.id, QStringLiteral("early.bin"), bytes);
    QVERIFY(a.sync());

    // Pending work of every kind on a.
    const Note fresh = a.newNote(QStringLiteral("written during the outage"), a.newNotebook(QStringLiteral("Recipes")));
    a.edit(existing.id, QStringLiteral("edited during the outage"));
    const QString photo = a.attach(fresh.id, QStringLiteral("photo.png"), QByteArray(2000, 'z'));
    const QStringList before = a.library();

    for (const QString& rule : faults.split(QLatin1Char(';')))
        m_server.addFault(rule);
    QCOMPARE(a.sync(), runCompletes);
    b.sync();
    QCOMPARE(a.library(), before);
    if (!runCompletes)
        QCOMPARE(a.engine->state(), SyncEngine::Error);
    if (!leftBehind.isEmpty())
        QVERIFY2(a.engine->leftBehind().join(QLatin1Char('\n')).contains(leftBehind),
                 qPrintable(a.engine->leftBehind().join(QLatin1Char('\n'))));

    m_server.clearFaults();
    // A refused refresh ends the session; the user signs in again.
    for (Device* d : {&a, &b}) {
        if (d->tokens->accessToken().isEmpty())
            d->signIn();
    }
    QVERIFY(a.sync());
    QVERIFY(b.sync());
    QCOMPARE(a.engine->state(), SyncEngine::Idle);
    QVERIFY(a.engine->leftBehind().isEmpty());
    QCOMPARE(b.library(), a.library());
    QCOMPARE(b.attachments->fileData(photo), QByteArray(2000, 'z'));
    QCOMPARE(b.attachments->fileData(serverFile), bytes);
}

// An upload refused with 401 renews the session and goes again in the same run.
void tst_SyncEngine::attachmentUploadRefreshesAfter401()
{
    Device a(m_server.root, kUser);
    QVERIFY(a.ok);
    const Note note = a.newNote(QStringLiteral("with a scan"));
    QVERIFY(a.sync());
    const QString id = a.attach(note.id, QStringLiteral("scan.pdf"), QByteArray(900, 's'));
    m_server.clearRequests();
    // The second 401 meets the request that renews the session, so a refresh really happens.
    m_server.addFault(QStringLiteral("POST /notes/v1/attachments 401"), {{"times", 1}});
    m_server.addFault(QStringLiteral("GET /notes/v1/notebooks 401"), {{"times", 1}});
    QVERIFY(a.sync());
    QCOMPARE(a.attachments->attachmentById(id)->syncStatus, SyncStatus::Synced);
    QVERIFY(!m_server.requests(QStringLiteral("/auth/")).isEmpty());
}

// A change that could not be stored is fetched again; one that was stored is never applied twice.
void tst_SyncEngine::cursorAppliesOnceAndRetriesFailed()
{
    Device a(m_server.root, kUser);
    Device b(m_server.root, kUser);
    QVERIFY(a.ok && b.ok);
    QVERIFY(b.sync());
    const Note note = a.newNote(QStringLiteral("arrives late"));
    QVERIFY(a.sync());

    QSqlQuery q(b.database.db());
    QVERIFY(q.exec(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON notes WHEN new.id = '%1' "
                                  "BEGIN SELECT RAISE(ABORT, 'refused'); END")
                       .arg(note.id)));
    const auto cursorBefore = b.preferences->value(QLatin1String(PrefKey::LastSyncTimestampMs));
    QVERIFY(b.sync());
    QVERIFY(!b.notes->noteById(note.id));
    QCOMPARE(b.preferences->value(QLatin1String(PrefKey::LastSyncTimestampMs)), cursorBefore);

    QVERIFY(q.exec(QStringLiteral("DROP TRIGGER refuse")));
    QVERIFY(b.sync());
    QCOMPARE(b.notes->noteById(note.id)->body, note.body);

    // Delivered again (a full resync fetches everything): nothing is written, nothing announced.
    QVERIFY(q.exec(QStringLiteral("CREATE TRIGGER count_writes BEFORE UPDATE ON notes "
                                  "BEGIN SELECT RAISE(ABORT, 'no write expected'); END")));
    b.preferences->remove(QLatin1String(PrefKey::LastSyncTimestampMs));
    QSignalSpy changed(b.notes, &NoteRepository::notesChanged);
    QSignalSpy data(b.engine, &SyncEngine::dataChanged);
    QVERIFY(b.sync());
    QCOMPARE(changed.count(), 0);
    QCOMPARE(data.count(), 0);
    QCOMPARE(b.engine->state(), SyncEngine::Idle);
}

// A large push goes in several requests; a note the server will never take stays pending with a
// message, and the run still pulls.
void tst_SyncEngine::batchesAndOversizedNote()
{
    Device a(m_server.root, kUser);
    Device b(m_server.root, kUser);
    QVERIFY(a.ok && b.ok);
    QVERIFY(a.sync());
    const Note fromB = b.newNote(QStringLiteral("from the other device"));
    QVERIFY(b.sync());

    a.engine->setBatchLimits(3, 1024 * 1024);
    for (int i = 0; i < 7; ++i)
        a.newNote(QStringLiteral("batch note %1").arg(i));
    const Note huge = a.newNote(QString(200000, QLatin1Char('w')));
    m_server.addFault(QStringLiteral("POST /notes/v1/sync/push max_body"), {{"max_body", 100000}});
    m_server.clearRequests();

    QVERIFY(a.sync());
    const QJsonArray pushes = m_server.requests(QStringLiteral("/notes/v1/sync/push"));
    // 8 notes in batches of 3 (the one with the huge note refused and split down to it alone).
    QVERIFY2(pushes.size() >= 3, qPrintable(QString::number(pushes.size())));
    const QList<Note> pending = a.notes->pendingNotes();
    QCOMPARE(pending.size(), 1);
    QCOMPARE(pending.first().id, huge.id);
    QVERIFY(a.engine->leftBehind().join(QLatin1Char('\n')).contains(QLatin1String("too large")));
    QCOMPARE(a.engine->state(), SyncEngine::Pending);
    QVERIFY(a.notes->noteById(fromB.id));
}

// Runs one sharing call and waits for its answer.
template <typename... Args>
static std::tuple<Args...> await(const std::type_identity_t<std::function<void(std::function<void(Args...)>)>>& call)
{
    std::optional<std::tuple<Args...>> result;
    call([&](Args... args) { result.emplace(args...); });
    return QTest::qWaitFor([&] { return result.has_value(); }, 20000) ? *result : std::tuple<Args...>{};
}

// Sharing between two seeded people of one group, each with a library of their own: what one
// shares, the other pulls; view-only stays with the owner's text, edit goes both ways, and
// taking the share back takes the note away.
void tst_SyncEngine::shareSyncUnshare_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("note") << int(NoteSharingService::Notes);
    QTest::newRow("notebook") << int(NoteSharingService::Notebooks);
}

void tst_SyncEngine::shareSyncUnshare()
{
    QFETCH(int, mode);
    Device ada(m_server.root, kUser);
    Device ben(m_server.root, QLatin1String(DevServer::Ben));
    QVERIFY(ada.ok && ben.ok);
    const QString benId = m_server.signIn(DevServer::Ben).authUserId;

    QString notebookId;
    if (mode == NoteSharingService::Notebooks) {
        notebookId = ada.newNotebook(QStringLiteral("Lab book"));
        QVERIFY(!notebookId.isEmpty());
    }
    const Note note = ada.newNote(QStringLiteral("Engine tables"), notebookId);
    QVERIFY(ada.sync());
    NoteSharingService sharing(ada.api, NoteSharingService::Mode(mode));
    const QString item = notebookId.isEmpty() ? note.id : notebookId;
    const auto shareWith = [&](const QString& who, const char* permission) {
        return await<bool, QString>([&](auto cb) { sharing.shareWith(item, who, permission, cb); });
    };
    const auto shares = [&] {
        return std::get<0>(await<QList<NorvAccount::ShareMember>>([&](auto cb) { sharing.listMembers(item, cb); }));
    };

    // Someone outside the group cannot be given the note; the service's reason reaches the caller.
    const auto [refused, error] = shareWith(m_server.signIn(DevServer::Cleo).authUserId, "view");
    QVERIFY(!refused);
    QVERIFY2(error.contains(QLatin1String("not in your group")), qPrintable(error));

    QVERIFY(std::get<0>(shareWith(benId, "view")));
    const QList<NorvAccount::ShareMember> granted = shares();
    QCOMPARE(granted.size(), 2); // the owner, then Ben
    QCOMPARE(granted.at(1).sharedWithAccountId, benId);

    QVERIFY(ben.sync());
    std::optional<Note> received = ben.notes->noteById(note.id);
    QVERIFY(received);
    QCOMPARE(received->body, note.body);
    QCOMPARE(received->permission, QStringLiteral("view"));

    // View only: an edit that reaches the service anyway is refused, and the owner keeps her text.
    ben.edit(note.id, QStringLiteral("Ben was here"));
    ben.sync();
    QVERIFY(ada.sync());
    QCOMPARE(ada.notes->noteById(note.id)->body, note.body);

    // Edit: the held-back change goes through, and the owner's next change comes back.
    QVERIFY(std::get<0>(shareWith(benId, "edit")));
    QVERIFY(ben.sync());
    QCOMPARE(ben.notes->noteById(note.id)->permission, QStringLiteral("edit"));
    QVERIFY(ada.sync());
    QCOMPARE(ada.notes->noteById(note.id)->body, Device::bodyOf(QStringLiteral("Ben was here")));
    ada.edit(note.id, QStringLiteral("Ada answers"));
    QVERIFY(ada.sync());
    QVERIFY(ben.sync());
    QCOMPARE(ben.notes->noteById(note.id)->body, Device::bodyOf(QStringLiteral("Ada answers")));

    // Unsharing takes the note away from Ben, text and all.
    const QString shareId = shares().at(1).id;
    QVERIFY(std::get<0>(await<bool>([&](auto cb) { sharing.removeShare(item, shareId, cb); })));
    QCOMPARE(shares().size(), 1);
    QVERIFY(ben.sync());
    QVERIFY(ben.notes->sharedWithMe().isEmpty());
    for (const QString& entry : ben.library())
        QVERIFY2(!entry.contains(QLatin1String("Ada answers")), qPrintable(entry));
}

QTEST_MAIN(tst_SyncEngine)
#include "tst_SyncEngine.moc"
