// Sync against the reference server: push 1,000 pending notes, then pull and apply 10,000 notes into an
// empty library, with the longest stall of the event loop during each (what a window would feel).
// Prints "name  ms  n". Needs tools/devserver built.

#include "../tests/sync/SyncTestRig.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTimer>
#include <cstdio>

namespace {

// Records the longest gap between 5 ms ticks: the worst frame the window would have waited for.
struct StallMeter
{
    QTimer timer;
    QElapsedTimer clock;
    qint64 worst = 0;
    StallMeter()
    {
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, [this] { worst = qMax(worst, clock.restart()); });
    }
    void start()
    {
        worst = 0;
        clock.start();
        timer.start();
    }
    qint64 stop()
    {
        timer.stop();
        return qMax(worst, clock.elapsed());
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

bool timedSync(Device& device, StallMeter& meter, qint64* ms, qint64* stall)
{
    QElapsedTimer t;
    meter.start();
    t.start();
    const bool ok = device.sync(600000);
    *ms = t.elapsed();
    *stall = meter.stop();
    return ok;
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
    qint64 ms = 0, stall = 0;
    if (!timedSync(pusher, meter, &ms, &stall))
        return 1;
    std::printf("sync_push_1000_notes  %lld  1\n", static_cast<long long>(ms));
    std::printf("sync_push_worst_stall  %lld  1\n", static_cast<long long>(stall));

    Device puller(server.root, user);
    puller.api->setTransferTimeout(300000);
    if (!timedSync(puller, meter, &ms, &stall))
        return 1;
    std::printf("sync_pull_apply_%lld_notes  %lld  1\n", static_cast<long long>(puller.notes->allNotes().size()),
                static_cast<long long>(ms));
    std::printf("sync_pull_worst_stall  %lld  1\n", static_cast<long long>(stall));
    return 0;
}
