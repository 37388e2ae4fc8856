#include "../TestLibrary.h"
#include "AttachmentRepository.h"
#include "Clock.h"
#include "NoteRepository.h"
#include "SnapshotRepository.h"

#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>

namespace {

QString body(const QString& text)
{
    return QStringLiteral(R"([{"insert":"%1\n"}])").arg(text);
}

// Records the repository's signals in emission order.
QStringList* recordSignals(NoteRepository* repo, QObject* context)
{
    auto* log = new QStringList;
    QObject::connect(repo, &NoteRepository::notesChanged, context, [log] { *log << QStringLiteral("notesChanged"); });
    QObject::connect(repo, &NoteRepository::noteDeleted, context,
                     [log](const QString& id) { *log << QStringLiteral("noteDeleted:") + id; });
    QObject::connect(repo, &NoteRepository::notePurged, context,
                     [log](const QString& id) { *log << QStringLiteral("notePurged:") + id; });
    QObject::connect(repo, &NoteRepository::attachmentsOrphaned, context, [log](const QStringList& ids) {
        *log << QStringLiteral("attachmentsOrphaned:") + ids.join(QLatin1Char(','));
    });
    return log;
}

int countFor(const QSqlDatabase& db, const QString& table, const QString& noteId)
{
    const QString column = table == QLatin1String("notes") ? QStringLiteral("id") : QStringLiteral("note_id");
    return scalar(db, QStringLiteral("SELECT count(*) FROM %1 WHERE %2 = ?").arg(table, column), {noteId}).toInt();
}

const QStringList kDependentTables = {"notes", "note_snapshots",  "note_task_settings",
                                      "tasks", "note_operations", "attachments"};

} // namespace

class tst_NoteRepository : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void insertDuplicateFails();
    void lists();
    void search_data();
    void search();
    void noteCountsByNotebook();
    void moveToNotebook_data();
    void moveToNotebook();
    void markPushed_data();
    void markPushed();
    void trashRestorePurge();
    void syncStates();
    void includeInTodos_data();
    void includeInTodos();
    void purgeRemovesEverything();
    void purgeFailureRollsBack();
    void purgeInsideOpenTransaction();
};

void tst_NoteRepository::roundTrip_data()
{
    QTest::addColumn<bool>("trashed");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("ownerId");
    QTest::newRow("own pending note") << false << int(SyncStatus::Pending) << "";
    QTest::newRow("trashed shared conflict") << true << int(SyncStatus::Conflict) << "owner-9";
}

void tst_NoteRepository::roundTrip()
{
    QFETCH(bool, trashed);
    QFETCH(int, status);
    QFETCH(QString, ownerId);
    TestDb t;
    QVERIFY(t.ok);
    NoteRepository repo(&t.database);

    Note n;
    n.id = newId();
    n.notebookId = QStringLiteral("nb-1");
    n.body = body(QStringLiteral("Caf\u00e9 \u2014 \"quoted\" \U0001F600"));
    n.createdAt = utc("2023-01-02T03:04:05.006Z");
    n.updatedAt = QDateTime(QDate(2023, 6, 7), QTime(10, 11, 12, 999), Qt::OffsetFromUTC, -5 * 3600);
    n.modifiedAt = utc("2023-06-07T15:11:13.001Z");
    if (trashed)
        n.deletedAt = utc("2023-07-01T00:00:00.123Z");
    n.version = 7;
    n.opVersion = 3;
    n.syncStatus = SyncStatus(status);
    n.isSample = true;
    n.ownerId = ownerId;
    n.isShared = !ownerId.isEmpty();
    n.permission = ownerId.isEmpty() ? QString() : QStringLiteral("write");
    QVERIFY(repo.insert(n));
    QCOMPARE(describe(*repo.noteById(n.id)), describe(n));
    QCOMPARE(repo.noteById(n.id)->updatedAt.timeSpec(), Qt::UTC);

    // update writes every column but id and created_at.
    Note changed = n;
    changed.createdAt = utc("2030-01-01T00:00:00.000Z");
    changed.notebookId = QString();
    changed.body = body(QStringLiteral("second"));
    changed.updatedAt = utc("2024-01-01T00:00:00.001Z");
    changed.modifiedAt = utc("2024-01-01T00:00:00.002Z");
    changed.deletedAt = trashed ? std::nullopt : std::optional(utc("2024-01-01T00:00:00.003Z"));
    changed.version = 8;
    changed.opVersion = 0;
    changed.syncStatus = SyncStatus::Pending;
    changed.isSample = false;
    changed.ownerId = QString();
    changed.isShared = false;
    changed.permission = QString();
    QVERIFY(repo.update(changed));
    Note expected = changed;
    expected.createdAt = n.createdAt;
    QCOMPARE(describe(*repo.noteById(n.id)), describe(expected));
}

void tst_NoteRepository::insertDuplicateFails()
{
    TestDb t;
    QVERIFY(t.ok);
    NoteRepository repo(&t.database);
    QSignalSpy changed(&repo, &NoteRepository::notesChanged);
    QVERIFY(repo.insert(makeNote(QStringLiteral("a"), body(QStringLiteral("one")))));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^NoteRepository::insert failed: .+")));
    QVERIFY(!repo.insert(makeNote(QStringLiteral("a"), body(QStringLiteral("two")))));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(repo.noteById(QStringLiteral("a"))->body, body(QStringLiteral("one")));
    QVERIFY(!repo.noteById(QStringLiteral("missing")));
}

void tst_NoteRepository::lists()
{
    TestDb t;
    QVERIFY(t.ok);
    NoteRepository repo(&t.database);
    auto add = [&](const char* id, const char* nb, const char* updated, const char* owner, bool shared,
                   const char* deleted) {
        Note n = makeNote(QString::fromLatin1(id), body(QStringLiteral("x")), QString::fromLatin1(nb), utc(updated));
        n.ownerId = QString::fromLatin1(owner);
        n.isShared = shared;
        if (deleted)
            n.deletedAt = utc(deleted);
        QVERIFY(repo.insert(n));
    };
    add("old", "A", "2024-01-01T00:00:00.000Z", "", false, nullptr);
    add("new", "", "2024-03-01T00:00:00.000Z", "", true, nullptr);
    add("mid", "A", "2024-02-01T00:00:00.000Z", "friend", true, nullptr);
    add("bin1", "A", "2024-04-01T00:00:00.000Z", "", true, "2024-05-01T00:00:00.000Z");
    add("bin2", "", "2024-04-02T00:00:00.000Z", "", false, "2024-06-01T00:00:00.000Z");

    QCOMPARE(ids(repo.allNotes()), (QStringList{"new", "mid", "old"}));
    QCOMPARE(ids(repo.notesInNotebook(QStringLiteral("A"))), (QStringList{"mid", "old"}));
    QCOMPARE(ids(repo.notesInNotebook(QStringLiteral(""))), QStringList{"new"});
    QCOMPARE(ids(repo.notesInNotebook(QString())), QStringList{"new"});
    QCOMPARE(ids(repo.trashedNotes()), (QStringList{"bin2", "bin1"}));
    QCOMPARE(repo.trashedCount(), 2);
    // The list queries without bodies keep the order and filters of the full ones.
    QCOMPARE(ids(repo.listedNotes()), (QStringList{"new", "mid", "old"}));
    QCOMPARE(ids(repo.listedNotes(QStringLiteral("A"))), (QStringList{"mid", "old"}));
    const QList<Note> listed = repo.listedNotes();
    QVERIFY(listed.first().body.isEmpty());
    QCOMPARE(listed.first().updatedAt, repo.noteById(QStringLiteral("new"))->updatedAt);
    QCOMPARE(listed.at(1).ownerId, QStringLiteral("friend"));
    QCOMPARE(ids(repo.sharedByMe()), QStringList{"new"});
    QCOMPARE(ids(repo.sharedWithMe()), QStringList{"mid"});
    // Trashed notes are still found by id.
    QVERIFY(repo.noteById(QStringLiteral("bin1"))->isTrashed());
}

void tst_NoteRepository::search_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("expected");                                    // ids in rank order
    const QStringList all{"grocery", "apples", "meeting", "eink", "cpp", "coop"}; // newest first
    QTest::newRow("prefix of last word") << "meet" << QStringList{"meeting"};
    QTest::newRow("every word must occur") << "budget meeting" << QStringList{"meeting"};
    QTest::newRow("no match") << "zanzibar" << QStringList();
    QTest::newRow("trashed note excluded") << "secret" << QStringList();
    QTest::newRow("unbalanced quote") << "\"meeting" << QStringList{"meeting"};
    QTest::newRow("spaces only: every note") << "   " << all;
    QTest::newRow("empty: every note") << "" << all;
    QTest::newRow("more occurrences rank first") << "apple" << QStringList{"apples", "grocery"};
    // What people type is found, even when it is no valid full-text expression.
    QTest::newRow("hyphen") << "e-ink" << QStringList{"eink"};
    QTest::newRow("apostrophe") << "don't" << QStringList{"meeting"};
    QTest::newRow("plus signs, as a prefix") << "C++" << QStringList{"cpp", "coop"};
    QTest::newRow("hyphen, last part a prefix") << "the co-o" << QStringList{"coop"};
    QTest::newRow("operators of a valid query kept") << "tablet OR shop" << QStringList{"coop", "eink"};
    QTest::newRow("not there") << "e-paper" << QStringList();
}

void tst_NoteRepository::search()
{
    QFETCH(QString, query);
    QFETCH(QStringList, expected);
    TestDb t;
    QVERIFY(t.ok);
    NoteRepository repo(&t.database);
    const QList<QPair<QString, QString>> notes = {
        {"coop", "The co-op shop"},          {"cpp", "Learning C++"},
        {"eink", "My e-ink tablet"},         {"meeting", "Team meeting about the budget, don't miss it"},
        {"apples", "apple apple apple pie"}, {"grocery", "Buy groceries: apple, milk"}};
    QDateTime at = utc("2024-01-01T00:00:00.000Z");
    for (const auto& [id, text] : notes)
        QVERIFY(repo.insert(makeNote(id, body(text), QString(), at = at.addDays(1))));
    Note trashed = makeNote(QStringLiteral("trashed"), body(QStringLiteral("secret meeting")));
    trashed.deletedAt = utc("2024-02-01T00:00:00.000Z");
    QVERIFY(repo.insert(trashed));

    QCOMPARE(ids(repo.search(query)), expected);
    // The list's variant finds the same notes in the same order, without their bodies.
    const QList<Note> listed = repo.listedSearch(query);
    QCOMPARE(ids(listed), expected);
    QVERIFY(std::all_of(listed.begin(), listed.end(), [](const Note& n) { return n.body.isEmpty(); }));
}

void tst_NoteRepository::noteCountsByNotebook()
{
    TestDb t;
    QVERIFY(t.ok);
    NoteRepository repo(&t.database);
    const QList<QPair<QString, int>> layout = {{"A", 2}, {"B", 1}, {"", 3}};
    for (const auto& [nb, count] : layout) {
        for (int i = 0; i < count; ++i)
            QVERIFY(repo.insert(makeNote(newId(), body(QStringLiteral("n")), nb)));
    }
    Note trashed = makeNote(newId(), body(QStringLiteral("gone")), QStringLiteral("A"));
    trashed.deletedAt = utc("2024-02-01T00:00:00.000Z");
    QVERIFY(repo.insert(trashed));

    const QHash<QString, int> expected = {{"A", 2}, {"B", 1}, {"", 6}};
    QCOMPARE(repo.noteCountsByNotebook(), expected);
}

void tst_NoteRepository::moveToNotebook_data()
{
    // clang-format off
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("stored");
    QTest::newRow("null id means no notebook") << QString() << "";
    QTest::newRow("into a notebook") << "nb-2" << "nb-2";
    // clang-format on
}

void tst_NoteRepository::moveToNotebook()
{
    QFETCH(QString, target);
    QFETCH(QString, stored);
    TestDb t;
    QVERIFY(t.ok);
    NoteRepository repo(&t.database);
    Note n = makeNote(QStringLiteral("n"), body(QStringLiteral("x")), QStringLiteral("nb-1"),
                      utc("2024-01-01T00:00:00.000Z"));
    n.syncStatus = SyncStatus::Synced;
    QVERIFY(repo.insert(n));

    Clock::Fixed clock(utc("2024-05-05T05:05:05.555Z"));
    QSignalSpy changed(&repo, &NoteRepository::notesChanged);
    QVERIFY(repo.moveToNotebook(QStringLiteral("n"), target));
    QCOMPARE(changed.count(), 1);
    const Note after = *repo.noteById(QStringLiteral("n"));
    QCOMPARE(after.notebookId, stored);
    QCOMPARE(scalar(t.db(), QStringLiteral("SELECT notebook_id IS NULL FROM notes")).toInt(), 0);
    QCOMPARE(after.syncStatus, SyncStatus::Pending);
    QCOMPARE(toDbTimestamp(after.modifiedAt), QStringLiteral("2024-05-05T05:05:05.555Z"));
    QCOMPARE(toDbTimestamp(after.updatedAt), QStringLiteral("2024-01-01T00:00:00.000Z"));
    QCOMPARE(after.version, n.version + 1);
}

void tst_NoteRepository::markPushed_data()
{
    QTest::addColumn<int>("storedVersion");
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("base");
    QTest::newRow("row as sent: in step at the server's version") << 4 << "synced" << 7 << 7;
    QTest::newRow("edited while the push travelled: stays pending") << 5 << "pending" << 5 << 7;
}

// Marking a pushed note never hides an edit made while the push was on its way.
void tst_NoteRepository::markPushed()
{
    QFETCH(int, storedVersion);
    QFETCH(QString, status);
    QFETCH(int, version);
    QFETCH(int, base);
    TestDb t;
    QVERIFY(t.ok);
    NoteRepository repo(&t.database);
    Note n = makeNote(QStringLiteral("n"), body(QStringLiteral("x")));
    n.version = storedVersion;
    n.opVersion = 3;
    QVERIFY(repo.insert(n));
    QVERIFY(repo.markPushed(n.id, 4, 7));
    const Note after = *repo.noteById(n.id);
    QCOMPARE(syncStatusToString(after.syncStatus), status);
    QCOMPARE(after.version, version);
    QCOMPARE(after.opVersion, base);
}

// Trash, restore and purge: what each changes, and the signals each sends, in order.
void tst_NoteRepository::trashRestorePurge()
{
    TestDb t;
    QVERIFY(t.ok);
    NoteRepository repo(&t.database);
    QObject context;
    std::unique_ptr<QStringList> log(recordSignals(&repo, &context));
    Note n = makeNote(QStringLiteral("n"), body(QStringLiteral("x")), QString(), utc("2024-01-01T00:00:00.000Z"));
    n.syncStatus = SyncStatus::Synced;
    QVERIFY(repo.insert(n));
    QCOMPARE(*log, QStringList{"notesChanged"});

    Clock::Fixed clock(utc("2024-02-02T02:02:02.202Z"));
    log->clear();
    QVERIFY(repo.moveToTrash(QStringLiteral("n")));
    QCOMPARE(*log, (QStringList{"noteDeleted:n", "notesChanged"}));
    Note after = *repo.noteById(QStringLiteral("n"));
    QCOMPARE(after.deletedAt ? toDbTimestamp(*after.deletedAt) : QString(), QStringLiteral("2024-02-02T02:02:02.202Z"));
    QCOMPARE(after.syncStatus, SyncStatus::Pending);
    QCOMPARE(toDbTimestamp(after.updatedAt), QStringLiteral("2024-01-01T00:00:00.000Z"));
    QCOMPARE(toDbTimestamp(after.modifiedAt), QStringLiteral("2024-01-01T00:00:00.000Z"));
    QVERIFY(repo.allNotes().isEmpty());

    log->clear();
    QVERIFY(repo.markSynced(QStringLiteral("n"), 4));
    QCOMPARE(*log, QStringList()); // sync bookkeeping is silent
    QVERIFY(repo.restore(QStringLiteral("n")));
    QCOMPARE(*log, QStringList{"notesChanged"});
    after = *repo.noteById(QStringLiteral("n"));
    QVERIFY(!after.deletedAt);
    QCOMPARE(after.syncStatus, SyncStatus::Pending);
    // Trash and restore count as edits: the server must see them as newer than its copy.
    QCOMPARE(after.version, 5);
    QCOMPARE(ids(repo.allNotes()), QStringList{"n"});

    log->clear();
    QVERIFY(repo.purge(QStringLiteral("n")));
    QCOMPARE(*log, (QStringList{"notePurged:n", "notesChanged"}));
}

// pendingNotes() includes the trash; markAllPending() does not touch it.
void tst_NoteRepository::syncStates()
{
    TestDb t;
    QVERIFY(t.ok);
    NoteRepository repo(&t.database);
    const QStringList statuses{"synced", "conflict", "pending", "trashed-synced", "trashed-pending"};
    for (const QString& status : statuses) {
        Note n = makeNote(status, body(QStringLiteral("x")));
        if (status.startsWith(QLatin1String("trashed-")))
            n.deletedAt = utc("2024-01-01T00:00:00.000Z");
        n.syncStatus = syncStatusFromString(status.section(u'-', -1));
        QVERIFY(repo.insert(n));
    }
    QStringList pending = ids(repo.pendingNotes());
    pending.sort();
    QCOMPARE(pending, (QStringList{"pending", "trashed-pending"}));
    QCOMPARE(repo.markAllPending(), 2);
    QStringList stored;
    for (const QString& id : statuses)
        stored << syncStatusToString(repo.noteById(id)->syncStatus);
    QCOMPARE(stored, (QStringList{"pending", "pending", "pending", "synced", "pending"}));
}

void tst_NoteRepository::includeInTodos_data()
{
    QTest::addColumn<QList<bool>>("writes");
    QTest::addColumn<bool>("expected");
    QTest::newRow("no row: included") << QList<bool>{} << true;
    QTest::newRow("set false") << QList<bool>{false} << false;
    QTest::newRow("false then true replaces") << QList<bool>{false, true} << true;
}

void tst_NoteRepository::includeInTodos()
{
    QFETCH(QList<bool>, writes);
    QFETCH(bool, expected);
    TestDb t;
    QVERIFY(t.ok);
    NoteRepository repo(&t.database);
    QVERIFY(repo.insert(makeNote(QStringLiteral("n"), body(QStringLiteral("x")))));
    for (bool w : writes)
        QVERIFY(repo.setIncludeInTodos(QStringLiteral("n"), w));
    QCOMPARE(repo.includeInTodos(QStringLiteral("n")), expected);
    QCOMPARE(scalar(t.db(), QStringLiteral("SELECT count(*) FROM note_task_settings")).toInt(),
             writes.isEmpty() ? 0 : 1);
    // Foreign keys: no setting for a note that does not exist.
    QVERIFY(!repo.setIncludeInTodos(QStringLiteral("ghost"), false));
    QCOMPARE(repo.includeInTodos(QStringLiteral("ghost")), true);
}

namespace {

// A note with two snapshots, an attachment (row and file), a to-do setting, a task and an
// operation row, next to a bystander note that has the same kinds of rows.
struct PurgeFixture
{
    TestDb t;
    NoteRepository notes{&t.database};
    SnapshotRepository snapshots{&t.database};
    AttachmentRepository attachments{&t.database, nullptr, t.dir.filePath(QStringLiteral("attachments"))};
    QString attachmentId = newId();
    QString bystanderAttachmentId = newId();

    bool populate()
    {
        bool ok = t.ok;
        for (const QString& id : {QStringLiteral("doomed"), QStringLiteral("bystander")}) {
            ok = ok && notes.insert(makeNote(id, body(QStringLiteral("purgeable ") + id)));
            for (int v = 1; v <= 2; ++v)
                ok = ok &&
                     snapshots.insert({newId(), id, v, body(QStringLiteral("v")), utc("2024-01-01T00:00:00.000Z")});
            ok = ok && notes.setIncludeInTodos(id, false);
            ok = ok && exec(t.db(),
                            QStringLiteral("INSERT INTO tasks (id, note_id, text, source, line_index, char_offset, "
                                           "extracted_at, note_updated_at) "
                                           "VALUES (?, ?, 't', 'check', 0, 0, 'x', 'x')"),
                            {newId(), id});
            ok = ok && exec(t.db(),
                            QStringLiteral("INSERT INTO note_operations (id, note_id, base_version, result_version, "
                                           "operation, created_at) VALUES (?, ?, 1, 2, '{}', 'x')"),
                            {newId(), id});
            const QString attId = id == QLatin1String("doomed") ? attachmentId : bystanderAttachmentId;
            ok = ok && attachments.saveFile(attId, "PNG bytes");
            ok = ok && attachments.insert({attId, id, QStringLiteral("a.png"), QStringLiteral("image/png"), 9,
                                           utc("2024-01-01T00:00:00.000Z"), SyncStatus::Pending});
        }
        return ok;
    }
};

} // namespace

void tst_NoteRepository::purgeRemovesEverything()
{
    PurgeFixture f;
    QVERIFY(f.populate());
    QObject::connect(&f.notes, &NoteRepository::attachmentsOrphaned, &f.attachments,
                     &AttachmentRepository::removeFiles);
    QObject::connect(&f.notes, &NoteRepository::notePurged, &f.attachments, &AttachmentRepository::deleteAllForNote);
    QObject context;
    std::unique_ptr<QStringList> log(recordSignals(&f.notes, &context));

    QVERIFY(f.notes.purge(QStringLiteral("doomed")));
    QCOMPARE(*log, (QStringList{"attachmentsOrphaned:" + f.attachmentId, "notePurged:doomed", "notesChanged"}));
    for (const QString& table : kDependentTables) {
        QVERIFY2(countFor(f.t.db(), table, QStringLiteral("doomed")) == 0, qPrintable(table));
        QVERIFY2(countFor(f.t.db(), table, QStringLiteral("bystander")) == 1 + (table == "note_snapshots"),
                 qPrintable(table));
    }
    QVERIFY(!QFile::exists(f.attachments.filePath(f.attachmentId)));
    QVERIFY(QFile::exists(f.attachments.filePath(f.bystanderAttachmentId)));
    QCOMPARE(ids(f.notes.search(QStringLiteral("purgeable"))), QStringList{"bystander"});
    QCOMPARE(scalar(f.t.db(), QStringLiteral("SELECT count(*) FROM pragma_foreign_key_check")).toInt(), 0);
}

void tst_NoteRepository::purgeFailureRollsBack()
{
    PurgeFixture f;
    QVERIFY(f.populate());
    QVERIFY(exec(f.t.db(), QStringLiteral("CREATE TRIGGER keep_notes BEFORE DELETE ON notes "
                                          "BEGIN SELECT RAISE(ABORT, 'notes are kept'); END")));
    QObject::connect(&f.notes, &NoteRepository::attachmentsOrphaned, &f.attachments,
                     &AttachmentRepository::removeFiles);
    QObject context;
    std::unique_ptr<QStringList> log(recordSignals(&f.notes, &context));

    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("^NoteRepository::purge failed: .*notes are kept")));
    QVERIFY(!f.notes.purge(QStringLiteral("doomed")));
    QCOMPARE(*log, QStringList());
    for (const QString& table : kDependentTables)
        QVERIFY2(countFor(f.t.db(), table, QStringLiteral("doomed")) == 1 + (table == "note_snapshots"),
                 qPrintable(table));
    QVERIFY(QFile::exists(f.attachments.filePath(f.attachmentId)));
    QCOMPARE(f.notes.includeInTodos(QStringLiteral("doomed")), false);

    // The connection is usable afterwards (no transaction left open).
    QVERIFY(exec(f.t.db(), QStringLiteral("DROP TRIGGER keep_notes")));
    QVERIFY(f.notes.purge(QStringLiteral("doomed")));
    QVERIFY(!f.notes.noteById(QStringLiteral("doomed")));
}

void tst_NoteRepository::purgeInsideOpenTransaction()
{
    PurgeFixture f;
    QVERIFY(f.populate());
    QObject::connect(&f.notes, &NoteRepository::attachmentsOrphaned, &f.attachments,
                     &AttachmentRepository::removeFiles);
    const QString file = f.attachments.filePath(f.attachmentId);
    QSqlDatabase db = f.t.db();
    QVERIFY(db.transaction());
    QVERIFY(f.notes.purge(QStringLiteral("doomed")));
    // The attachment file waits for the caller's transaction.
    QVERIFY(QFile::exists(file));
    QVERIFY(db.rollback());
    // The caller's rollback undoes the purge too: it ran inside the caller's transaction.
    QVERIFY(f.notes.noteById(QStringLiteral("doomed")));
    QCOMPARE(countFor(f.t.db(), QStringLiteral("note_snapshots"), QStringLiteral("doomed")), 2);
    QTest::qWait(0);
    QCoreApplication::processEvents();
    QVERIFY(QFile::exists(file));
    QVERIFY(f.attachments.attachmentById(f.attachmentId));

    QVERIFY(db.transaction());
    QVERIFY(f.notes.purge(QStringLiteral("doomed")));
    QCoreApplication::processEvents();
    QVERIFY(QFile::exists(file));
    QVERIFY(db.commit());
    QVERIFY(!f.notes.noteById(QStringLiteral("doomed")));
    QTRY_VERIFY(!QFile::exists(file));
    QVERIFY(QFile::exists(f.attachments.filePath(f.bystanderAttachmentId)));
}

QTEST_GUILESS_MAIN(tst_NoteRepository)
#include "tst_NoteRepository.moc"
