#include "Database.h"

#include "Records.h"
#include "StorageLog.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <array>
#include <utility>

namespace {

// Migration 1. Statements 5-9 and 11-13 are reused by migration 2 when it rebuilds the notes table.
const std::array<const char*, 28> kInitialSchema = {
    "CREATE TABLE IF NOT EXISTS notebooks ("
    "  id          TEXT PRIMARY KEY,"
    "  name        TEXT NOT NULL,"
    "  is_default  INTEGER NOT NULL DEFAULT 0,"
    "  is_shared   INTEGER NOT NULL DEFAULT 0,"
    "  owner_id    TEXT,"
    "  created_at  TEXT NOT NULL,"
    "  updated_at  TEXT NOT NULL,"
    "  deleted_at  TEXT,"
    "  version     INTEGER NOT NULL DEFAULT 1,"
    "  sync_status TEXT NOT NULL DEFAULT 'pending')",
    "CREATE INDEX IF NOT EXISTS idx_notebooks_deleted_at ON notebooks(deleted_at)",
    "CREATE INDEX IF NOT EXISTS idx_notebooks_sync_status ON notebooks(sync_status)",
    "CREATE TABLE IF NOT EXISTS notes ("
    "  id          TEXT PRIMARY KEY,"
    "  notebook_id TEXT NOT NULL DEFAULT '',"
    "  body        TEXT NOT NULL DEFAULT '',"
    "  created_at  TEXT NOT NULL,"
    "  updated_at  TEXT NOT NULL,"
    "  modified_at TEXT NOT NULL,"
    "  deleted_at  TEXT,"
    "  version     INTEGER NOT NULL DEFAULT 1,"
    "  op_version  INTEGER NOT NULL DEFAULT 0,"
    "  sync_status TEXT NOT NULL DEFAULT 'pending',"
    "  is_sample   INTEGER NOT NULL DEFAULT 0,"
    "  owner_id    TEXT,"
    "  is_shared   INTEGER NOT NULL DEFAULT 0,"
    "  permission  TEXT)",
    "CREATE INDEX IF NOT EXISTS idx_notes_notebook_id ON notes(notebook_id)",
    "CREATE INDEX IF NOT EXISTS idx_notes_updated_at ON notes(updated_at)",
    "CREATE INDEX IF NOT EXISTS idx_notes_modified_at ON notes(modified_at)",
    "CREATE INDEX IF NOT EXISTS idx_notes_deleted_at ON notes(deleted_at)",
    "CREATE INDEX IF NOT EXISTS idx_notes_sync_status ON notes(sync_status)",
    "CREATE VIRTUAL TABLE IF NOT EXISTS notes_fts USING fts5("
    "  body,"
    "  content='notes',"
    "  content_rowid='rowid')",
    "CREATE TRIGGER IF NOT EXISTS notes_ai AFTER INSERT ON notes BEGIN"
    "  INSERT INTO notes_fts(rowid, body) VALUES (new.rowid, new.body);"
    "END",
    "CREATE TRIGGER IF NOT EXISTS notes_ad AFTER DELETE ON notes BEGIN"
    "  INSERT INTO notes_fts(notes_fts, rowid, body) VALUES ('delete', old.rowid, old.body);"
    "END",
    "CREATE TRIGGER IF NOT EXISTS notes_au AFTER UPDATE ON notes BEGIN"
    "  INSERT INTO notes_fts(notes_fts, rowid, body) VALUES ('delete', old.rowid, old.body);"
    "  INSERT INTO notes_fts(rowid, body) VALUES (new.rowid, new.body);"
    "END",
    "CREATE TABLE IF NOT EXISTS note_operations ("
    "  id              TEXT PRIMARY KEY,"
    "  note_id         TEXT NOT NULL REFERENCES notes(id),"
    "  base_version    INTEGER NOT NULL,"
    "  result_version  INTEGER NOT NULL,"
    "  operation       TEXT NOT NULL,"
    "  created_at      TEXT NOT NULL,"
    "  synced          INTEGER NOT NULL DEFAULT 0)",
    "CREATE INDEX IF NOT EXISTS idx_note_operations_version ON note_operations(note_id, result_version)",
    "CREATE INDEX IF NOT EXISTS idx_note_operations_synced ON note_operations(synced)",
    "CREATE TABLE IF NOT EXISTS note_snapshots ("
    "  id          TEXT PRIMARY KEY,"
    "  note_id     TEXT NOT NULL REFERENCES notes(id),"
    "  version     INTEGER NOT NULL,"
    "  body        TEXT NOT NULL,"
    "  created_at  TEXT NOT NULL,"
    "  UNIQUE(note_id, version))",
    "CREATE INDEX IF NOT EXISTS idx_note_snapshots_version ON note_snapshots(note_id, version DESC)",
    "CREATE TABLE IF NOT EXISTS attachments ("
    "  id          TEXT PRIMARY KEY,"
    "  note_id     TEXT NOT NULL REFERENCES notes(id),"
    "  filename    TEXT NOT NULL,"
    "  mime_type   TEXT NOT NULL,"
    "  size_bytes  INTEGER NOT NULL,"
    "  created_at  TEXT NOT NULL,"
    "  sync_status TEXT NOT NULL DEFAULT 'pending')",
    "CREATE INDEX IF NOT EXISTS idx_attachments_note_id ON attachments(note_id)",
    "CREATE TABLE IF NOT EXISTS sync_queue ("
    "  id          INTEGER PRIMARY KEY AUTOINCREMENT,"
    "  entity_type TEXT NOT NULL,"
    "  entity_id   TEXT NOT NULL,"
    "  action      TEXT NOT NULL,"
    "  payload     TEXT,"
    "  created_at  TEXT NOT NULL,"
    "  attempts    INTEGER NOT NULL DEFAULT 0)",
    "CREATE INDEX IF NOT EXISTS idx_sync_queue_entity ON sync_queue(entity_type, entity_id)",
    "CREATE TABLE IF NOT EXISTS tasks ("
    "  id              TEXT PRIMARY KEY,"
    "  note_id         TEXT NOT NULL REFERENCES notes(id),"
    "  text            TEXT NOT NULL,"
    "  is_completed    INTEGER NOT NULL DEFAULT 0,"
    "  source          TEXT NOT NULL,"
    "  line_index      INTEGER NOT NULL,"
    "  char_offset     INTEGER NOT NULL,"
    "  due_date        TEXT,"
    "  due_date_phrase TEXT,"
    "  extracted_at    TEXT NOT NULL,"
    "  note_updated_at TEXT NOT NULL)",
    "CREATE INDEX IF NOT EXISTS idx_tasks_note_id ON tasks(note_id)",
    "CREATE INDEX IF NOT EXISTS idx_tasks_completed ON tasks(is_completed)",
    "CREATE INDEX IF NOT EXISTS idx_tasks_due_date ON tasks(due_date)",
    "CREATE TABLE IF NOT EXISTS note_task_settings ("
    "  note_id          TEXT PRIMARY KEY REFERENCES notes(id),"
    "  include_in_todos INTEGER NOT NULL DEFAULT 1)",
    "CREATE TABLE IF NOT EXISTS preferences ("
    "  key   TEXT PRIMARY KEY,"
    "  value TEXT)",
};

// 1-based, as the statements are numbered above.
const char* initialStatement(int number)
{
    return kInitialSchema[std::size_t(number - 1)];
}

} // namespace

Database::Database(QObject* parent)
    : QObject(parent)
    , m_connectionName(newId())
{}

Database::~Database()
{
    if (m_db.isOpen())
        m_db.close();
    // Drop our handle first, or the driver registry warns that the connection is still in use.
    m_db = QSqlDatabase();
    if (QSqlDatabase::contains(m_connectionName))
        QSqlDatabase::removeDatabase(m_connectionName);
}

bool Database::open(const QString& path)
{
    const QFileInfo info(path);
    QDir dir = info.absoluteDir();
    if (!dir.exists())
        dir.mkpath(QStringLiteral("."));

    if (!m_db.isValid())
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    else if (m_db.isOpen())
        m_db.close();
    m_db.setDatabaseName(path);

    if (!m_db.open()) {
        qCCritical(lcStorage).noquote() << "Failed to open database:" << m_db.lastError().text();
        return false;
    }

    QSqlQuery pragma(m_db);
    pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    pragma.exec(QStringLiteral("PRAGMA foreign_keys=ON"));
    // Another program holding the file (a backup tool, a second reader) gets a moment to finish
    // before a write gives up; a longer wait would freeze the window on every attempt.
    pragma.exec(QStringLiteral("PRAGMA busy_timeout=%1").arg(kBusyTimeoutMs));
    // Memory stays small whatever the library's size. A memory-mapped file counts every page ever
    // touched as resident (a search or a sync pass over a large library would keep hundreds of MB),
    // so pages are read into SQLite's own cache instead, bounded at 16 MB: enough for the list
    // indexes and the full-text index's hot pages. Sorts too large for that cache spill to a file.
    pragma.exec(QStringLiteral("PRAGMA mmap_size=0"));
    pragma.exec(QStringLiteral("PRAGMA cache_size=-16384"));
    pragma.exec(QStringLiteral("PRAGMA temp_store=FILE"));
    qCInfo(lcStorage).noquote() << "Database opened:" << path;
    return true;
}

bool Database::migrate()
{
    QSqlQuery q(m_db);
    const QString createVersionTable =
        QStringLiteral("CREATE TABLE IF NOT EXISTS schema_version (  version INTEGER NOT NULL DEFAULT 0)");
    if (!m_db.isOpen() || !q.exec(createVersionTable)) {
        qCCritical(lcStorage) << "Failed to create schema_version table";
        return false;
    }

    if (!q.exec(QStringLiteral("SELECT version FROM schema_version LIMIT 1")))
        return false;
    int version = 0;
    if (q.next()) {
        version = q.value(0).toInt();
        q.finish();
        if (version < 0)
            return false;
    } else {
        q.finish();
        if (!q.exec(QStringLiteral("INSERT INTO schema_version (version) VALUES (0)")))
            return false;
    }

    // Each migration once, in order; the version is stored after each, so a failure leaves the file at
    // the last one that completed and the next start tries the rest again.
    struct Migration
    {
        int version;
        const char* description;
        bool (Database::*run)();
        const char* failure;
        const char* applied;
    };
    static const Migration migrations[] = {
        {1, "initial schema", &Database::createInitialSchema, "Failed to create initial schema", "initial schema"},
        {2, "drop default notebook + FK on notes.notebook_id", &Database::migrateToV2, "Failed to drop notebook FK",
         "drop default notebook + FK"},
        {3, "import sources", &Database::migrateToV3, "Failed to create import sources", "import sources"},
        {4, "list order indexes", &Database::migrateToV4, "Failed to create list order indexes", "list order indexes"},
        {5, "full-text index follows body changes only", &Database::migrateToV5,
         "Failed to narrow the full-text update trigger", "full-text index follows body changes only"},
    };
    static_assert(std::size(migrations) == kSchemaVersion);
    for (const Migration& m : migrations) {
        if (version >= m.version)
            continue;
        qCInfo(lcStorage).noquote()
            << QStringLiteral("Running migration %1: %2").arg(m.version).arg(QLatin1String(m.description));
        if (!(this->*m.run)()) {
            emit migrationError(m.version, QString::fromLatin1(m.failure));
            return false;
        }
        if (!storeVersion(m.version))
            return false;
        emit migrationApplied(m.version, QString::fromLatin1(m.applied));
    }

    // A file from a newer release (version above ours) is used as it stands.
    qCInfo(lcStorage) << "Database at version" << kSchemaVersion;
    return true;
}

bool Database::inTransaction() const
{
    // SQLite refuses BEGIN inside a transaction, and an empty one costs nothing to end again.
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("BEGIN")))
        return true;
    q.exec(QStringLiteral("ROLLBACK"));
    return false;
}

QSqlDatabase Database::db() const
{
    return m_db;
}

QString Database::connectionName() const
{
    return m_connectionName;
}

QString Database::path() const
{
    return m_db.databaseName();
}

bool Database::createInitialSchema()
{
    if (!m_db.transaction())
        return false;
    {
        QSqlQuery q(m_db);
        for (const char* statement : kInitialSchema) {
            if (!q.exec(QString::fromLatin1(statement))) {
                qCCritical(lcStorage).noquote() << "Schema creation failed:" << q.lastError().text();
                q.finish();
                m_db.rollback();
                return false;
            }
        }
    }
    if (!m_db.commit()) {
        qCCritical(lcStorage).noquote() << "Schema creation failed:" << m_db.lastError().text();
        m_db.rollback();
        return false;
    }
    return true;
}

bool Database::migrateToV2()
{
    const std::array<std::pair<const char*, const char*>, 17> steps = {{
        {"CREATE TABLE notes_new ("
         "  id          TEXT PRIMARY KEY,"
         "  notebook_id TEXT NOT NULL DEFAULT '',"
         "  body        TEXT NOT NULL DEFAULT '',"
         "  created_at  TEXT NOT NULL,"
         "  updated_at  TEXT NOT NULL,"
         "  modified_at TEXT NOT NULL,"
         "  deleted_at  TEXT,"
         "  version     INTEGER NOT NULL DEFAULT 1,"
         "  op_version  INTEGER NOT NULL DEFAULT 0,"
         "  sync_status TEXT NOT NULL DEFAULT 'pending',"
         "  is_sample   INTEGER NOT NULL DEFAULT 0,"
         "  owner_id    TEXT,"
         "  is_shared   INTEGER NOT NULL DEFAULT 0,"
         "  permission  TEXT)",
         "create notes_new"},
        {"INSERT INTO notes_new SELECT id,"
         "   CASE WHEN notebook_id IN (SELECT id FROM notebooks WHERE is_default = 1)"
         "        THEN '' ELSE notebook_id END,"
         "   body, created_at, updated_at, modified_at, deleted_at,"
         "   version, op_version, sync_status, is_sample, owner_id, is_shared, permission FROM notes",
         "copy notes"},
        {"DROP TRIGGER IF EXISTS notes_ai", "drop trigger ai"},
        {"DROP TRIGGER IF EXISTS notes_ad", "drop trigger ad"},
        {"DROP TRIGGER IF EXISTS notes_au", "drop trigger au"},
        {"DROP TABLE notes", "drop notes"},
        {"ALTER TABLE notes_new RENAME TO notes", "rename notes_new"},
        {initialStatement(5), "idx notebook_id"},
        {initialStatement(6), "idx updated_at"},
        {initialStatement(7), "idx modified_at"},
        {initialStatement(8), "idx deleted_at"},
        {initialStatement(9), "idx sync_status"},
        {initialStatement(11), "trigger ai"},
        {initialStatement(12), "trigger ad"},
        {initialStatement(13), "trigger au"},
        {"INSERT INTO notes_fts(notes_fts) VALUES('rebuild')", "fts rebuild"},
        {"DELETE FROM notebooks WHERE is_default = 1", "delete default"},
    }};

    // Rebuilding a table that other tables reference is only possible with enforcement off.
    QSqlQuery pragma(m_db);
    pragma.exec(QStringLiteral("PRAGMA foreign_keys=OFF"));
    if (!m_db.transaction()) {
        pragma.exec(QStringLiteral("PRAGMA foreign_keys=ON"));
        return false;
    }
    {
        QSqlQuery q(m_db);
        for (const auto& [statement, label] : steps) {
            if (!q.exec(QString::fromLatin1(statement))) {
                qCCritical(lcStorage).noquote() << "migrateToV2" << label << q.lastError().text();
                q.finish();
                m_db.rollback();
                pragma.exec(QStringLiteral("PRAGMA foreign_keys=ON"));
                return false;
            }
        }
    }
    const bool committed = m_db.commit();
    if (!committed)
        m_db.rollback();
    pragma.exec(QStringLiteral("PRAGMA foreign_keys=ON"));
    return committed;
}

bool Database::migrateToV3()
{
    // Which note or notebook an item of an imported archive became, and the item's update time
    // then: importing the same archive again skips what is already here instead of doubling it.
    return runSteps(
        "migrateToV3",
        {{"CREATE TABLE IF NOT EXISTS import_sources ("
          "  kind              TEXT NOT NULL,"
          "  source_id         TEXT NOT NULL,"
          "  local_id          TEXT NOT NULL,"
          "  source_updated_at TEXT NOT NULL DEFAULT '',"
          "  imported_at       TEXT NOT NULL,"
          "  PRIMARY KEY (kind, source_id))",
          "create import_sources"},
         {"CREATE INDEX IF NOT EXISTS idx_import_sources_local_id ON import_sources(local_id)", "idx local_id"}});
}

bool Database::migrateToV4()
{
    // The note lists read ids in their order, and little else: a row is a few KB of body, so a list
    // read from the table touches a page per note and sorts them, hundreds of milliseconds for a
    // large library. These two indexes hold each list's filter, order and ids, so every list (all
    // notes, a notebook, the trash, both shared lists) and the sidebar's counts are read from an
    // index alone, already in order. The filter columns come first, which is also what makes the
    // planner prefer them to the single-column indexes on deleted_at and notebook_id.
    return runSteps("migrateToV4",
                    {{"CREATE INDEX IF NOT EXISTS idx_notes_list_order ON notes(deleted_at, updated_at, id, "
                      "notebook_id, owner_id, is_shared)",
                      "idx list order"},
                     {"CREATE INDEX IF NOT EXISTS idx_notes_notebook_order ON notes(notebook_id, deleted_at, "
                      "updated_at, id)",
                      "idx notebook order"}});
}

bool Database::migrateToV5()
{
    // Most updates leave the body as it was: a sync marking notes synced, a move, the trash, a new
    // version number. Re-indexing the unchanged text each time rewrote its full-text entries for
    // nothing, a few KB of index per note and per push.
    return runSteps("migrateToV5",
                    {{"DROP TRIGGER IF EXISTS notes_au", "drop trigger au"},
                     {"CREATE TRIGGER notes_au AFTER UPDATE ON notes WHEN old.body IS NOT new.body BEGIN"
                      "  INSERT INTO notes_fts(notes_fts, rowid, body) VALUES ('delete', old.rowid, old.body);"
                      "  INSERT INTO notes_fts(rowid, body) VALUES (new.rowid, new.body);"
                      "END",
                      "trigger au on body"}});
}

bool Database::runSteps(const char* migration, const QList<std::pair<const char*, const char*>>& steps)
{
    if (!m_db.transaction())
        return false;
    {
        QSqlQuery q(m_db);
        for (const auto& [statement, label] : steps) {
            if (!q.exec(QString::fromLatin1(statement))) {
                qCCritical(lcStorage).noquote() << migration << label << q.lastError().text();
                q.finish();
                m_db.rollback();
                return false;
            }
        }
    }
    if (!m_db.commit()) {
        m_db.rollback();
        return false;
    }
    return true;
}

bool Database::storeVersion(int version)
{
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("UPDATE schema_version SET version = ?"));
    q.addBindValue(version);
    return q.exec();
}
