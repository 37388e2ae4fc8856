// Sync against the reference server: push 1,000 pending notes, then pull and apply 10,000 notes into an
// empty library, with the longest stall of the event loop during each (what a window would feel).
// Prints "name  ms  n". Needs tools/devserver built.

#include "../tests/sync/SyncTestRig.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTimer>
#include <cstdio>
#include <ctime>

namespace {

// CPU time of the calling thread in milliseconds.
qint64 threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

// Records the longest gap between 5 ms ticks: the worst frame the window would have waited for. On a
// machine shared with other work a gap also holds time the thread was not scheduled at all, so the
// longest gap measured in the thread's own CPU time is kept beside it.
struct StallMeter
{
    QTimer timer;
    QElapsedTimer clock;
    qint64 worst = 0;
    qint64 worstBusy = 0;
    qint64 lastCpu = 0;
    StallMeter()
    {
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, [this] { tick(); });
    }
    void tick()
    {
        const qint64 cpu = threadCpuMs();
        worst = qMax(worst, clock.restart());
        worstBusy = qMax(worstBusy, cpu - lastCpu);
        lastCpu = cpu;
    }
    void start()
    {
        worst = worstBusy = 0;
        lastCpu = threadCpuMs();
        clock.start();
        timer.start();
    }
    qint64 stop()
    {
        tick();
        timer.stop();
        return worst;
    }
};

void fill(Device& device, int count, quint32 seed)
{
    QRandomGenerator random(seed);
    const QSignalBlocker block(device.notes);
    device.database.db().transaction();
    for (int i = 0; i < count; ++i) {
        QString text = QStringLiteral("Note %1: ").arg(i);
        const int words = 20 + int(random.bounded(200));
        for (int w = 0; w < words; ++w)
            text += QStringLiteral("word%1 ").arg(random.bounded(5000));
        device.newNote(text);
    }
    device.database.db().commit();
}

struct Timing
{
    qint64 ms = 0;    // wall time of the run, the server's work included
    qint64 cpuMs = 0; // the client thread's own CPU time
    qint64 stall = 0;
    qint64 busyStall = 0;
};

bool timedSync(Device& device, StallMeter& meter, Timing* timing)
{
    QElapsedTimer t;
    meter.start();
    const qint64 cpu = threadCpuMs();
    t.start();
    const bool ok = device.sync(600000);
    timing->ms = t.elapsed();
    timing->cpuMs = threadCpuMs() - cpu;
    timing->stall = meter.stop();
    timing->busyStall = meter.worstBusy;
    return ok;
}

void print(const char* name, const Timing& t)
{
    std::printf("sync_%s  %lld  1\n", name, static_cast<long long>(t.ms));
    std::printf("sync_%s_client_cpu  %lld  1\n", name, static_cast<long long>(t.cpuMs));
    std::printf("sync_%s_worst_stall  %lld  1\n", name, static_cast<long long>(t.stall));
    std::printf("sync_%s_worst_busy_stall  %lld  1\n", name, static_cast<long long>(t.busyStall));
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ServerProcess server;
    if (!server.start()) {
        std::fprintf(stderr, "the reference server is not built\n");
        return 1;
    }
    StallMeter meter;
    const QString user = QStringLiteral("ada@example.com");

    // Seed the account with 9,000 notes (not measured).
    {
        Device seeder(server.root, user);
        seeder.api->setTransferTimeout(300000);
        fill(seeder, 9000, 7);
        if (!seeder.sync(600000)) {
            std::fprintf(stderr, "seeding failed: %s\n", qPrintable(seeder.engine->lastError()));
            return 1;
        }
    }

    Device pusher(server.root, user);
    pusher.api->setTransferTimeout(300000);
    pusher.sync(600000);
    fill(pusher, 1000, 11);
    Timing timing;
    if (!timedSync(pusher, meter, &timing))
        return 1;
    print("push_1000_notes", timing);

    Device puller(server.root, user);
    puller.api->setTransferTimeout(300000);
    server.clearRequests();
    if (!timedSync(puller, meter, &timing))
        return 1;
    if (puller.notes->allNotes().size() != 10000) {
        std::fprintf(stderr, "the pull stored %lld notes\n", static_cast<long long>(puller.notes->allNotes().size()));
        return 1;
    }
    print("pull_apply_10000_notes", timing);
    // What the reference server spent building its pull answers: on this machine it shares the cores with
    // the app, so it is part of the wall time above but none of the app's work.
    qint64 serverCpu = 0;
    for (const QJsonValue& r : server.requests(QStringLiteral("/notes/v1/sync/pull")))
        serverCpu += r.toObject().value("cpu_ms").toInteger();
    std::printf("sync_pull_apply_10000_notes_server_cpu  %lld  1\n", static_cast<long long>(serverCpu));
    return 0;
}
