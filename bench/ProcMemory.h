#pragma once

#include <QByteArray>
#include <QFile>

// The process's resident memory from /proc: the peak (VmHWM), the current size, and how much of it
// is the memory-mapped database file (the mappings of a file whose name ends in ".db", from smaps).
// Header-only, so the paint probe loaded into the application needs nothing else.
struct ProcMemory
{
    double peakMb = 0;
    double rssMb = 0;
    double anonMb = 0;
    double databaseMb = 0;

    static ProcMemory read()
    {
        ProcMemory out;
        QFile status(QStringLiteral("/proc/self/status"));
        if (status.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : status.readAll().split('\n')) {
                if (line.startsWith("VmHWM:"))
                    out.peakMb = kbField(line);
                else if (line.startsWith("VmRSS:"))
                    out.rssMb = kbField(line);
                else if (line.startsWith("RssAnon:"))
                    out.anonMb = kbField(line);
            }
        }
        QFile smaps(QStringLiteral("/proc/self/smaps"));
        if (smaps.open(QIODevice::ReadOnly)) {
            bool inDatabase = false;
            for (const QByteArray& line : smaps.readAll().split('\n')) {
                // A mapping's header line starts with its address range, in lower-case hexadecimal.
                const int dash = line.indexOf('-');
                if (dash > 0 && line.indexOf(' ') > dash && !line.endsWith(" kB")) {
                    inDatabase = line.trimmed().endsWith(".db");
                } else if (inDatabase && line.startsWith("Rss:")) {
                    out.databaseMb += kbField(line);
                }
            }
        }
        return out;
    }

private:
    static double kbField(const QByteArray& line)
    {
        return line.mid(line.indexOf(':') + 1).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
};
