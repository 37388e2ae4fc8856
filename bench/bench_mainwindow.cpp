// The main window over a large library, and the floor under it. For each library size one run
// prints:
//  - the floor: what SQLite alone (its C interface on the application's own connection settings, no
//    widgets, no row texts) takes for the list's id query and for the ranked full-text query;
//  - process start to main window painted, measured on the real application binary: a probe loaded
//    with LD_PRELOAD notes the first paint of the main window and quits it (median of several starts);
//  - in a child process of its own (this program started again with --child, so its peak memory
//    belongs to that size alone): the full list refresh and a notebook switch, search as you type for
//    two common words and for one rare word with the list painted, a note switch (save, snapshot,
//    load), a keystroke in a 5,000-line note, and the peak resident memory with the share of it that
//    is the memory-mapped database file.
// At the end one table puts the sizes side by side with the ratio of the largest to the smallest.
// Libraries are generated from a fixed seed once and kept in the temporary directory, keyed by size,
// seed and schema version; every run works on a fresh copy.
// Lines: "name  median_ms  n"; lines starting with "#" are context.
// Usage: bench_mainwindow [--notes N]... [--starts K] [--app PATH] [--probe PATH]
//        (default: 10000 and 100000 notes, 5 starts)

#include "AppState.h"
#include "DataPaths.h"
#include "Database.h"
#include "LibraryGenerator.h"
#include "MainWindow.h"
#include "NoteEditor.h"
#include "NoteListWidget.h"
#include "NoteRepository.h"
#include "NotebookListWidget.h"
#include "NotebookRepository.h"
#include "PreferenceKeys.h"
#include "PreferencesRepository.h"
#include "ProcMemory.h"
#include "Records.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMap>
#include <QProcess>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace {

constexpr quint32 kSeed = 20240311;
// Bump when the generator's output changes, so cached libraries are made again.
constexpr int kGeneratorRevision = 2;
constexpr int kRuns = 15;
constexpr int kSwitchRuns = 20;
constexpr int kKeystrokes = 100;
constexpr int kLongNoteLines = 5000;
// A fixed id for the long note, so the child finds it without a query.
const char* const kLongNoteId = "5000a11e-0000-4000-8000-000000005000";

// CLOCK_MONOTONIC is one clock for every process on the machine, so a start time can be handed on.
qint64 monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

double msSince(qint64 startNs)
{
    return double(monotonicNs() - startNs) / 1e6;
}

// The machine may be shared, so the CPU time of each run is kept beside its wall time: the process's
// in the child (the GUI thread does the work), the thread's for the floor.
double cpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void print(const QByteArray& name, double value, int n)
{
    std::printf("%-34s  %10.2f  %6d\n", name.constData(), value, n);
    std::fflush(stdout);
}

struct Timing
{
    std::vector<double> wall;
    std::vector<double> cpu;

    void add(qint64 wallStartNs, double cpuStartMs)
    {
        wall.push_back(msSince(wallStartNs));
        cpu.push_back(cpuMs() - cpuStartMs);
    }
    // "name_ms" with its wall-clock median, then "name_cpu_ms" with the CPU median.
    void print(const char* name, int n) const
    {
        ::print(name, median(wall), n);
        ::print(cpuName(name), median(cpu), n);
    }
    static QByteArray cpuName(const char* name) { return QByteArray(name).chopped(3) + "_cpu_ms"; }
};

Timing measure(int runs, const std::function<void()>& work)
{
    Timing out;
    for (int i = 0; i < runs; ++i) {
        const double c0 = cpuMs();
        const qint64 t0 = monotonicNs();
        work();
        out.add(t0, c0);
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// The floor: SQLite's own C interface, reached through the library the Qt driver loaded, on the
// connection the application's Database opened (same file, same pragmas).

struct Sqlite
{
    using Prepare = int (*)(void*, const char*, int, void**, const char**);
    using Step = int (*)(void*);
    using Finalize = int (*)(void*);
    using BindText = int (*)(void*, int, const char*, int, void (*)(void*));
    using ColumnText = const unsigned char* (*)(void*, int);
    using ErrMsg = const char* (*)(void*);

    Prepare prepare = nullptr;
    Step step = nullptr;
    Finalize finalize = nullptr;
    BindText bindText = nullptr;
    ColumnText columnText = nullptr;
    ErrMsg errmsg = nullptr;
    void* db = nullptr;

    bool load(const QSqlDatabase& connection)
    {
        const QVariant handle = connection.driver()->handle();
        if (qstrcmp(handle.typeName(), "sqlite3*") != 0)
            return false;
        db = *static_cast<void* const*>(handle.constData());
        void* lib = dlopen("libsqlite3.so.0", RTLD_NOW | RTLD_NOLOAD);
        if (!lib || !db)
            return false;
        prepare = reinterpret_cast<Prepare>(dlsym(lib, "sqlite3_prepare_v2"));
        step = reinterpret_cast<Step>(dlsym(lib, "sqlite3_step"));
        finalize = reinterpret_cast<Finalize>(dlsym(lib, "sqlite3_finalize"));
        bindText = reinterpret_cast<BindText>(dlsym(lib, "sqlite3_bind_text"));
        columnText = reinterpret_cast<ColumnText>(dlsym(lib, "sqlite3_column_text"));
        errmsg = reinterpret_cast<ErrMsg>(dlsym(lib, "sqlite3_errmsg"));
        return prepare && step && finalize && bindText && columnText && errmsg;
    }

    // Runs the statement to its end, reading the first column of every row as text; -1 on error.
    int rows(const QByteArray& sql, const QList<QByteArray>& params = {}) const
    {
        void* stmt = nullptr;
        if (prepare(db, sql.constData(), int(sql.size()), &stmt, nullptr) != 0) {
            std::fprintf(stderr, "floor: %s: %s\n", sql.constData(), errmsg(db));
            return -1;
        }
        for (int i = 0; i < params.size(); ++i)
            bindText(stmt, i + 1, params[i].constData(), int(params[i].size()), nullptr);
        int count = 0;
        constexpr int kRow = 100;
        while (step(stmt) == kRow) {
            (void)columnText(stmt, 0);
            ++count;
        }
        finalize(stmt);
        return count;
    }
};

QStringList queryPlan(const QSqlDatabase& connection, const QString& sql, const QString& param = QString())
{
    QSqlQuery q(connection);
    q.prepare(QStringLiteral("EXPLAIN QUERY PLAN ") + sql);
    if (!param.isNull())
        q.addBindValue(param);
    QStringList steps;
    if (q.exec()) {
        while (q.next())
            steps << q.value(3).toString();
    }
    return steps;
}

// The statements the list and the search need at the least: row ids in list order, ranked ids.
const char* const kListIds = "SELECT rowid FROM notes WHERE deleted_at IS NULL ORDER BY updated_at DESC";
const char* const kNotebookIds =
    "SELECT rowid FROM notes WHERE notebook_id = ? AND deleted_at IS NULL ORDER BY updated_at DESC";
const char* const kRankedIds = "SELECT n.id FROM notes n JOIN notes_fts f ON n.rowid = f.rowid "
                               "WHERE notes_fts MATCH ? AND n.deleted_at IS NULL ORDER BY rank";
const char* const kRankedFtsOnly = "SELECT rowid FROM notes_fts WHERE notes_fts MATCH ? ORDER BY rank";
// Ranked ids with their sort key: the update time lies behind the body in the row, so it costs a
// read of the whole row per match.
const char* const kRankedKeys = "SELECT n.id, n.updated_at FROM notes n JOIN notes_fts f ON n.rowid = f.rowid "
                                "WHERE notes_fts MATCH ? AND n.deleted_at IS NULL ORDER BY rank";
// Ranked row ids from the index alone, the trash left out through the list index: no row is read.
const char* const kRankedLiveRowids = "SELECT rowid FROM notes_fts WHERE notes_fts MATCH ? AND rowid NOT IN "
                                      "(SELECT rowid FROM notes WHERE deleted_at IS NOT NULL) ORDER BY rank";
const char* const kRankedScreenful = "SELECT n.id FROM notes n JOIN notes_fts f ON n.rowid = f.rowid "
                                     "WHERE notes_fts MATCH ? AND n.deleted_at IS NULL ORDER BY rank LIMIT 40";

// The notebook with the most notes, for the notebook switch.
QString largestNotebook(const QSqlDatabase& connection)
{
    QSqlQuery q(connection);
    q.exec(QStringLiteral("SELECT notebook_id FROM notes WHERE deleted_at IS NULL AND notebook_id != '' "
                          "GROUP BY notebook_id ORDER BY COUNT(*) DESC LIMIT 1"));
    return q.next() ? q.value(0).toString() : QString();
}

using Figures = QMap<QByteArray, double>;

bool measureFloor(const QString& dataDir, int n, Figures& figures)
{
    qputenv("NOTES_DATA_DIR", QFile::encodeName(dataDir));
    Database db;
    int migrated = 0;
    QObject::connect(&db, &Database::migrationApplied, [&migrated] { ++migrated; });
    const qint64 openNs = monotonicNs();
    if (!db.open(databasePath()) || !db.migrate())
        return false;
    // A library made by an older release is brought up to date here, once.
    if (migrated > 0)
        std::printf("# %d migrations of the library of %d notes took %.0f ms\n", migrated, n, msSince(openNs));
    Sqlite sqlite;
    if (!sqlite.load(db.db())) {
        std::fprintf(stderr, "floor: the SQLite library of the Qt driver cannot be reached\n");
        return false;
    }
    const QByteArray twoWords = (LibraryGenerator(kSeed).commonTwoWordQuery() + QLatin1Char('*')).toUtf8();
    const QByteArray rare = (LibraryGenerator::rareWord() + QLatin1Char('*')).toUtf8();
    const QByteArray notebook = largestNotebook(db.db()).toUtf8();

    struct Case
    {
        const char* name;
        const char* sql;
        QByteArray param;
    };
    const Case cases[] = {
        {"floor_list_ids_ms", kListIds, {}},
        {"floor_notebook_ids_ms", kNotebookIds, notebook},
        {"floor_search_two_words_ms", kRankedIds, twoWords},
        {"floor_search_rare_word_ms", kRankedIds, rare},
        {"floor_fts_only_two_words_ms", kRankedFtsOnly, twoWords},
        {"floor_search_keys_two_words_ms", kRankedKeys, twoWords},
        {"floor_live_rowids_two_words_ms", kRankedLiveRowids, twoWords},
        {"floor_screenful_two_words_ms", kRankedScreenful, twoWords},
    };
    QStringList counts;
    for (const Case& c : cases) {
        const QList<QByteArray> params = c.param.isNull() ? QList<QByteArray>{} : QList<QByteArray>{c.param};
        int rows = sqlite.rows(c.sql, params); // warm, as a second search is
        const Timing timing = measure(kRuns, [&] { rows = sqlite.rows(c.sql, params); });
        figures[c.name] = median(timing.wall);
        figures[Timing::cpuName(c.name)] = median(timing.cpu);
        timing.print(c.name, n);
        counts << QStringLiteral("%1 %2").arg(QLatin1String(c.name).chopped(3)).arg(rows);
    }
    // The list's row ids through Qt's driver, as the repository reads them, and its former keys (id and
    // update time as text): what Qt's driver and the values' conversion add to the floor.
    {
        const auto readKeys = [&] {
            QSqlQuery q(db.db());
            q.setForwardOnly(true);
            q.exec(
                QStringLiteral("SELECT id, updated_at FROM notes WHERE deleted_at IS NULL ORDER BY updated_at DESC"));
            QList<std::pair<QString, QString>> keys;
            while (q.next())
                keys.append({q.value(0).toString(), q.value(1).toString()});
            return keys.size();
        };
        const auto readRowids = [&] {
            QSqlQuery q(db.db());
            q.setForwardOnly(true);
            q.exec(QString::fromLatin1(kListIds));
            QList<qint64> rowids;
            while (q.next())
                rowids.append(q.value(0).toLongLong());
            return rowids.size();
        };
        for (const auto& [name, read] :
             {std::pair<const char*, std::function<qsizetype()>>{"floor_list_keys_qsql_ms", readKeys},
              {"floor_list_rowids_qsql_ms", readRowids}}) {
            read();
            const Timing timing = measure(kRuns, read);
            figures[name] = median(timing.wall);
            figures[Timing::cpuName(name)] = median(timing.cpu);
            timing.print(name, n);
        }
    }
    // Prefixes as they are typed: the last word's first letters match the most terms.
    const QString first = LibraryGenerator(kSeed).commonTwoWordQuery().section(QLatin1Char(' '), 0, 0);
    const QString second = LibraryGenerator(kSeed).commonTwoWordQuery().section(QLatin1Char(' '), 1, 1);
    QStringList typing;
    for (int len = 1; len <= std::min<int>(4, int(second.size())); ++len) {
        const QByteArray expression = (first + QLatin1Char(' ') + second.left(len) + QLatin1Char('*')).toUtf8();
        int rows = 0;
        const double ms = median(measure(5, [&] { rows = sqlite.rows(kRankedIds, {expression}); }).cpu);
        typing << QStringLiteral("\"%1\" %2 ms CPU (%3 rows)")
                      .arg(QString::fromUtf8(expression))
                      .arg(ms, 0, 'f', 1)
                      .arg(rows);
    }
    std::printf("# floor rows at %d notes: %s\n", n, qPrintable(counts.join(QStringLiteral(", "))));
    std::printf("# floor while typing the second word at %d notes: %s\n", n,
                qPrintable(typing.join(QStringLiteral(", "))));
    std::printf("# plan of the list ids: %s\n",
                qPrintable(queryPlan(db.db(), QString::fromLatin1(kListIds)).join(QStringLiteral("; "))));
    std::printf("# plan of the notebook ids: %s\n",
                qPrintable(queryPlan(db.db(), QString::fromLatin1(kNotebookIds), QString::fromUtf8(notebook))
                               .join(QStringLiteral("; "))));
    std::printf("# plan of the ranked ids: %s\n",
                qPrintable(queryPlan(db.db(), QString::fromLatin1(kRankedIds), QString::fromUtf8(twoWords))
                               .join(QStringLiteral("; "))));
    std::fflush(stdout);
    return true;
}

// ---------------------------------------------------------------------------------------------
// The child: the application's own classes in this process.

// As the application does at start: the bundled fonts, the first one becoming the application font.
// The resources are registered in main(): Q_INIT_RESOURCE cannot be used inside a namespace.
void registerFonts()
{
    const char* const resources[] = {":/fonts/IBMPlexSans.ttf", ":/fonts/IBMPlexSans-Italic.ttf",
                                     ":/fonts/IBMPlexMono-Medium.ttf", ":/fonts/MaterialIcons-Regular.otf"};
    QString uiFamily;
    for (const char* resource : resources) {
        const int id = QFontDatabase::addApplicationFont(QString::fromLatin1(resource));
        if (id >= 0 && uiFamily.isEmpty())
            uiFamily = QFontDatabase::applicationFontFamilies(id).value(0);
    }
    if (!uiFamily.isEmpty()) {
        QFont f = QApplication::font();
        f.setFamily(uiFamily);
        QApplication::setFont(f);
    }
}

// The offscreen platform says so for every window it shows; it tells nothing about the figures.
QtMessageHandler previousHandler = nullptr;

void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith(QLatin1String("This plugin does not support")) ||
        message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR")))
        return;
    if (previousHandler)
        previousHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

void sendKey(QWidget* target, int key, const QString& text)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &release);
}

void idle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Two notes of a few KB among the newest, where someone would click.
QStringList switchPair(const QSqlDatabase& connection)
{
    QSqlQuery q(connection);
    q.exec(QStringLiteral("SELECT id FROM notes WHERE deleted_at IS NULL AND length(body) BETWEEN 2500 AND 5500 "
                          "ORDER BY updated_at DESC LIMIT 2"));
    QStringList ids;
    while (q.next())
        ids << q.value(0).toString();
    return ids;
}

int runChild(int n, int argc, char** argv)
{
    previousHandler = qInstallMessageHandler(quietHandler);
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("NorvaneBench"));
    QCoreApplication::setApplicationName(QStringLiteral("bench_mainwindow"));
    QLoggingCategory::setFilterRules(QStringLiteral("norv.*.info=false"));
    registerFonts();

    AppState state;
    if (!state.initialize()) {
        std::fprintf(stderr, "cannot open the database in %s\n", qPrintable(dataDirectory()));
        return 1;
    }
    auto window = std::make_unique<MainWindow>(&state);
    window->resize(1280, 800);
    window->show();
    idle(300);
    QAbstractItemView* list = window->noteList();
    const auto repaintList = [list] {
        list->viewport()->repaint();
    };
    std::printf("# child at %d notes: %d rows listed\n", n, list->model()->rowCount());

    // A person looks at the window before the next change arrives.
    idle(1000);

    measure(kRuns, [&] {
        window->refreshNoteList();
        repaintList();
    }).print("refresh_all_painted_ms", n);

    const QString notebook = largestNotebook(state.database()->db());
    bool inNotebook = false;
    const Timing notebookSwitch = measure(kRuns * 2, [&] {
        inNotebook = !inNotebook;
        if (inNotebook)
            emit window->notebookList()->notebookSelected(notebook);
        else
            emit window->notebookList()->allNotesSelected();
        repaintList();
    });
    if (inNotebook)
        emit window->notebookList()->allNotesSelected();
    notebookSwitch.print("notebook_switch_painted_ms", n);

    // Search as you type: the debounced refresh with the query in the box, then the list painted.
    const QString twoWords = LibraryGenerator(kSeed).commonTwoWordQuery();
    const QString rare = LibraryGenerator::rareWord();
    for (const auto& [name, query] :
         {std::pair{"search_two_words_painted_ms", twoWords}, std::pair{"search_rare_word_painted_ms", rare}}) {
        window->searchEdit()->setText(query);
        window->searchTimer()->stop();
        window->refreshNoteList();
        std::printf("# \"%s\": %d rows\n", qPrintable(query), list->model()->rowCount());
        measure(kRuns, [&] {
            window->refreshNoteList();
            repaintList();
        }).print(name, n);
    }
    // Clearing the search brings the whole list back; the search before it is not timed.
    {
        Timing timing;
        for (int i = 0; i < kRuns; ++i) {
            window->searchEdit()->setText(rare);
            window->searchTimer()->stop();
            window->refreshNoteList();
            QApplication::processEvents();
            const double c0 = cpuMs();
            const qint64 t0 = monotonicNs();
            window->searchEdit()->clear();
            window->searchTimer()->stop();
            window->refreshNoteList();
            repaintList();
            timing.add(t0, c0);
        }
        timing.print("clear_search_painted_ms", n);
    }

    // A note switch after typing: the open note is saved and snapshotted, the other one loaded, laid
    // out and painted, and the window's reaction to the save handled.
    const QStringList pair = switchPair(state.database()->db());
    if (pair.size() == 2) {
        int which = 0;
        Timing timing;
        for (int i = 0; i < kSwitchRuns + 2; ++i) {
            window->showNote(pair[which]);
            QApplication::processEvents();
            QTextCursor cursor = window->editor()->textCursor();
            cursor.movePosition(QTextCursor::End);
            cursor.insertText(QStringLiteral("x"));
            which = 1 - which;
            const double c0 = cpuMs();
            const qint64 t0 = monotonicNs();
            window->showNote(pair[which]);
            QApplication::processEvents();
            window->editor()->viewport()->repaint();
            if (i >= 2)
                timing.add(t0, c0);
        }
        if (window->editor()->noteId() != pair[which])
            std::fprintf(stderr, "the editor did not follow the switch\n");
        timing.print("switch_note_ms", n);
    } else {
        std::fprintf(stderr, "no two notes of a few KB to switch between\n");
    }

    // Typing in the middle of a 5,000-line note: the key event handled, the window's reactions to
    // the change (word count, toolbar, saved state), and the repaint that shows the character.
    window->showNote(QString::fromLatin1(kLongNoteId));
    QApplication::processEvents();
    NoteEditor* editor = window->editor();
    if (editor->noteId() == QLatin1String(kLongNoteId)) {
        editor->moveCursor(QTextCursor::End); // lays the whole document out once, as scrolling would
        QApplication::processEvents();
        QTextCursor cursor(editor->document()->findBlockByNumber(kLongNoteLines / 2));
        cursor.movePosition(QTextCursor::NextWord);
        editor->setTextCursor(cursor);
        editor->ensureCursorVisible();
        editor->setFocus();
        QApplication::processEvents();
        int letter = 0;
        measure(kKeystrokes, [&] {
            const int i = letter++ % 26;
            sendKey(editor, Qt::Key_A + i, QString(QChar(u'a' + i)));
            editor->viewport()->repaint();
        }).print("keystroke_5000_lines_ms", n);
        editor->autosaveTimer()->stop();
    } else {
        std::fprintf(stderr, "the long note did not open\n");
    }

    const ProcMemory memory = ProcMemory::read();
    std::printf("# memory at %d notes: RSS now %.1f MB (anonymous %.1f MB, mapped database file %.1f MB)\n", n,
                memory.rssMb, memory.anonMb, memory.databaseMb);
    print("peak_rss_mb", memory.peakMb, n);
    print("db_mapped_rss_mb", memory.databaseMb, n);
    window.reset();
    return 0;
}

// ---------------------------------------------------------------------------------------------
// The parent: libraries, the floor, the starts of the real application, the child, the table.

// A library of n notes from the seed plus one 5,000-line note, in a data directory kept between runs.
QString cachedLibrary(int n)
{
    const QString dir = QDir::temp().filePath(QStringLiteral("norvane-bench-library-%1-s%2-g%3-v%4")
                                                  .arg(n)
                                                  .arg(kSeed)
                                                  .arg(kGeneratorRevision)
                                                  .arg(Database::kSchemaVersion));
    if (QFileInfo::exists(dir + QStringLiteral("/complete")))
        return dir;
    const QString partial = dir + QStringLiteral(".partial");
    QDir(partial).removeRecursively();
    QDir(dir).removeRecursively();
    const qint64 t0 = monotonicNs();
    {
        qputenv("NOTES_DATA_DIR", QFile::encodeName(partial));
        Database db;
        if (!db.open(databasePath()) || !db.migrate())
            return {};
        // A file made from nothing needs no journal while it is filled, and a large cache lets the
        // full-text index merge its segments in memory; the application opens it in WAL mode again.
        for (const char* pragma : {"PRAGMA journal_mode=OFF", "PRAGMA synchronous=OFF", "PRAGMA cache_size=-262144"})
            QSqlQuery(db.db()).exec(QString::fromLatin1(pragma));
        NoteRepository notes(&db);
        NotebookRepository notebooks(&db);
        PreferencesRepository preferences(&db);
        LibraryGenerator generator(kSeed);
        if (generator.fill(notes, notebooks, db, n) != n)
            return {};
        // The long note is a year old, so it sits deep in the list and the newest note opens first.
        Note longNote;
        longNote.id = QString::fromLatin1(kLongNoteId);
        longNote.body = generator.makeLongBody(kLongNoteLines);
        longNote.createdAt = QDateTime(QDate(2024, 6, 1), QTime(12, 0), Qt::UTC);
        longNote.updatedAt = longNote.createdAt;
        longNote.modifiedAt = longNote.createdAt;
        if (!notes.insert(longNote))
            return {};
        // As after some use: no welcome notes, no What's New, the newest note open.
        preferences.setBool(QString::fromLatin1(PrefKey::HasSeenWelcome), true);
        preferences.setValue(QString::fromLatin1(PrefKey::LastWhatsNewVersion), QStringLiteral("99.0.0"));
        preferences.setValue(QString::fromLatin1(PrefKey::WhatsNewShownVersion), QStringLiteral("99.0.0"));
        QSqlQuery newest(db.db());
        newest.exec(QStringLiteral("SELECT id FROM notes WHERE deleted_at IS NULL ORDER BY updated_at DESC LIMIT 1"));
        if (newest.next())
            preferences.setValue(QString::fromLatin1(PrefKey::LastNoteId), newest.value(0).toString());
        newest.finish(); // the journal mode cannot change while a statement is open
        QSqlQuery(db.db()).exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    }
    QFile marker(partial + QStringLiteral("/complete"));
    if (!marker.open(QIODevice::WriteOnly) || !QDir().rename(partial, dir))
        return {};
    std::printf("# library of %d notes generated in %.1f s into %s\n", n, msSince(t0) / 1000.0, qPrintable(dir));
    return dir;
}

bool copyDirectory(const QString& from, const QString& to)
{
    QDirIterator it(from, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = to + QLatin1Char('/') + QDir(from).relativeFilePath(source);
        QDir().mkpath(QFileInfo(target).absolutePath());
        if (!QFile::copy(source, target))
            return false;
    }
    return true;
}

QProcessEnvironment childEnvironment(const QString& dataDir, const QString& configDir)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("NOTES_DATA_DIR"), dataDir);
    // Window geometry and layout settings live apart from the user's own.
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configDir);
    env.insert(QStringLiteral("NORV_INSTANCE_KEY"), QStringLiteral("norvane-bench-") + newId());
    // No credential store on a build machine; signed out, nothing would be read from it anyway.
    env.insert(QStringLiteral("NORV_TOKEN_STORE"), QStringLiteral("memory"));
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

// Figures read back from "name value n" lines.
void collect(const QByteArray& output, Figures& figures)
{
    for (const QByteArray& line : output.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        bool ok = false;
        if (fields.size() == 3 && !line.startsWith('#') && (fields[1].toDouble(&ok), ok))
            figures[fields[0]] = fields[1].toDouble();
    }
}

bool measureStarts(const QString& app, const QString& probe, const QString& dataDir, int starts, int n,
                   Figures& figures)
{
    QTemporaryDir configDir;
    QTemporaryDir reportDir;
    Timing timing;
    Figures last;
    for (int i = 0; i < starts; ++i) {
        const QString reportPath = reportDir.filePath(QStringLiteral("paint-%1").arg(i));
        QProcess process;
        QProcessEnvironment env = childEnvironment(dataDir, configDir.path());
        env.insert(QStringLiteral("NORV_BENCH_PAINT_REPORT"), reportPath);
        env.insert(QStringLiteral("LD_PRELOAD"), probe);
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("*.info=false"));
        process.setProcessEnvironment(env);
        const qint64 startNs = monotonicNs();
        process.start(app, {});
        if (!process.waitForFinished(120000)) {
            process.kill();
            process.waitForFinished();
            std::fprintf(stderr, "the application never painted its window at %d notes\n", n);
            return false;
        }
        QFile report(reportPath);
        if (!report.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "the application left no paint report (exit code %d); is %s the probe?\n%s\n",
                         process.exitCode(), qPrintable(probe), process.readAllStandardError().constData());
            return false;
        }
        Figures values;
        for (const QByteArray& line : report.readAll().split('\n')) {
            const QList<QByteArray> fields = line.split(' ');
            if (fields.size() == 2)
                values[fields[0]] = fields[1].toDouble();
        }
        timing.wall.push_back((values.value("painted_ns") - double(startNs)) / 1e6);
        timing.cpu.push_back(values.value("cpu_ms"));
        last = values;
    }
    figures["start_to_painted_ms"] = median(timing.wall);
    figures["start_to_painted_cpu_ms"] = median(timing.cpu);
    figures["start_peak_rss_mb"] = last.value("peak_rss_mb");
    timing.print("start_to_painted_ms", n);
    std::printf("# real application at first paint, %d notes: peak RSS %.1f MB, RSS %.1f MB of which the mapped "
                "database file %.1f MB; median of %d starts\n",
                n, last.value("peak_rss_mb"), last.value("rss_mb"), last.value("db_rss_mb"), starts);
    std::fflush(stdout);
    return true;
}

bool runChildProcess(const QString& program, const QString& dataDir, int n, Figures& figures)
{
    QTemporaryDir configDir;
    QProcess child;
    child.setProcessEnvironment(childEnvironment(dataDir, configDir.path()));
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(program, {QStringLiteral("--child"), QString::number(n)});
    if (!child.waitForFinished(600000) || child.exitCode() != 0) {
        std::fprintf(stderr, "the run at %d notes failed\n", n);
        std::fputs(child.readAllStandardOutput().constData(), stdout);
        return false;
    }
    const QByteArray output = child.readAllStandardOutput();
    std::fputs(output.constData(), stdout);
    std::fflush(stdout);
    collect(output, figures);
    return true;
}

struct Row
{
    const char* figure;
    const char* label;
    const char* target; // at 100,000 notes
    const char* floor;  // the floor figure it is compared with, if any
};

void printTable(const QList<int>& sizes, const QMap<int, Figures>& bySize)
{
    const Row rows[] = {
        {"start_to_painted_ms", "process start to main window painted", "< 1000", nullptr},
        {"refresh_all_painted_ms", "full list refresh (all notes)", "< 50", "floor_list_ids_ms"},
        {"notebook_switch_painted_ms", "notebook switch", "< 50", "floor_notebook_ids_ms"},
        {"clear_search_painted_ms", "clear search", "< 50", "floor_list_ids_ms"},
        {"search_two_words_painted_ms", "search, two common words", "< 20", "floor_search_two_words_ms"},
        {"search_rare_word_painted_ms", "search, one rare word", "< 5", "floor_search_rare_word_ms"},
        {"switch_note_ms", "note switch (save, snapshot, load)", "< 20", nullptr},
        {"keystroke_5000_lines_ms", "keystroke in a 5,000-line note", "< 16", nullptr},
        {"peak_rss_mb", "peak resident memory (MB)", "< 250", nullptr},
        {"db_mapped_rss_mb", "  of it the mapped database (MB)", "", nullptr},
        {"start_peak_rss_mb", "peak RSS at first paint (MB)", "", nullptr},
        {"floor_list_ids_ms", "floor: list row id query", "", nullptr},
        {"floor_notebook_ids_ms", "floor: notebook row id query", "", nullptr},
        {"floor_list_rowids_qsql_ms", "list row ids through QSqlQuery", "", nullptr},
        {"floor_list_keys_qsql_ms", "ids + dates through QSqlQuery", "", nullptr},
        {"floor_search_two_words_ms", "floor: ranked FTS, two words", "", nullptr},
        {"floor_search_rare_word_ms", "floor: ranked FTS, rare word", "", nullptr},
        {"floor_fts_only_two_words_ms", "floor: FTS alone, two words", "", nullptr},
        {"floor_search_keys_two_words_ms", "floor: ranked ids + updated_at, 2 w.", "", nullptr},
        {"floor_live_rowids_two_words_ms", "floor: ranked live rowids, two words", "", nullptr},
        {"floor_screenful_two_words_ms", "floor: first 40 ranked, two words", "", nullptr},
    };
    // Wall-clock medians with the CPU-time medians beside them: on a busy machine the CPU time is
    // the steadier figure.
    std::printf("\n%-38s", "figure: median wall ms (CPU ms)");
    for (int n : sizes)
        std::printf("  %18d", n);
    std::printf("  %13s  %7s  %s\n", "ratio", "target", "x floor");
    const auto value = [&](int n, const QByteArray& key) {
        return bySize.value(n).value(key);
    };
    for (const Row& row : rows) {
        const QByteArray key(row.figure);
        const bool memory = key.endsWith("_mb");
        const QByteArray cpu = Timing::cpuName(row.figure);
        std::printf("%-38s", row.label);
        for (int n : sizes) {
            if (memory)
                std::printf("  %18.1f", value(n, key));
            else
                std::printf("  %9.2f (%6.2f)", value(n, key), value(n, cpu));
        }
        const double first = value(sizes.first(), key);
        const double firstCpu = value(sizes.first(), cpu);
        const int lastN = sizes.last();
        if (memory)
            std::printf("  %13.2f", first > 0 ? value(lastN, key) / first : 0.0);
        else
            std::printf("  %5.2f (%5.2f)", first > 0 ? value(lastN, key) / first : 0.0,
                        firstCpu > 0 ? value(lastN, cpu) / firstCpu : 0.0);
        std::printf("  %7s", row.target);
        if (row.floor && value(lastN, row.floor) > 0) {
            const QByteArray floorCpu = Timing::cpuName(row.floor);
            std::printf("  %.1f (%.1f)", value(lastN, key) / value(lastN, row.floor),
                        value(lastN, floorCpu) > 0 ? value(lastN, cpu) / value(lastN, floorCpu) : 0.0);
        }
        std::printf("\n");
    }
    std::printf("(ratio: %d over %d notes; x floor: the figure at %d notes over its SQLite floor)\n", sizes.last(),
                sizes.first(), sizes.last());
    std::fflush(stdout);
}

int runParent(const QList<int>& sizes, const QString& program, const QString& app, const QString& probe, int starts)
{
    std::printf("%-34s  %10s  %6s\n", "name", "median_ms", "n");
    std::fflush(stdout);
    QMap<int, Figures> bySize;
    for (int n : sizes) {
        const QString library = cachedLibrary(n);
        if (library.isEmpty()) {
            std::fprintf(stderr, "cannot prepare a library of %d notes\n", n);
            return 1;
        }
        QTemporaryDir work;
        if (!work.isValid() || !copyDirectory(library, work.path())) {
            std::fprintf(stderr, "cannot copy the library of %d notes\n", n);
            return 1;
        }
        std::printf(
            "# library of %d notes: database file %.1f MB\n", n,
            double(QFileInfo(
                       work.filePath(QFileInfo(QDir(library).entryList({QStringLiteral("*.db")}).value(0)).fileName()))
                       .size()) /
                (1024.0 * 1024.0));
        Figures& figures = bySize[n];
        if (!measureFloor(work.path(), n, figures))
            return 1;
        if (QFileInfo::exists(app) && QFileInfo::exists(probe)) {
            if (!measureStarts(app, probe, work.path(), starts, n, figures))
                return 1;
        } else {
            std::printf("# no application binary or paint probe (%s, %s): start-up not measured\n", qPrintable(app),
                        qPrintable(probe));
        }
        if (!runChildProcess(program, work.path(), n, figures))
            return 1;
    }
    printTable(sizes, bySize);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--child") == 0) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        Q_INIT_RESOURCE(norv_resources);
        return runChild(std::atoi(argv[2]), argc, argv);
    }

    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("norv.*.info=false"));
    QList<int> sizes;
    int starts = 5;
#ifdef NORV_APP_PATH
    QString appPath = QStringLiteral(NORV_APP_PATH);
#else
    QString appPath;
#endif
#ifdef NORV_PAINT_PROBE_PATH
    QString probePath = QStringLiteral(NORV_PAINT_PROBE_PATH);
#else
    QString probePath;
#endif
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == QLatin1String("--notes") && hasValue && args[i + 1].toInt() > 0) {
            sizes << args[++i].toInt();
        } else if (args[i] == QLatin1String("--starts") && hasValue && args[i + 1].toInt() > 0) {
            starts = args[++i].toInt();
        } else if (args[i] == QLatin1String("--app") && hasValue) {
            appPath = args[++i];
        } else if (args[i] == QLatin1String("--probe") && hasValue) {
            probePath = args[++i];
        } else {
            std::fprintf(stderr, "usage: bench_mainwindow [--notes N]... [--starts K] [--app PATH] [--probe PATH]\n");
            return 2;
        }
    }
    if (sizes.isEmpty())
        sizes = {10000, 100000};
    return runParent(sizes, QCoreApplication::applicationFilePath(), appPath, probePath, starts);
}
