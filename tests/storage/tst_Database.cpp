#include "../TestLibrary.h"
#include "Database.h"
#include "ImportSourceRepository.h"
#include "NoteRepository.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QTest>

namespace {

// Runs statements on a raw connection with foreign keys off (SQLite's default), for building files
// the way older releases left them.
bool runRaw(const QString& path, const QStringList& statements)
{
    const QString name = newId();
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        ok = db.open();
        for (const QString& s : statements)
            ok = ok && exec(db, s);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

// A version-1 file, built from tests/data/storage/version-1.sql (one statement per paragraph).
bool buildVersion1File(const QString& path)
{
    QFile sql(QStringLiteral(NORV_TEST_DATA "/storage/version-1.sql"));
    return sql.open(QIODevice::ReadOnly) &&
           runRaw(path, QString::fromUtf8(sql.readAll()).split(QStringLiteral("\n\n"), Qt::SkipEmptyParts));
}

QStringList rows(const QSqlDatabase& db, const QString& sql)
{
    QStringList out;
    QSqlQuery q(db);
    if (!q.exec(sql))
        return {QStringLiteral("<error: %1>").arg(q.lastError().text())};
    while (q.next()) {
        QStringList cols;
        for (int i = 0; i < q.record().count(); ++i)
            cols << q.value(i).toString();
        out << cols.join(QLatin1Char('|'));
    }
    return out;
}

// The schema versions a migration spy heard of.
QList<int> versions(const QSignalSpy& spy)
{
    QList<int> out;
    for (const auto& args : spy)
        out << args.at(0).toInt();
    return out;
}

} // namespace

class tst_Database : public QObject
{
    Q_OBJECT

private slots:
    void newFileReachesCurrentVersion();
    void existingVersion_data();
    void existingVersion();
    void failedMigrationChangesNothing_data();
    void failedMigrationChangesNothing();
    void olderFileUpgrades_data();
    void olderFileUpgrades();
    void unusableFile();
    void emptyAndNullColumns();
};

void tst_Database::newFileReachesCurrentVersion()
{
    QTemporaryDir dir;
    // A missing parent directory is created.
    const QString path = dir.filePath(QStringLiteral("a/b/notes.db"));
    auto other = std::make_unique<Database>();
    Database db;
    QSignalSpy applied(&db, &Database::migrationApplied);
    QVERIFY(other->open(path));
    QVERIFY(db.open(path));
    QVERIFY(db.migrate());
    // Each instance has a connection of its own, gone with it; the other one carries on.
    const QString otherName = other->connectionName();
    other.reset();
    QVERIFY(!QSqlDatabase::contains(otherName));

    QCOMPARE(versions(applied), (QList<int>{1, 2, 3, 4, 5}));
    QCOMPARE(rows(db.db(), QStringLiteral("SELECT version FROM schema_version")), QStringList{"5"});
    QCOMPARE(rows(db.db(), QStringLiteral("PRAGMA journal_mode")), QStringList{"wal"});
    QCOMPARE(rows(db.db(), QStringLiteral("PRAGMA foreign_keys")), QStringList{"1"});
}

void tst_Database::existingVersion_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<bool>("result");
    QTest::newRow("newer release") << Database::kSchemaVersion + 1 << true;
    QTest::newRow("negative") << -1 << false;
}

void tst_Database::existingVersion()
{
    QFETCH(int, version);
    QFETCH(bool, result);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("n.db"));
    {
        Database first;
        QVERIFY(first.open(path) && first.migrate());
        QVERIFY(exec(first.db(), QStringLiteral("UPDATE schema_version SET version = ?"), {version}));
        // A legacy default notebook would be deleted by migration 2 if it ran again.
        QVERIFY(exec(first.db(), QStringLiteral("INSERT INTO notebooks (id, name, is_default, created_at, updated_at) "
                                                "VALUES ('d', 'Default', 1, 't', 't')")));
    }
    Database db;
    QSignalSpy applied(&db, &Database::migrationApplied);
    QVERIFY(db.open(path));
    QCOMPARE(db.migrate(), result);
    QCOMPARE(applied.count(), 0);
    QCOMPARE(rows(db.db(), QStringLiteral("SELECT id FROM notebooks")), QStringList{"d"});
    QCOMPARE(rows(db.db(), QStringLiteral("SELECT version FROM schema_version")),
             QStringList{QString::number(version)});
}

void tst_Database::failedMigrationChangesNothing_data()
{
    QTest::addColumn<bool>("fromVersion1");
    QTest::addColumn<QString>("blocker"); // run on the file before migrating
    QTest::addColumn<QString>("log");
    QTest::addColumn<int>("failedStep");
    QTest::addColumn<QString>("probe"); // a query and its answer afterwards
    // A view where the notebooks table belongs: the table statement is skipped, its index fails.
    QTest::newRow("initial schema") << false << "CREATE VIEW notebooks AS SELECT 1 AS deleted_at"
                                    << "^Schema creation failed: .+" << 1
                                    << "SELECT count(*) FROM sqlite_master WHERE name = 'notes'|0";
    QTest::newRow("migration 2 on a version-1 file")
        << true << "CREATE TABLE notes_new (x)"
        << "^migrateToV2 create notes_new .+" << 2 << "SELECT count(*) FROM notes WHERE notebook_id = 'nb-default'|2";
}

void tst_Database::failedMigrationChangesNothing()
{
    QFETCH(bool, fromVersion1);
    QFETCH(QString, blocker);
    QFETCH(QString, log);
    QFETCH(int, failedStep);
    QFETCH(QString, probe);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bad.db"));
    QVERIFY(!fromVersion1 || buildVersion1File(path));
    QVERIFY(runRaw(path, {blocker}));
    Database db;
    QSignalSpy applied(&db, &Database::migrationApplied);
    QSignalSpy errors(&db, &Database::migrationError);
    QVERIFY(db.open(path));
    QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(log));
    QVERIFY(!db.migrate());
    QCOMPARE(versions(errors), QList<int>{failedStep});
    QCOMPARE(applied.count(), 0);
    QCOMPARE(rows(db.db(), QStringLiteral("SELECT version FROM schema_version")),
             QStringList{QString::number(failedStep - 1)});
    QCOMPARE(rows(db.db(), probe.section('|', 0, 0)), QStringList{probe.section('|', 1)});
    QCOMPARE(rows(db.db(), QStringLiteral("PRAGMA foreign_keys")), QStringList{"1"});
}

void tst_Database::olderFileUpgrades_data()
{
    QTest::addColumn<bool>("fromVersion1");
    QTest::addColumn<QString>("blocker"); // a statement run on the version-2 file before migrating
    QTest::addColumn<QString>("version"); // the version the file is left at
    QTest::addColumn<QString>("failure"); // the log line of the failing migration step
    QTest::newRow("version-1 file") << true << QString() << "5" << QString();
    QTest::newRow("plain version-2 file") << false << QString() << "5" << QString();
    // An object of that name that is not the table: the index fails, nothing changes.
    QTest::newRow("import sources taken by a view")
        << false << QStringLiteral("CREATE VIEW import_sources AS SELECT 1 AS local_id") << "2"
        << "^migrateToV3 idx local_id .+";
    // Migration 3 stays; migration 4 is tried again at the next start.
    QTest::newRow("index name taken by a table")
        << false << QStringLiteral("CREATE TABLE idx_notes_notebook_order (x)") << "3"
        << "^migrateToV4 idx notebook order .+";
}

void tst_Database::olderFileUpgrades()
{
    QFETCH(bool, fromVersion1);
    QFETCH(QString, blocker);
    QFETCH(QString, version);
    QFETCH(QString, failure);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.db"));
    QVERIFY(buildVersion1File(path));
    if (!fromVersion1) {
        // Migration 2 as the previous release ran it; the file then stays at version 2.
        Database previous;
        QVERIFY(previous.open(path) && previous.migrate());
        for (const char* undo :
             {"DROP TABLE import_sources", "DROP INDEX idx_notes_list_order", "DROP INDEX idx_notes_notebook_order",
              "DROP TRIGGER notes_au",
              "CREATE TRIGGER notes_au AFTER UPDATE ON notes BEGIN"
              "  INSERT INTO notes_fts(notes_fts, rowid, body) VALUES ('delete', old.rowid, old.body);"
              "  INSERT INTO notes_fts(rowid, body) VALUES (new.rowid, new.body);"
              "END",
              "UPDATE schema_version SET version = 2"})
            QVERIFY(exec(previous.db(), QString::fromLatin1(undo)));
        if (!blocker.isEmpty())
            QVERIFY(exec(previous.db(), blocker));
    }
    Database db;
    QVERIFY(db.open(path));
    if (!failure.isEmpty())
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(failure));
    QCOMPARE(db.migrate(), failure.isEmpty());
    const QSqlDatabase c = db.db();
    QCOMPARE(rows(c, QStringLiteral("SELECT version FROM schema_version")), QStringList{version});
    // The legacy default notebook is gone, its notes kept without one, and its reference dropped.
    QCOMPARE(rows(c, QStringLiteral("SELECT id, notebook_id FROM notes ORDER BY id")),
             (QStringList{"n1|", "n2|", "n3|nb-work", "n4|"}));
    QCOMPARE(rows(c, QStringLiteral("SELECT id FROM notebooks")), QStringList{"nb-work"});
    QCOMPARE(rows(c, QStringLiteral("PRAGMA foreign_key_list(notes)")), QStringList());
    QCOMPARE(rows(c, QStringLiteral("PRAGMA foreign_keys")), QStringList{"1"});
    // Every note is still found, by word and by prefix, whatever became of the migrations.
    NoteRepository notes(&db);
    QCOMPARE(ids(notes.search(QStringLiteral("zebra"))).size(), 3);
    QCOMPARE(ids(notes.search(QStringLiteral("zeb"))).size(), 3);
    QCOMPARE(ids(notes.listedNotes()), (QStringList{"n4", "n3", "n2", "n1"}));
    // The triggers live on the rebuilt table: edits keep the index current.
    Note n4 = *notes.noteById(QStringLiteral("n4"));
    QCOMPARE(ids(notes.search(QStringLiteral("giraf"))), QStringList{"n4"});
    n4.body = QStringLiteral("[{\"insert\":\"okapi\\n\"}]");
    QVERIFY(notes.update(n4));
    QCOMPARE(ids(notes.search(QStringLiteral("okapi"))) + ids(notes.search(QStringLiteral("giraffe"))),
             QStringList{"n4"});
    if (version < QLatin1String("3"))
        return;
    ImportSourceRepository sources(&db);
    QVERIFY(sources.remember("jex-note", "abc", "n1", "2024-01-01T00:00:00.000Z"));
    QCOMPARE(sources.find("jex-note", "abc")->localId, QStringLiteral("n1"));
    if (version < QLatin1String("4"))
        return;
    // Each list reads its ids in order from an index alone, without the rows and without sorting.
    const QStringList lists = {
        "deleted_at IS NULL ORDER BY updated_at DESC",
        "notebook_id = 'nb-work' AND deleted_at IS NULL ORDER BY updated_at DESC",
        "deleted_at IS NOT NULL ORDER BY deleted_at DESC",
        "is_shared = 1 AND (owner_id IS NULL OR owner_id = '') AND deleted_at IS NULL ORDER BY updated_at DESC",
        "owner_id IS NOT NULL AND owner_id != '' AND deleted_at IS NULL ORDER BY updated_at DESC",
    };
    for (const QString& list : lists) {
        const QStringList plan = rows(c, "EXPLAIN QUERY PLAN SELECT id, updated_at FROM notes WHERE " + list);
        QVERIFY2(plan.size() == 1 && plan.first().contains(QLatin1String("USING COVERING INDEX idx_notes_")),
                 qPrintable(list + QLatin1String(": ") + plan.join(QLatin1String("; "))));
    }
    if (version < QLatin1String("5"))
        return;
    // An update that keeps the body writes the note's row alone, not its full-text entries.
    const int before = rows(c, QStringLiteral("SELECT total_changes()")).first().toInt();
    QVERIFY(notes.markSynced(QStringLiteral("n3"), 7));
    QCOMPARE(rows(c, QStringLiteral("SELECT total_changes()")).first().toInt() - before, 1);
    QCOMPARE(ids(notes.search(QStringLiteral("zebra"))).size(), 3);
}

void tst_Database::unusableFile()
{
    QTemporaryDir dir;
    // Not a database: opening works, migrating fails and leaves the file as it was.
    const QByteArray content = QByteArray("not a database, just text ").repeated(160);
    const QString path = dir.filePath(QStringLiteral("notes.db"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(content) == content.size());
    f.close();
    {
        Database db;
        QTest::ignoreMessage(QtCriticalMsg, "Failed to create schema_version table");
        QVERIFY(db.open(path));
        QVERIFY(!db.migrate());
    }
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), content);
    // A folder that cannot be created, because a plain file stands in its way: nothing is made.
    Database db;
    QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Failed to open database: ")));
    QVERIFY(!db.open(path + QStringLiteral("/sub/notes.db")));
    QTest::ignoreMessage(QtCriticalMsg, "Failed to create schema_version table");
    QVERIFY(!db.migrate());
    QVERIFY(!QFileInfo::exists(path + QStringLiteral("/sub")));
}

void tst_Database::emptyAndNullColumns()
{
    TestDb t;
    QVERIFY(t.ok);
    NoteRepository repo(&t.database);
    // An empty deletion time is no deletion; a status this release does not know reads as pending.
    QVERIFY(exec(t.db(), QStringLiteral("INSERT INTO notes (id, body, created_at, updated_at, modified_at, deleted_at, "
                                        "sync_status) VALUES ('r', 'b', 'x', 'x', 'x', '', 'uploading')")));
    const auto read = repo.noteById(QStringLiteral("r"));
    QVERIFY(read && !read->deletedAt);
    QCOMPARE(read->syncStatus, SyncStatus::Pending);
    // No notebook is stored as '', an empty owner or permission as NULL, on insert and on update alike.
    struct Row
    {
        QString notebook, owner, permission, stored;
    };
    for (const Row& r : {Row{QString(), "", "", "|1|1"}, Row{"", QString(), QString(), "|1|1"},
                         Row{"nb", "user-7", "read", "nb|0|0"}}) {
        Note n = makeNote(newId(), QStringLiteral("b"), r.notebook);
        n.ownerId = r.owner;
        n.permission = r.permission;
        const QString sql =
            "SELECT notebook_id, owner_id IS NULL, permission IS NULL FROM notes WHERE id = '" + n.id + "'";
        QVERIFY(repo.insert(n));
        QCOMPARE(rows(t.db(), sql), QStringList{r.stored});
        QVERIFY(repo.update(n));
        QCOMPARE(rows(t.db(), sql), QStringList{r.stored});
    }
}

QTEST_GUILESS_MAIN(tst_Database)
#include "tst_Database.moc"
