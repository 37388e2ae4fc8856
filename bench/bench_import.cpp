// Import and backup figures: a generated Joplin export of 2,000 Markdown notes (20 folders, 200
// image resources of 20-120 KB) imported into a fresh database, and a 10,000-note library backed up
// and restored into a fresh database (the local import) and onto itself (restore to the account).
// One line per figure: "name  median_ms  n"; lines starting with "#" are context.
// Usage: QT_QPA_PLATFORM=offscreen bench_import [--runs N]

#include "AttachmentRepository.h"
#include "BackupArchive.h"
#include "Database.h"
#include "JexImporter.h"
#include "LibraryGenerator.h"
#include "NoteRepository.h"
#include "NotebookRepository.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr quint32 kSeed = 20240311;
constexpr int kJexNotes = 2000;
constexpr int kJexFolders = 20;
constexpr int kJexResources = 200;
constexpr int kLibraryNotes = 10000;

void print(const char* name, double value, int n)
{
    std::printf("%-32s  %10.2f  %d\n", name, value, n);
    std::fflush(stdout);
}

double cpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// Wall and process CPU time of one run; the CPU figure stays meaningful on a shared machine.
struct Timer
{
    QElapsedTimer wall;
    double cpu0 = cpuMs();
    Timer() { wall.start(); }
    void stop(std::vector<double>& wallMs, std::vector<double>& cpuOut) const
    {
        wallMs.push_back(double(wall.nsecsElapsed()) / 1e6);
        cpuOut.push_back(cpuMs() - cpu0);
    }
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// A migrated database with its own attachments folder.
struct Library
{
    explicit Library(const QString& dir)
        : attachments(&database, nullptr, dir + QStringLiteral("/attachments"))
    {
        ok = database.open(dir + QStringLiteral("/bench.db")) && database.migrate();
    }
    LibraryRepositories repos() { return {&notes, &notebooks, &attachments}; }

    Database database;
    NoteRepository notes{&database};
    NotebookRepository notebooks{&database};
    AttachmentRepository attachments;
    bool ok = false;
};

// --- a deterministic JEX ---------------------------------------------------------------------------

QByteArray octal(qint64 value, int width)
{
    return QByteArray::number(value, 8).rightJustified(width - 1, '0') + QByteArray(1, '\0');
}

void appendTarFile(QByteArray& tar, const QString& name, const QByteArray& data)
{
    QByteArray h(512, '\0');
    const QByteArray n = name.toUtf8();
    h.replace(0, n.size(), n);
    h.replace(100, 8, octal(0644, 8));
    h.replace(124, 12, octal(data.size(), 12));
    h[156] = '0';
    h.replace(257, 6, QByteArray("ustar\0", 6));
    tar += h;
    tar += data;
    tar += QByteArray(int((512 - data.size() % 512) % 512), '\0');
}

QString hexId(std::mt19937& rng)
{
    QString id;
    for (int i = 0; i < 4; ++i)
        id += QStringLiteral("%1").arg(rng(), 8, 16, QLatin1Char('0'));
    return id;
}

QByteArray makeJex(quint32 seed)
{
    std::mt19937 rng(seed);
    static const QStringList words =
        QStringLiteral("note meeting plan idea project budget review draft summary result team schedule update design "
                       "customer report release travel recipe garden invoice contract research question answer")
            .split(QLatin1Char(' '));
    auto word = [&] {
        return words.at(int(rng() % words.size()));
    };
    auto sentence = [&](int n) {
        QStringList out;
        for (int i = 0; i < n; ++i)
            out << (i % 7 == 3 ? QStringLiteral("**%1**").arg(word()) : word());
        return out.join(QLatin1Char(' ')) + QLatin1Char('.');
    };

    QByteArray tar;
    QStringList folders;
    for (int i = 0; i < kJexFolders; ++i) {
        const QString id = hexId(rng);
        folders << id;
        appendTarFile(tar, id + QStringLiteral(".md"),
                      QStringLiteral("Folder %1\n\nid: %2\ncreated_time: 2023-01-01T00:00:00.000Z\n"
                                     "updated_time: 2023-01-02T00:00:00.000Z\nparent_id: \ntype_: 2")
                          .arg(i)
                          .arg(id)
                          .toUtf8());
    }
    QStringList resources;
    for (int i = 0; i < kJexResources; ++i) {
        const QString id = hexId(rng);
        resources << id;
        QByteArray png("\x89PNG\r\n\x1a\n", 8);
        const int size = 20000 + int(rng() % 100000);
        png.reserve(size);
        while (png.size() < size)
            png.append(char(rng() & 0xff));
        appendTarFile(tar, QStringLiteral("resources/%1.png").arg(id), png);
        appendTarFile(tar, id + QStringLiteral(".md"),
                      QStringLiteral("image%1.png\n\nid: %2\nmime: image/png\nfilename: \nfile_extension: png\n"
                                     "size: %3\ntype_: 4")
                          .arg(i)
                          .arg(id)
                          .arg(png.size())
                          .toUtf8());
    }
    for (int i = 0; i < kJexNotes; ++i) {
        const QString id = hexId(rng);
        const QString title = QStringLiteral("%1 %2 %3").arg(word(), word()).arg(i);
        QString body = title + QStringLiteral("\n\n# ") + title + QStringLiteral("\n\n");
        const int paragraphs = 2 + int(rng() % 5);
        for (int p = 0; p < paragraphs; ++p)
            body += sentence(12 + int(rng() % 30)) + QStringLiteral("\n\n");
        for (int b = 0; b < 4; ++b)
            body += QStringLiteral("- %1\n").arg(sentence(5));
        if (i % (kJexNotes / kJexResources) == 0)
            body += QStringLiteral("\n![](:/%1)\n").arg(resources.at(i / (kJexNotes / kJexResources)));
        body += QStringLiteral("\n\nid: %1\nparent_id: %2\ncreated_time: 2023-03-0%3T10:00:00.000Z\n"
                               "updated_time: %4\nauthor: \nmarkup_language: 1\ntype_: 1")
                    .arg(id, folders.at(int(rng() % folders.size())))
                    .arg(1 + i % 9)
                    .arg(1680000000000LL + i * 60000LL);
        appendTarFile(tar, id + QStringLiteral(".md"), body.toUtf8());
    }
    tar += QByteArray(1024, '\0');
    return tar;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.info=false\n*.debug=false"));
    int runs = 3;
    const QStringList args = app.arguments();
    const qsizetype runsAt = args.indexOf(QStringLiteral("--runs"));
    if (runsAt >= 0 && runsAt + 1 < args.size())
        runs = qMax(1, args.at(runsAt + 1).toInt());

    QTemporaryDir work;
    const QString jexPath = work.filePath(QStringLiteral("bench.jex"));
    {
        QFile f(jexPath);
        if (!f.open(QIODevice::WriteOnly) || f.write(makeJex(kSeed)) < 0)
            return 1;
    }
    std::printf("# jex: %d notes, %d folders, %d resources, %.1f MB\n", kJexNotes, kJexFolders, kJexResources,
                double(QFileInfo(jexPath).size()) / 1e6);

    std::vector<double> importMs, importCpu;
    for (int r = 0; r < runs; ++r) {
        QTemporaryDir dir;
        Library lib(dir.path());
        if (!lib.ok)
            return 1;
        const Timer t;
        const ImportResult result = importJex(jexPath, lib.repos());
        t.stop(importMs, importCpu);
        if (!result.ok() || result.imported != kJexNotes || result.attachments != kJexResources) {
            std::fprintf(stderr, "import failed: %s (%d notes, %d attachments)\n", qPrintable(result.error),
                         result.imported, result.attachments);
            return 1;
        }
    }
    print("import_jex_ms", median(importMs), kJexNotes);
    print("import_jex_cpu_ms", median(importCpu), kJexNotes);

    QTemporaryDir sourceDir;
    Library source(sourceDir.path());
    if (!source.ok ||
        generateLibrary(source.notes, source.notebooks, source.database, kLibraryNotes, kSeed) != kLibraryNotes)
        return 1;
    const QString zip = work.filePath(QStringLiteral("backup.zip"));

    std::vector<double> backupMs, backupCpu;
    for (int r = 0; r < runs; ++r) {
        const Timer t;
        const BackupResult result = createBackup(zip, source.repos());
        t.stop(backupMs, backupCpu);
        if (result.failed || result.noteCount != kLibraryNotes) {
            std::fprintf(stderr, "backup failed: %s\n", qPrintable(result.error));
            return 1;
        }
    }
    std::printf("# backup: %.1f MB\n", double(QFileInfo(zip).size()) / 1e6);
    print("backup_ms", median(backupMs), kLibraryNotes);
    print("backup_cpu_ms", median(backupCpu), kLibraryNotes);

    std::vector<double> restoreMs, restoreCpu;
    for (int r = 0; r < runs; ++r) {
        QTemporaryDir dir;
        Library target(dir.path());
        if (!target.ok)
            return 1;
        const Timer t;
        const RestoreResult result = restoreBackup(zip, target.repos(), RestoreMode::SkipExisting, false);
        t.stop(restoreMs, restoreCpu);
        if (result.errors != 0 || result.imported < kLibraryNotes) {
            std::fprintf(stderr, "restore failed: %s\n", qPrintable(result.error));
            return 1;
        }
    }
    print("restore_fresh_ms", median(restoreMs), kLibraryNotes);
    print("restore_fresh_cpu_ms", median(restoreCpu), kLibraryNotes);

    std::vector<double> forceMs, forceCpu;
    for (int r = 0; r < runs; ++r) {
        const Timer t;
        const RestoreResult result = restoreBackup(zip, source.repos(), RestoreMode::Overwrite, true);
        t.stop(forceMs, forceCpu);
        if (result.errors != 0) {
            std::fprintf(stderr, "restore failed: %s\n", qPrintable(result.error));
            return 1;
        }
    }
    print("restore_to_account_ms", median(forceMs), kLibraryNotes);
    print("restore_to_account_cpu_ms", median(forceCpu), kLibraryNotes);
    return 0;
}
