// The main window over a large library: time from process start to the first painted window, the
// note list refresh, switching between two notes, and the peak resident memory. Each library size
// runs in a child process of its own (this program started again with --child), so start-up is
// measured from a cold process and the peak memory belongs to that size alone. The parent generates
// the library beforehand in a fresh data directory from a fixed seed.
// One line per figure: "name  median_ms  n" (n = notes in the library, memory in MB); the targets
// are printed beside them. Lines starting with "#" are context.
// Usage: bench_mainwindow [--notes N]...   (default: 1000 and 10000)

#include "AppState.h"
#include "DataPaths.h"
#include "Database.h"
#include "DeltaFormat.h"
#include "LibraryGenerator.h"
#include "MainWindow.h"
#include "NoteEditor.h"
#include "NoteListWidget.h"
#include "NoteRepository.h"
#include "NotebookRepository.h"
#include "PreferenceKeys.h"
#include "PreferencesRepository.h"
#include "Records.h"

#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QListWidget>
#include <QTextCursor>
#include <QTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHash>
#include <QLoggingCategory>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace {

constexpr quint32 kSeed = 20240311;
constexpr int kRefreshRuns = 15;
constexpr int kSwitchRuns = 20;

// Targets at 10,000 notes.
constexpr double kStartTargetMs = 1000;
constexpr double kRefreshTargetMs = 150;
constexpr double kSwitchTargetMs = 50;
constexpr double kPeakRssTargetMb = 200;

// CLOCK_MONOTONIC is one clock for every process on the machine, so the parent's start time can be
// handed to the child on its command line.
qint64 monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

double cpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

double msSince(qint64 startNs)
{
    return double(monotonicNs() - startNs) / 1e6;
}

void print(const char* name, double value, int n, double target = 0)
{
    if (target > 0)
        std::printf("%-34s  %10.2f  %6d   target < %g at 10000\n", name, value, n, target);
    else
        std::printf("%-34s  %10.2f  %6d\n", name, value, n);
    std::fflush(stdout);
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Runs
{
    std::vector<double> wall;
    std::vector<double> cpu;
};

// The machine may be shared, so the process CPU time of each run is kept beside its wall time.
Runs measure(int runs, const std::function<void()>& work)
{
    Runs out;
    for (int i = 0; i < runs; ++i) {
        const double c0 = cpuMs();
        const qint64 t0 = monotonicNs();
        work();
        out.wall.push_back(msSince(t0));
        out.cpu.push_back(cpuMs() - c0);
    }
    return out;
}

void printRuns(const char* name, const Runs& runs, int n, double target = 0)
{
    print(name, median(runs.wall), n, target);
    print((QByteArray(name).chopped(3) + "_cpu_ms").constData(), median(runs.cpu), n);
}

// A "kB" field of /proc/self/status (VmHWM, RssAnon, RssFile...), in MB.
double statusMb(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

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

// Notices the first paint of the note list and reports once that paint pass is over.
class PaintWatcher : public QObject
{
public:
    std::function<void()> onPainted;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && onPainted) {
            watched->removeEventFilter(this);
            // The rest of the window is painted and flushed in the same pass; the zero timer runs after it.
            QTimer::singleShot(0, this, [this] { std::exchange(onPainted, nullptr)(); });
        }
        return false;
    }
};

// Two notes of a few KB near the top of the list, where someone would click.
QStringList switchPair(const NoteRepository& notes)
{
    QStringList ids;
    for (const Note& note : notes.allNotes()) {
        if (note.body.size() >= 2500 && note.body.size() <= 5500)
            ids << note.id;
        if (ids.size() == 2)
            break;
    }
    return ids;
}

// Where a refresh of the list goes, in the same order refreshNoteList() does the work. One run each.
void printRefreshSplit(AppState& state, MainWindow& window, int n)
{
    qint64 t = monotonicNs();
    const QList<Note> notes = state.notes()->allNotes();
    const double queryMs = msSince(t);

    t = monotonicNs();
    int titled = 0;
    QList<NoteListText> texts;
    texts.reserve(notes.size());
    for (const Note& note : notes) {
        texts << noteListText(note.body);
        titled += texts.last().titleMissing ? 0 : 1;
    }
    const double textMs = msSince(t);

    // noteListText() parses each body twice: once for the plain text, once for the title.
    t = monotonicNs();
    for (const Note& note : notes)
        (void)bodyPlainText(note.body);
    const double plainMs = msSince(t);
    t = monotonicNs();
    for (const Note& note : notes)
        (void)noteTitle(note.body);
    const double titleMs = msSince(t);

    t = monotonicNs();
    int named = 0;
    for (const Note& note : notes)
        named += !note.notebookId.isEmpty() && state.notebooks()->notebookById(note.notebookId) ? 1 : 0;
    const double lookupMs = msSince(t);

    t = monotonicNs();
    window.noteList()->setNotes(notes);
    const double setNotesMs = msSince(t);

    // The same rows, texts worked out beforehand and notebook names from one query, in a shown list
    // widget of Qt's own: what a refresh costs once nothing is derived from the bodies.
    QListWidget plain;
    plain.setUniformItemSizes(true);
    plain.resize(260, 800);
    plain.show();
    QApplication::processEvents();
    t = monotonicNs();
    QHash<QString, QString> notebookNames;
    for (const Notebook& notebook : state.notebooks()->allNotebooks())
        notebookNames.insert(notebook.id, notebook.name);
    for (qsizetype i = 0; i < notes.size(); ++i) {
        const Note& note = notes[i];
        auto* item = new QListWidgetItem;
        item->setData(NoteListRole::NoteId, note.id);
        item->setData(NoteListRole::Title, texts[i].title);
        item->setData(NoteListRole::Preview, texts[i].preview);
        item->setData(NoteListRole::UpdatedAt, note.updatedAt);
        item->setData(NoteListRole::NotebookName, notebookNames.value(note.notebookId));
        item->setData(NoteListRole::TitleMissing, texts[i].titleMissing);
        item->setData(NoteListRole::Shared, note.isShared);
        item->setData(NoteListRole::SyncState, static_cast<int>(note.syncStatus));
        plain.addItem(item);
    }
    const double plainAddMs = msSince(t);
    t = monotonicNs();
    plain.clear();
    const double plainClearMs = msSince(t);
    QApplication::processEvents();

    std::printf("# refresh split at %d notes (%d titled, %d in notebooks): allNotes %.1f ms, noteListText x%lld "
                "%.1f (of it bodyPlainText %.1f, noteTitle %.1f), notebookById x%d %.1f, NoteListWidget::setNotes %.1f "
                "(text and lookups included); "
                "rows from ready texts and one notebook query into a plain QListWidget x%lld %.1f, its clear %.1f\n",
                n, titled, named, queryMs, qlonglong(notes.size()), textMs, plainMs, titleMs, named, lookupMs,
                setNotesMs, qlonglong(notes.size()), plainAddMs, plainClearMs);
    std::fflush(stdout);
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

int runChild(int n, qint64 parentStartNs, int argc, char** argv)
{
    const qint64 mainNs = monotonicNs();
    previousHandler = qInstallMessageHandler(quietHandler);
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("NorvaneBench"));
    QCoreApplication::setApplicationName(QStringLiteral("bench_mainwindow"));
    QLoggingCategory::setFilterRules(QStringLiteral("norv.*.info=false"));
    registerFonts();
    const double appMs = msSince(mainNs);

    AppState state;
    qint64 t = monotonicNs();
    if (!state.initialize()) {
        std::fprintf(stderr, "cannot open the database in %s\n", qPrintable(dataDirectory()));
        return 1;
    }
    const double initializeMs = msSince(t);

    t = monotonicNs();
    auto window = std::make_unique<MainWindow>(&state);
    const double constructMs = msSince(t);

    PaintWatcher watcher;
    double startToPaintedMs = 0;
    double showToPaintedMs = 0;
    double startCpuMs = 0;
    const qint64 showNs = monotonicNs();
    watcher.onPainted = [&] {
        startToPaintedMs = double(monotonicNs() - parentStartNs) / 1e6;
        showToPaintedMs = msSince(showNs);
        startCpuMs = cpuMs(); // the child's own CPU time, from exec on
        QCoreApplication::exit(0);
    };
    window->noteList()->viewport()->installEventFilter(&watcher);
    window->show();
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, [] { QCoreApplication::exit(2); });
    giveUp.start(60000);
    if (QCoreApplication::exec() != 0) {
        std::fprintf(stderr, "the window was never painted\n");
        return 1;
    }
    giveUp.stop();

    const int listed = window->noteList()->count();
    std::printf("# %d notes in the library, %d listed; start-up split: process start to main %.1f ms, "
                "QApplication and fonts %.1f, AppState::initialize %.1f, MainWindow constructor %.1f, "
                "show to painted %.1f\n",
                n, listed, double(mainNs - parentStartNs) / 1e6, appMs, initializeMs, constructMs, showToPaintedMs);
    print("start_to_painted_ms", startToPaintedMs, n, kStartTargetMs);
    print("start_to_painted_cpu_ms", startCpuMs, n);

    QApplication::processEvents();
    // A person looks at the window before the next change arrives; the list uses that idle time to
    // derive the rows it has not painted yet, and later refreshes reuse those texts.
    {
        QEventLoop idle;
        QTimer::singleShot(1500, &idle, &QEventLoop::quit);
        idle.exec();
    }
    QAbstractItemView* list = window->noteList();
    printRuns("refresh_note_list_ms", measure(kRefreshRuns, [&] { window->refreshNoteList(); }), n, kRefreshTargetMs);
    printRuns("refresh_note_list_painted_ms",
              measure(kRefreshRuns,
                      [&] {
                          window->refreshNoteList();
                          list->viewport()->repaint();
                      }),
              n);

    // Search as you type: the debounced refresh with a query in the box, then the list painted.
    {
        const QString twoWords = LibraryGenerator(kSeed).commonTwoWordQuery();
        const QString rare = LibraryGenerator::rareWord();
        for (const auto& [name, query] : {std::pair{"search_two_words_ms", twoWords}, std::pair{"search_rare_word_ms", rare}}) {
            window->searchEdit()->setText(query);
            window->searchTimer()->stop();
            printRuns(name, measure(kRefreshRuns,
                                    [&] {
                                        window->refreshNoteList();
                                        list->viewport()->repaint();
                                    }),
                      n);
        }
        window->searchEdit()->clear();
        window->searchTimer()->stop();
        window->refreshNoteList();
    }

    // The split below loads every body the way the window no longer does; the window's own peak is
    // the one before it.
    const double windowPeakMb = statusMb("VmHWM");
    printRefreshSplit(state, *window, n);

    const QStringList pair = switchPair(*state.notes());
    if (pair.size() == 2) {
        int which = 0;
        const auto switchOnce = [&] {
            window->noteList()->selectNote(pair[which]);
            which = 1 - which;
            // Layout and paint of the newly opened note, as the next frame would show it.
            QApplication::processEvents();
            window->editor()->viewport()->repaint();
        };
        measure(2, switchOnce);
        const Runs switches = measure(kSwitchRuns, switchOnce);
        if (window->editor()->noteId() != pair[1 - which])
            std::fprintf(stderr, "the editor did not follow the selection\n");
        printRuns("switch_note_ms", switches, n, kSwitchTargetMs);

        // The autosave moment: one typed character written back, and the window's reaction to the
        // change (the list and sidebar) until the next frame.
        const auto saveOnce = [&] {
            QTextCursor cursor = window->editor()->textCursor();
            cursor.movePosition(QTextCursor::End);
            cursor.insertText(QStringLiteral("x"));
            window->saveCurrentNote();
            QApplication::processEvents();
        };
        printRuns("autosave_with_list_ms", measure(kSwitchRuns, saveOnce), n, kSwitchTargetMs);
        // Ctrl+N: a new note stored, listed, selected and opened, until the next frame.
        printRuns("create_note_ms", measure(kSwitchRuns,
                                            [&] {
                                                window->createNote();
                                                QApplication::processEvents();
                                            }),
                  n);
    } else {
        std::fprintf(stderr, "no two notes of a few KB to switch between\n");
    }

    std::printf("# memory now: RssAnon %.1f MB, RssFile %.1f MB (shared libraries and the memory-mapped database), "
                "RssShmem %.1f MB\n",
                statusMb("RssAnon"), statusMb("RssFile"), statusMb("RssShmem"));
    print("peak_rss_mb", windowPeakMb, n, kPeakRssTargetMb);
    window.reset();
    return 0;
}

// A fresh data directory holding a library of n notes, opened last on its newest note, as after
// some use: no welcome notes.
bool prepareDataDirectory(const QString& dir, int n)
{
    qputenv("NOTES_DATA_DIR", QFile::encodeName(dir));
    Database db;
    if (!db.open(databasePath()) || !db.migrate())
        return false;
    NoteRepository notes(&db);
    NotebookRepository notebooks(&db);
    PreferencesRepository preferences(&db);
    const int inserted = generateLibrary(notes, notebooks, db, n, kSeed);
    preferences.setBool(QString::fromLatin1(PrefKey::HasSeenWelcome), true);
    const QList<Note> all = notes.allNotes();
    if (!all.isEmpty())
        preferences.setValue(QString::fromLatin1(PrefKey::LastNoteId), all.first().id);
    std::printf("# library of %d notes: database file %.1f MB\n", n,
                double(QFileInfo(databasePath()).size()) / (1024.0 * 1024.0));
    std::fflush(stdout);
    return inserted == n;
}

int runParent(const QList<int>& sizes, const QString& program)
{
    std::printf("%-34s  %10s  %6s\n", "name", "median_ms", "n");
    std::fflush(stdout);
    for (int n : sizes) {
        QTemporaryDir dataDir;
        QTemporaryDir configDir;
        if (!dataDir.isValid() || !configDir.isValid() || !prepareDataDirectory(dataDir.path(), n)) {
            std::fprintf(stderr, "cannot prepare a library of %d notes\n", n);
            return 1;
        }
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("NOTES_DATA_DIR"), dataDir.path());
        // Window geometry and layout settings start from nothing too.
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configDir.path());
        if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        const qint64 startNs = monotonicNs();
        child.start(program, {QStringLiteral("--child"), QString::number(n), QString::number(startNs)});
        if (!child.waitForFinished(300000) || child.exitCode() != 0) {
            std::fprintf(stderr, "the run at %d notes failed\n", n);
            return 1;
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--child") == 0) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        Q_INIT_RESOURCE(norv_resources);
        return runChild(std::atoi(argv[2]), std::atoll(argv[3]), argc, argv);
    }

    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("norv.*.info=false"));
    QList<int> sizes;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--notes") && i + 1 < args.size() && args[i + 1].toInt() > 0) {
            sizes << args[++i].toInt();
        } else {
            std::fprintf(stderr, "usage: bench_mainwindow [--notes N]...\n");
            return 2;
        }
    }
    if (sizes.isEmpty())
        sizes = {1000, 10000};
    return runParent(sizes, QCoreApplication::applicationFilePath());
}
