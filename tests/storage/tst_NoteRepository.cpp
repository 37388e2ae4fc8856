#include "../TestLibrary.h"
#include "AttachmentRepository.h"
#include "Clock.h"
#include "NoteRepository.h"
#include "NotebookRepository.h"
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

// The repository's signals in emission order.
struct SignalLog : QObject, QStringList
{
    explicit SignalLog(NoteRepository* repo)
    {
        connect(repo, &NoteRepository::notesChanged, this, [this] { *this << QStringLiteral("notesChanged"); });
        connect(repo, &NoteRepository::noteDeleted, this, [this](const QString& id) { *this << "noteDeleted:" + id; });
        connect(repo, &NoteRepository::notePurged, this, [this](const QString& id) { *this << "notePurged:" + id; });
        connect(repo, &NoteRepository::attachmentsOrphaned, this,
                [this](const QStringList& ids) { *this << "attachmentsOrphaned:" + ids.join(QLatin1Char(',')); });
    }
    const QStringList& entries() const { return *this; }
};

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
    void search_data();
    void search();
    void markPushed_data();
    void markPushed();
    void moveTrashAndRestore_data();
    void moveTrashAndRestore();
    void syncStates();
    void notebookSyncStates();
    void purge_data();
    void purge();
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

    Note n = makeNote(newId(), body(QStringLiteral("Caf\u00e9 \u2014 \"quoted\" \U0001F600")), QStringLiteral("nb-1"),
                      utc("2023-01-02T03:04:05.006Z"));
    n.updatedAt = QDateTime(QDate(2023, 6, 7), QTime(10, 11, 12, 999), Qt::OffsetFromUTC, -5 * 3600);
    n.modifiedAt = utc("2023-06-07T15:11:13.001Z");
    if (trashed)
        n.deletedAt = utc("2023-07-01T00:00:00.123Z");
    n.version = 7, n.opVersion = 3, n.syncStatus = SyncStatus(status), n.isSample = true;
    n.ownerId = ownerId, n.isShared = !ownerId.isEmpty();
    n.permission = ownerId.isEmpty() ? QString() : QStringLiteral("write");
    QVERIFY(repo.insert(n));
    QCOMPARE(describe(*repo.noteById(n.id)), describe(n));

    // update writes every column but id and created_at.
    Note changed = n;
    changed.createdAt = utc("2030-01-01T00:00:00.000Z"), changed.notebookId = QString();
    changed.body = body(QStringLiteral("second")), changed.updatedAt = utc("2024-01-01T00:00:00.001Z");
    changed.modifiedAt = utc("2024-01-01T00:00:00.002Z");
    changed.deletedAt = trashed ? std::nullopt : std::optional(utc("2024-01-01T00:00:00.003Z"));
    changed.version = 8, changed.opVersion = 0, changed.syncStatus = SyncStatus::Pending, changed.isSample = false;
    changed.ownerId = QString(), changed.isShared = false, changed.permission = QString();
    QVERIFY(repo.update(changed));
    Note expected = changed;
    expected.createdAt = n.createdAt;
    QCOMPARE(describe(*repo.noteById(n.id)), describe(expected));
}

void tst_NoteRepository::search_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("expected");                                    // ids in rank order
    const QStringList all{"grocery", "apples", "meeting", "eink", "cpp", "coop"}; // newest first
    QTest::newRow("prefix of last word") << "meet" << QStringList{"meeting"};
    QTest::newRow("every word must occur") << "budget meeting" << QStringList{"meeting"};
    QTest::newRow("trashed note excluded") << "secret" << QStringList();
    QTest::newRow("unbalanced quote") << "\"meeting" << QStringList{"meeting"};
    QTest::newRow("empty: every note") << "" << all;
    QTest::newRow("more occurrences rank first") << "apple" << QStringList{"apples", "grocery"};
    // What people type is found, even when it is no valid full-text expression.
    QTest::newRow("hyphen") << "e-ink" << QStringList{"eink"};
    QTest::newRow("plus signs, as a prefix") << "C++" << QStringList{"cpp", "coop"};
    QTest::newRow("operators of a valid query kept") << "tablet OR shop" << QStringList{"coop", "eink"};
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

void tst_NoteRepository::moveTrashAndRestore_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QStringList>("sent"); // the signals, in order
    QTest::addColumn<QString>("after");    // notebook|deleted_at|modified_at|version|listed ids
    const QString earlier = QStringLiteral("2024-03-11T09:30:00.000Z"), // makeNote's times
        now = QStringLiteral("2024-05-05T05:05:05.555Z");
    QTest::newRow("move out of its notebook") << "move" << QStringList{"notesChanged"} << "|-|" + now + "|5|n";
    QTest::newRow("trash") << "trash" << QStringList{"noteDeleted:n", "notesChanged"}
                           << QStringLiteral("nb|%1|%2|5|").arg(now, earlier);
    QTest::newRow("restore") << "restore" << QStringList{"notesChanged"} << QStringLiteral("nb|-|%1|5|n").arg(earlier);
}

// What each changes and the signals each sends (purge: below). Each counts as an edit the server
// must see as newer than its copy, and none reorders the lists.
void tst_NoteRepository::moveTrashAndRestore()
{
    QFETCH(QString, operation);
    QFETCH(QStringList, sent);
    QFETCH(QString, after);
    TestDb t;
    QVERIFY(t.ok);
    NoteRepository repo(&t.database);
    SignalLog log(&repo);
    Note n = makeNote(QStringLiteral("n"), body(QStringLiteral("x")), QStringLiteral("nb"));
    if (operation == "restore")
        n.deletedAt = n.createdAt;
    QVERIFY(repo.insert(n));
    QVERIFY(repo.markSynced(n.id, 4));
    QCOMPARE(log.entries(), QStringList{"notesChanged"}); // sync bookkeeping is silent

    Clock::Fixed clock(utc("2024-05-05T05:05:05.555Z"));
    log.clear();
    QVERIFY(operation == "move"    ? repo.moveToNotebook(n.id, QString()) // a null id means no notebook
            : operation == "trash" ? repo.moveToTrash(n.id)
                                   : repo.restore(n.id));
    QCOMPARE(log.entries(), sent);
    const Note a = *repo.noteById(n.id);
    QCOMPARE(a.syncStatus, SyncStatus::Pending);
    QCOMPARE(toDbTimestamp(a.updatedAt), toDbTimestamp(n.updatedAt));
    QCOMPARE(QStringList({a.notebookId, a.deletedAt ? toDbTimestamp(*a.deletedAt) : "-", toDbTimestamp(a.modifiedAt),
                          QString::number(a.version), ids(repo.allNotes()).join(u',')})
                 .join(u'|'),
             after);
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

void tst_NoteRepository::notebookSyncStates()
{
    TestDb t;
    QVERIFY(t.ok);
    NotebookRepository repo(&t.database);
    const auto book = [](const char* id, SyncStatus status) {
        Notebook nb;
        nb.id = id, nb.name = QString::fromLatin1(id).toUpper(), nb.syncStatus = status;
        nb.createdAt = nb.updatedAt = utc("2024-01-01T00:00:00.000Z");
        return nb;
    };
    QVERIFY(repo.insert(book("s", SyncStatus::Synced)) && repo.insert(book("c", SyncStatus::Conflict)));
    QVERIFY(repo.insert(book("p", SyncStatus::Pending)) && repo.insert(book("gone", SyncStatus::Synced)));
    QSignalSpy changed(&repo, &NotebookRepository::notebooksChanged);

    Clock::Fixed clock(utc("2024-04-04T04:04:04.404Z"));
    QVERIFY(repo.markDeleted(QStringLiteral("gone")));
    QCOMPARE(changed.count(), 1);
    QStringList names;
    for (const Notebook& nb : repo.allNotebooks())
        names << nb.name;
    QCOMPARE(names, (QStringList{"C", "P", "S"}));
    const auto gone = repo.notebookById(QStringLiteral("gone"));
    QCOMPARE(gone->deletedAt ? toDbTimestamp(*gone->deletedAt) : QString(), QStringLiteral("2024-04-04T04:04:04.404Z"));
    QCOMPARE(gone->syncStatus, SyncStatus::Pending);
    QCOMPARE(repo.notebookById(QStringLiteral("s"))->syncStatus, SyncStatus::Synced);

    // Marking all pending skips deleted notebooks and is not announced.
    QVERIFY(exec(t.db(), QStringLiteral("UPDATE notebooks SET sync_status = 'synced' WHERE id = 'gone'")));
    QCOMPARE(repo.markAllPending(), 2);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(repo.notebookById(QStringLiteral("c"))->syncStatus, SyncStatus::Pending);
    QCOMPARE(repo.notebookById(QStringLiteral("gone"))->syncStatus, SyncStatus::Synced);
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

    // Rows for both notes; orphaned attachment files are removed as the app wires it.
    bool populate()
    {
        QObject::connect(&notes, &NoteRepository::attachmentsOrphaned, &attachments,
                         &AttachmentRepository::removeFiles);
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

void tst_NoteRepository::purge_data()
{
    QTest::addColumn<bool>("writeFails");
    QTest::newRow("every row and file of the note goes") << false;
    QTest::newRow("a failed write keeps all of it") << true;
}

void tst_NoteRepository::purge()
{
    QFETCH(bool, writeFails);
    PurgeFixture f;
    QVERIFY(f.populate());
    QObject::connect(&f.notes, &NoteRepository::notePurged, &f.attachments, &AttachmentRepository::deleteAllForNote);
    if (writeFails) {
        QVERIFY(exec(f.t.db(), QStringLiteral("CREATE TRIGGER keep_notes BEFORE DELETE ON notes "
                                              "BEGIN SELECT RAISE(ABORT, 'notes are kept'); END")));
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("^NoteRepository::purge failed: .*notes are kept")));
    }
    SignalLog log(&f.notes);

    QCOMPARE(f.notes.purge(QStringLiteral("doomed")), !writeFails);
    const QStringList purged{"attachmentsOrphaned:" + f.attachmentId, "notePurged:doomed", "notesChanged"};
    QCOMPARE(log.entries(), writeFails ? QStringList() : purged);
    for (const QString& table : kDependentTables) {
        const int rows = 1 + (table == "note_snapshots");
        QVERIFY2(countFor(f.t.db(), table, QStringLiteral("doomed")) == (writeFails ? rows : 0), qPrintable(table));
        QVERIFY2(countFor(f.t.db(), table, QStringLiteral("bystander")) == rows, qPrintable(table));
    }
    QCOMPARE(QFile::exists(f.attachments.filePath(f.attachmentId)), writeFails);
    QVERIFY(QFile::exists(f.attachments.filePath(f.bystanderAttachmentId)));
    QStringList found = ids(f.notes.search(QStringLiteral("purgeable")));
    found.sort();
    QCOMPARE(found.join(u','), writeFails ? "bystander,doomed" : "bystander");
    QCOMPARE(scalar(f.t.db(), QStringLiteral("SELECT count(*) FROM pragma_foreign_key_check")).toInt(), 0);
    if (!writeFails)
        return;
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
    QVERIFY(db.commit());
    QVERIFY(!f.notes.noteById(QStringLiteral("doomed")));
    QTRY_VERIFY(!QFile::exists(file));
    QVERIFY(QFile::exists(f.attachments.filePath(f.bystanderAttachmentId)));
}

QTEST_GUILESS_MAIN(tst_NoteRepository)
#include "tst_NoteRepository.moc"
