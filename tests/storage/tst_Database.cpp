#include "../TestLibrary.h"
#include "Database.h"
#include "ImportSourceRepository.h"
#include "NoteRepository.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QTest>

namespace {

// Runs statements on a raw connection with foreign keys off (SQLite's default), for building files
// the way older releases left them.
class RawFile
{
public:
    explicit RawFile(const QString& path)
        : m_name(newId())
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        m_ok = db.open();
    }
    ~RawFile()
    {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    bool run(const QStringList& statements)
    {
        QSqlQuery q(QSqlDatabase::database(m_name, false));
        for (const QString& s : statements) {
            if (!q.exec(s)) {
                qWarning("%s: %s", qPrintable(s), qPrintable(q.lastError().text()));
                return false;
            }
        }
        return m_ok;
    }

private:
    QString m_name;
    bool m_ok = false;
};

// A version-1 file: notes.notebook_id still references notebooks(id), and a legacy default notebook
// holds two notes.
bool buildVersion1File(const QString& path)
{
    RawFile raw(path);
    return raw.run({
        "CREATE TABLE schema_version (  version INTEGER NOT NULL DEFAULT 0)",
        "INSERT INTO schema_version (version) VALUES (1)",
        "CREATE TABLE notebooks (  id TEXT PRIMARY KEY,  name TEXT NOT NULL,  is_default INTEGER NOT NULL DEFAULT 0,"
        "  is_shared INTEGER NOT NULL DEFAULT 0,  owner_id TEXT,  created_at TEXT NOT NULL,  updated_at TEXT NOT NULL,"
        "  deleted_at TEXT,  version INTEGER NOT NULL DEFAULT 1,  sync_status TEXT NOT NULL DEFAULT 'pending')",
        "CREATE TABLE notes (  id TEXT PRIMARY KEY,  notebook_id TEXT NOT NULL DEFAULT '' REFERENCES notebooks(id),"
        "  body TEXT NOT NULL DEFAULT '',  created_at TEXT NOT NULL,  updated_at TEXT NOT NULL,"
        "  modified_at TEXT NOT NULL,  deleted_at TEXT,  version INTEGER NOT NULL DEFAULT 1,"
        "  op_version INTEGER NOT NULL DEFAULT 0,  sync_status TEXT NOT NULL DEFAULT 'pending',"
        "  is_sample INTEGER NOT NULL DEFAULT 0,  owner_id TEXT,  is_shared INTEGER NOT NULL DEFAULT 0,"
        "  permission TEXT)",
        "CREATE VIRTUAL TABLE notes_fts USING fts5(  body,  content='notes',  content_rowid='rowid')",
        "CREATE TRIGGER notes_ai AFTER INSERT ON notes BEGIN"
        "  INSERT INTO notes_fts(rowid, body) VALUES (new.rowid, new.body);END",
        "CREATE TRIGGER notes_ad AFTER DELETE ON notes BEGIN"
        "  INSERT INTO notes_fts(notes_fts, rowid, body) VALUES ('delete', old.rowid, old.body);END",
        "CREATE TRIGGER notes_au AFTER UPDATE ON notes BEGIN"
        "  INSERT INTO notes_fts(notes_fts, rowid, body) VALUES ('delete', old.rowid, old.body);"
        "  INSERT INTO notes_fts(rowid, body) VALUES (new.rowid, new.body);END",
        "CREATE TABLE note_snapshots (  id TEXT PRIMARY KEY,  note_id TEXT NOT NULL REFERENCES notes(id),"
        "  version INTEGER NOT NULL,  body TEXT NOT NULL,  created_at TEXT NOT NULL,  UNIQUE(note_id, version))",
        "CREATE TABLE note_task_settings (  note_id TEXT PRIMARY KEY REFERENCES notes(id),"
        "  include_in_todos INTEGER NOT NULL DEFAULT 1)",
        "CREATE TABLE preferences (  key TEXT PRIMARY KEY,  value TEXT)",
        "INSERT INTO notebooks (id, name, is_default, created_at, updated_at) VALUES "
        "('nb-default', 'Notes', 1, '2023-01-01T00:00:00.000Z', '2023-01-01T00:00:00.000Z'),"
        "('nb-work', 'Work', 0, '2023-01-01T00:00:00.000Z', '2023-01-01T00:00:00.000Z')",
        "INSERT INTO notes (id, notebook_id, body, created_at, updated_at, modified_at) VALUES "
        "('n1', 'nb-default', '[{\"insert\":\"zebra crossing\\n\"}]', '2023-01-02T00:00:00.000Z',"
        " '2023-01-02T00:00:00.000Z', '2023-01-02T00:00:00.000Z'),"
        "('n2', 'nb-default', '[{\"insert\":\"zebra stripes\\n\"}]', '2023-01-03T00:00:00.000Z',"
        " '2023-01-03T00:00:00.000Z', '2023-01-03T00:00:00.000Z'),"
        "('n3', 'nb-work', '[{\"insert\":\"zebra report\\n\"}]', '2023-01-04T00:00:00.000Z',"
        " '2023-01-04T00:00:00.000Z', '2023-01-04T00:00:00.000Z'),"
        "('n4', '', '[{\"insert\":\"giraffe\\n\"}]', '2023-01-05T00:00:00.000Z',"
        " '2023-01-05T00:00:00.000Z', '2023-01-05T00:00:00.000Z')",
        "INSERT INTO note_snapshots VALUES ('s1', 'n1', 1, 'old', '2023-01-02T00:00:00.000Z')",
    });
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

using Signals = QList<QPair<int, QString>>;

Signals collect(const QSignalSpy& spy)
{
    Signals out;
    for (const auto& args : spy)
        out.append({args.at(0).toInt(), args.at(1).toString()});
    return out;
}

} // namespace

class tst_Database : public QObject
{
    Q_OBJECT

private slots:
    void newFileReachesCurrentVersion();
    void version1FileMigrates();
    void existingVersion_data();
    void existingVersion();
    void failedInitialSchemaRollsBack();
    void failedMigration2KeepsVersion1();
    void version2FileUpgrades_data();
    void version2FileUpgrades();
    void notADatabase();
    void directoryCannotBeCreated();
    void separateConnections();
    void readMapping_data();
    void readMapping();
    void writeBinding_data();
    void writeBinding();
};

void tst_Database::newFileReachesCurrentVersion()
{
    QTemporaryDir dir;
    // A missing parent directory is created.
    const QString path = dir.filePath(QStringLiteral("a/b/notes.db"));
    Database db;
    QSignalSpy applied(&db, &Database::migrationApplied);
    QVERIFY(db.open(path));
    QVERIFY(db.migrate());

    QCOMPARE(collect(applied), (Signals{{1, "initial schema"},
                                        {2, "drop default notebook + FK"},
                                        {3, "import sources"},
                                        {4, "list order indexes"}}));
    QCOMPARE(rows(db.db(), QStringLiteral("SELECT version FROM schema_version")), QStringList{"4"});
    QCOMPARE(rows(db.db(), QStringLiteral("PRAGMA journal_mode")), QStringList{"wal"});
    QCOMPARE(rows(db.db(), QStringLiteral("PRAGMA foreign_keys")), QStringList{"1"});
}

void tst_Database::version1FileMigrates()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("v1.db"));
    QVERIFY(buildVersion1File(path));

    Database db;
    QSignalSpy applied(&db, &Database::migrationApplied);
    QVERIFY(db.open(path));
    QVERIFY(db.migrate());
    QCOMPARE(collect(applied),
             (Signals{{2, "drop default notebook + FK"}, {3, "import sources"}, {4, "list order indexes"}}));

    const QSqlDatabase c = db.db();
    QCOMPARE(rows(c, QStringLiteral("SELECT version FROM schema_version")), QStringList{"4"});
    QCOMPARE(rows(c, QStringLiteral("SELECT id, notebook_id, body FROM notes ORDER BY id")),
             (QStringList{"n1||[{\"insert\":\"zebra crossing\\n\"}]", "n2||[{\"insert\":\"zebra stripes\\n\"}]",
                          "n3|nb-work|[{\"insert\":\"zebra report\\n\"}]", "n4||[{\"insert\":\"giraffe\\n\"}]"}));
    QCOMPARE(rows(c, QStringLiteral("SELECT id FROM notebooks")), QStringList{"nb-work"});
    QCOMPARE(rows(c, QStringLiteral("PRAGMA foreign_key_list(notes)")), QStringList());
    // Enforcement is back on after the rebuild.
    QCOMPARE(rows(c, QStringLiteral("PRAGMA foreign_keys")), QStringList{"1"});

    NoteRepository notes(&db);
    QStringList found = ids(notes.search(QStringLiteral("zebra")));
    found.sort();
    QCOMPARE(found, (QStringList{"n1", "n2", "n3"}));
    QCOMPARE(ids(notes.search(QStringLiteral("giraf"))), QStringList{"n4"});
    // The triggers were recreated on the new table: edits keep the index current.
    Note n4 = *notes.noteById(QStringLiteral("n4"));
    n4.body = QStringLiteral("[{\"insert\":\"okapi\\n\"}]");
    QVERIFY(notes.update(n4));
    QCOMPARE(ids(notes.search(QStringLiteral("okapi"))), QStringList{"n4"});
    QCOMPARE(ids(notes.search(QStringLiteral("giraffe"))), QStringList());
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

void tst_Database::failedInitialSchemaRollsBack()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bad.db"));
    {
        // A view where the notebooks table belongs: the table statement is skipped, its index fails.
        RawFile raw(path);
        QVERIFY(raw.run({"CREATE VIEW notebooks AS SELECT 1 AS deleted_at"}));
    }
    Database db;
    QSignalSpy applied(&db, &Database::migrationApplied);
    QSignalSpy errors(&db, &Database::migrationError);
    QVERIFY(db.open(path));
    QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Schema creation failed: .+")));
    QVERIFY(!db.migrate());
    QCOMPARE(collect(errors), (Signals{{1, "Failed to create initial schema"}}));
    QCOMPARE(applied.count(), 0);
    QCOMPARE(rows(db.db(), QStringLiteral("SELECT version FROM schema_version")), QStringList{"0"});
    QCOMPARE(rows(db.db(), QStringLiteral("SELECT name FROM sqlite_master WHERE name = 'notes'")), QStringList());
}

void tst_Database::failedMigration2KeepsVersion1()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("v1.db"));
    QVERIFY(buildVersion1File(path));
    {
        RawFile raw(path);
        QVERIFY(raw.run({"CREATE TABLE notes_new (x)"}));
    }
    Database db;
    QSignalSpy errors(&db, &Database::migrationError);
    QVERIFY(db.open(path));
    QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^migrateToV2 create notes_new .+")));
    QVERIFY(!db.migrate());
    QCOMPARE(collect(errors), (Signals{{2, "Failed to drop notebook FK"}}));
    QCOMPARE(rows(db.db(), QStringLiteral("SELECT version FROM schema_version")), QStringList{"1"});
    QCOMPARE(rows(db.db(), QStringLiteral("SELECT count(*) FROM notes WHERE notebook_id = 'nb-default'")),
             QStringList{"2"});
    QCOMPARE(rows(db.db(), QStringLiteral("PRAGMA foreign_keys")), QStringList{"1"});
}

void tst_Database::version2FileUpgrades_data()
{
    QTest::addColumn<QString>("blocker"); // a statement run on the version-2 file before migrating
    QTest::addColumn<QString>("version"); // the version the file is left at
    QTest::addColumn<QString>("failure"); // the log line of the failing migration step
    QTest::newRow("plain version-2 file") << QString() << "4" << QString();
    // An object of that name that is not the table: the index fails, nothing changes.
    QTest::newRow("import sources taken by a view")
        << QStringLiteral("CREATE VIEW import_sources AS SELECT 1 AS local_id") << "2"
        << "^migrateToV3 idx local_id .+";
    // Migration 3 stays; migration 4 is tried again at the next start.
    QTest::newRow("index name taken by a table") << QStringLiteral("CREATE TABLE idx_notes_notebook_order (x)") << "3"
                                                 << "^migrateToV4 idx notebook order .+";
}

void tst_Database::version2FileUpgrades()
{
    QFETCH(QString, blocker);
    QFETCH(QString, version);
    QFETCH(QString, failure);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("v2.db"));
    QVERIFY(buildVersion1File(path));
    {
        // Migration 2 as the previous release ran it; the file then stays at version 2.
        Database previous;
        QVERIFY(previous.open(path) && previous.migrate());
        for (const char* undo : {"DROP TABLE import_sources", "DROP INDEX idx_notes_list_order",
                                 "DROP INDEX idx_notes_notebook_order", "UPDATE schema_version SET version = 2"})
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
    // Every note is still found, by word and by prefix, whatever became of the migrations.
    NoteRepository notes(&db);
    QCOMPARE(ids(notes.search(QStringLiteral("zebra"))).size(), 3);
    QCOMPARE(ids(notes.search(QStringLiteral("zeb"))).size(), 3);
    QCOMPARE(ids(notes.search(QStringLiteral("giraf"))), QStringList{"n4"});
    QCOMPARE(ids(notes.listedNotes()), (QStringList{"n4", "n3", "n2", "n1"}));
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
}

void tst_Database::notADatabase()
{
    // 4 KB of random bytes: opening works, migrating fails and leaves the file as it was.
    QByteArray content(4096, Qt::Uninitialized);
    QRandomGenerator gen(20240311);
    for (char& c : content)
        c = char(gen.bounded(256));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("notes.db"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    {
        Database db;
        QSignalSpy applied(&db, &Database::migrationApplied);
        QTest::ignoreMessage(QtCriticalMsg, "Failed to create schema_version table");
        const bool opened = db.open(path);
        QVERIFY(opened);
        QVERIFY(!db.migrate());
        QCOMPARE(applied.count(), 0);
    }
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), content);
}

void tst_Database::directoryCannotBeCreated()
{
    QTemporaryDir dir;
    const QString blocker = dir.filePath(QStringLiteral("plain-file"));
    {
        QFile f(blocker);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("x");
    }
    Database db;
    QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Failed to open database: ")));
    QVERIFY(!db.open(blocker + QStringLiteral("/sub/notes.db")));
    QTest::ignoreMessage(QtCriticalMsg, "Failed to create schema_version table");
    QVERIFY(!db.migrate());
    QVERIFY(!QFileInfo::exists(blocker + QStringLiteral("/sub")));
}

void tst_Database::separateConnections()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("n.db"));
    auto* a = new Database;
    Database b;
    QVERIFY(a->connectionName() != b.connectionName());
    QVERIFY(a->open(path) && a->migrate());
    QVERIFY(b.open(path) && b.migrate());
    const QString nameA = a->connectionName();
    delete a;
    QVERIFY(!QSqlDatabase::contains(nameA));
    // The other connection is unaffected by the first one going away.
    QCOMPARE(rows(b.db(), QStringLiteral("SELECT version FROM schema_version")),
             QStringList{QString::number(Database::kSchemaVersion)});
}

void tst_Database::readMapping_data()
{
    QTest::addColumn<QVariant>("deletedAt");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("expectDeletedAt");
    QTest::addColumn<int>("expectStatus");
    QTest::newRow("unknown status reads pending") << QVariant() << "uploading"
                                                  << "<none>" << int(SyncStatus::Pending);
    QTest::newRow("empty deleted_at is absent") << QVariant(QString("")) << "synced"
                                                << "<none>" << int(SyncStatus::Synced);
}

void tst_Database::readMapping()
{
    QFETCH(QVariant, deletedAt);
    QFETCH(QString, status);
    QFETCH(QString, expectDeletedAt);
    QFETCH(int, expectStatus);
    TestDb t;
    QVERIFY(t.ok);
    QVERIFY(exec(t.db(),
                 QStringLiteral("INSERT INTO notes (id, body, created_at, updated_at, modified_at, deleted_at, "
                                "sync_status) VALUES ('n', 'b', 'x', 'x', 'x', ?, ?)"),
                 {deletedAt, status}));
    NoteRepository repo(&t.database);
    const auto note = repo.noteById(QStringLiteral("n"));
    QVERIFY(note);
    QCOMPARE(int(note->syncStatus), expectStatus);
    QCOMPARE(note->deletedAt ? toDbTimestamp(*note->deletedAt) : QStringLiteral("<none>"), expectDeletedAt);
}

void tst_Database::writeBinding_data()
{
    QTest::addColumn<QString>("notebookId");
    QTest::addColumn<QString>("ownerId");
    QTest::addColumn<QString>("permission");
    QTest::addColumn<QString>("stored");
    QTest::newRow("null notebook, empty owner and permission") << QString() << ""
                                                               << ""
                                                               << "|1|1";
    QTest::newRow("empty notebook") << QString("") << QString() << QString() << "|1|1";
    QTest::newRow("all set") << "nb"
                             << "user-7"
                             << "read"
                             << "nb|0|0";
}

void tst_Database::writeBinding()
{
    QFETCH(QString, notebookId);
    QFETCH(QString, ownerId);
    QFETCH(QString, permission);
    QFETCH(QString, stored);
    TestDb t;
    QVERIFY(t.ok);
    NoteRepository repo(&t.database);
    Note n = makeNote(QStringLiteral("n"), QStringLiteral("b"), notebookId);
    n.ownerId = ownerId;
    n.permission = permission;
    QVERIFY(repo.insert(n));
    QCOMPARE(rows(t.db(), QStringLiteral("SELECT notebook_id, owner_id IS NULL, permission IS NULL FROM notes")),
             QStringList{stored});
    QVERIFY(repo.update(n));
    QCOMPARE(rows(t.db(), QStringLiteral("SELECT notebook_id, owner_id IS NULL, permission IS NULL FROM notes")),
             QStringList{stored});
}

QTEST_GUILESS_MAIN(tst_Database)
#include "tst_Database.moc"
