// Loaded into the real application with LD_PRELOAD by bench_mainwindow: when the main window has
// been painted for the first time it writes the moment (CLOCK_MONOTONIC, shared by every process on
// the machine), the process's CPU time and its memory to the file named by NORV_BENCH_PAINT_REPORT, then quits the
// application. The application itself carries no benchmark code.

#include "ProcMemory.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QTimer>
#include <QWidget>
#include <ctime>

namespace {

qint64 monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

class FirstPaintProbe : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (m_seen || event->type() != QEvent::Paint || !watched->isWidgetType())
            return false;
        const QWidget* window = static_cast<QWidget*>(watched)->window();
        if (!window || !window->inherits("MainWindow"))
            return false;
        m_seen = true;
        // The whole window is painted and flushed in this pass; a zero timer runs once it is over.
        QTimer::singleShot(0, this, [] {
            const qint64 paintedNs = monotonicNs();
            timespec cpu{};
            clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
            const double cpuMs = double(cpu.tv_sec) * 1e3 + double(cpu.tv_nsec) / 1e6;
            const ProcMemory memory = ProcMemory::read();
            QFile report(qEnvironmentVariable("NORV_BENCH_PAINT_REPORT"));
            if (report.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
                report.write(QByteArray("painted_ns ") + QByteArray::number(paintedNs) + "\ncpu_ms " +
                             QByteArray::number(cpuMs) + "\npeak_rss_mb " + QByteArray::number(memory.peakMb) +
                             "\nrss_mb " + QByteArray::number(memory.rssMb) + "\ndb_rss_mb " +
                             QByteArray::number(memory.databaseMb) + '\n');
            }
            QCoreApplication::exit(0);
        });
        return false;
    }

private:
    bool m_seen = false;
};

void installProbe()
{
    if (qEnvironmentVariableIsEmpty("NORV_BENCH_PAINT_REPORT"))
        return;
    QCoreApplication::instance()->installEventFilter(new FirstPaintProbe(QCoreApplication::instance()));
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(installProbe)
