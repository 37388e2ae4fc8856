// Storage figures at library sizes of 10,000 and 50,000 notes, each in a fresh database file:
// insert throughput, listing, counting and full-text search. One line per figure:
// "name  median_ms  n" (n = notes in the library); lines starting with "#" are context.
// Usage: bench_storage [--keep DIR] [N...]; --keep leaves the databases in DIR for inspection.

#include "Database.h"
#include "LibraryGenerator.h"
#include "NoteRepository.h"
#include "NotebookRepository.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QSqlDatabase>
#include <QTemporaryDir>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace {

constexpr quint32 kSeed = 20240311;
constexpr int kRuns = 7;

double cpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

void print(const QString& name, double value, int n)
{
    std::printf("%-32s  %10.2f  %d\n", qPrintable(name), value, n);
    std::fflush(stdout);
}

// Prints the median wall time of kRuns runs as "<name>_ms" and, because the machine may be shared,
// the median process CPU time as "<name>_cpu_ms".
void measure(const char* name, int n, const std::function<void()>& work)
{
    work(); // warm the page cache and the statement paths
    std::vector<double> wall, cpu;
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer t;
        const double c0 = cpuMs();
        t.start();
        work();
        wall.push_back(double(t.nsecsElapsed()) / 1e6);
        cpu.push_back(cpuMs() - c0);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    print(QString::fromLatin1(name) + QStringLiteral("_ms"), wall[wall.size() / 2], n);
    print(QString::fromLatin1(name) + QStringLiteral("_cpu_ms"), cpu[cpu.size() / 2], n);
}

// Fills a fresh database; returns the insert figures (wall ms, CPU ms) or nothing on failure.
std::optional<std::pair<double, double>> fill(const QString& path, LibraryGenerator& generator, int n)
{
    Database db;
    if (!db.open(path) || !db.migrate())
        return std::nullopt;
    NoteRepository notes(&db);
    NotebookRepository notebooks(&db);

    // Bodies are generated first so the insert figure measures the database only.
    const QList<Note> library = generator.makeNotes(n);
    qint64 bodyBytes = 0;
    for (const Note& note : library)
        bodyBytes += note.body.toUtf8().size();

    QElapsedTimer t;
    const double cpu0 = cpuMs();
    t.start();
    QSqlDatabase connection = db.db();
    connection.transaction();
    for (const Notebook& nb : generator.notebooks())
        notebooks.insert(nb);
    int inserted = 0;
    for (const Note& note : library)
        inserted += notes.insert(note) ? 1 : 0;
    connection.commit();
    const double wallMs = double(t.nsecsElapsed()) / 1e6;
    const double cpu = cpuMs() - cpu0;
    std::printf("# library: %d notes (%d inserted), %d notebooks, mean body %lld bytes\n", n, inserted,
                LibraryGenerator::kNotebookCount, bodyBytes / qMax(1, n));
    return std::pair(wallMs, cpu);
}

void runAt(int n, const QString& keepDir)
{
    QTemporaryDir tmp;
    const QString path = keepDir.isEmpty() ? tmp.filePath(QStringLiteral("bench.db"))
                                           : keepDir + QStringLiteral("/bench_%1.db").arg(n);
    QFile::remove(path);
    LibraryGenerator generator(kSeed);
    const auto insertFigures = fill(path, generator, n);
    if (!insertFigures) {
        std::fprintf(stderr, "cannot create the database\n");
        return;
    }

    // Queries run on a newly opened connection, as after a start of the application: closing the
    // filling connection checkpoints the write-ahead log into the database file.
    Database db;
    if (!db.open(path) || !db.migrate()) {
        std::fprintf(stderr, "cannot reopen the database\n");
        return;
    }
    NoteRepository notes(&db);
    const QString rare = LibraryGenerator::rareWord();
    const QString twoWords = generator.commonTwoWordQuery();
    const QString every = LibraryGenerator::everyNoteWord();
    std::printf("# search hits: rare \"%s\" %lld, two words \"%s\" %lld, every note \"%s\" %lld\n", qPrintable(rare),
                qlonglong(notes.search(rare).size()), qPrintable(twoWords), qlonglong(notes.search(twoWords).size()),
                qPrintable(every), qlonglong(notes.search(every).size()));

    const auto [insertMs, insertCpuMs] = *insertFigures;
    print(QStringLiteral("insert_notes_per_s"), double(n) / (insertMs / 1000.0), n);
    print(QStringLiteral("insert_total_ms"), insertMs, n);
    print(QStringLiteral("insert_total_cpu_ms"), insertCpuMs, n);
    measure("all_notes", n, [&] { (void)notes.allNotes(); });
    measure("note_counts_by_notebook", n, [&] { (void)notes.noteCountsByNotebook(); });
    measure("search_rare_word", n, [&] { (void)notes.search(rare); });
    measure("search_two_words", n, [&] { (void)notes.search(twoWords); });
    measure("search_every_note_word", n, [&] { (void)notes.search(every); });
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("norv.storage.info=false"));
    QString keepDir;
    QList<int> sizes;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--keep") && i + 1 < args.size())
            keepDir = args[++i];
        else if (args[i].toInt() > 0)
            sizes << args[i].toInt();
    }
    if (sizes.isEmpty())
        sizes = {10000, 50000};
    for (int n : sizes)
        runAt(n, keepDir);
    return 0;
}
