// Peak memory of importing a large Joplin export. Writes a JEX of about the given size (default
// 1024 MB): 2,000 Markdown notes in 10 folders, each linking one of 400 resources, plus one video
// of a fifth of the total that no note links to, then imports it into a fresh database and prints
// the process's peak resident set size before and after the import.
// Usage: QT_QPA_PLATFORM=offscreen bench_import_large [--mb N]

#include "AttachmentRepository.h"
#include "Database.h"
#include "JexImporter.h"
#include "NoteRepository.h"
#include "NotebookRepository.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

namespace {

long peakRssKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

QByteArray octal(qint64 value, int width)
{
    return QByteArray::number(value, 8).rightJustified(width - 1, '0') + QByteArray(1, '\0');
}

void writeHeader(QFile& out, const QString& name, qint64 size)
{
    QByteArray h(512, '\0');
    const QByteArray n = name.toUtf8();
    h.replace(0, n.size(), n);
    h.replace(100, 8, octal(0644, 8));
    h.replace(124, 12, octal(size, 12));
    h.replace(136, 12, octal(1700000000, 12));
    h[156] = '0';
    h.replace(257, 6, QByteArray("ustar\0", 6));
    h.replace(148, 8, QByteArray(8, ' '));
    int sum = 0;
    for (char c : h)
        sum += static_cast<unsigned char>(c);
    h.replace(148, 8, QByteArray::number(sum, 8).rightJustified(6, '0') + QByteArray("\0 ", 2));
    out.write(h);
}

void writePadding(QFile& out, qint64 size)
{
    out.write(QByteArray(int((512 - size % 512) % 512), '\0'));
}

void writeEntry(QFile& out, const QString& name, const QByteArray& data)
{
    writeHeader(out, name, data.size());
    out.write(data);
    writePadding(out, data.size());
}

// `size` bytes of noise written in 1 MB pieces.
void writeNoise(QFile& out, const QString& name, qint64 size, quint32 seed)
{
    writeHeader(out, name, size);
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    quint32 x = seed;
    for (qint64 left = size; left > 0;) {
        for (char& c : chunk) {
            x = x * 1103515245u + 12345u;
            c = char(x >> 24);
        }
        const qint64 n = qMin<qint64>(left, chunk.size());
        out.write(chunk.constData(), n);
        left -= n;
    }
    writePadding(out, size);
}

QString hexId(int kind, int n)
{
    return QStringLiteral("%1%2").arg(kind, 2, 16, QLatin1Char('0')).arg(n, 30, 16, QLatin1Char('0'));
}

bool writeArchive(const QString& path, qint64 totalBytes)
{
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    constexpr int kFolders = 10;
    constexpr int kNotes = 2000;
    constexpr int kResources = 400;
    const qint64 video = totalBytes / 5;
    const qint64 resourceBytes = (totalBytes - video) / kResources;
    for (int f = 0; f < kFolders; ++f) {
        writeEntry(out, hexId(1, f) + QStringLiteral(".md"),
                   QStringLiteral("Folder %1\n\nid: %2\nparent_id: \ntype_: 2").arg(f).arg(hexId(1, f)).toUtf8());
    }
    for (int r = 0; r < kResources; ++r) {
        writeEntry(out, hexId(2, r) + QStringLiteral(".md"),
                   QStringLiteral("photo%1.jpg\n\nid: %2\nmime: image/jpeg\nfile_extension: jpg\ntype_: 4")
                       .arg(r)
                       .arg(hexId(2, r))
                       .toUtf8());
        writeNoise(out, QStringLiteral("resources/%1.jpg").arg(hexId(2, r)), resourceBytes, quint32(r + 1));
    }
    writeEntry(out, hexId(2, 9999) + QStringLiteral(".md"),
               QStringLiteral("video.mp4\n\nid: %1\nmime: video/mp4\nfile_extension: mp4\ntype_: 4")
                   .arg(hexId(2, 9999))
                   .toUtf8());
    writeNoise(out, QStringLiteral("resources/%1.mp4").arg(hexId(2, 9999)), video, 7);
    const QString paragraph = QStringLiteral("Some **bold** and *italic* words, a [link](https://example.com). ");
    for (int n = 0; n < kNotes; ++n) {
        QString text = QStringLiteral("Note %1\n\n").arg(n);
        for (int p = 0; p < 20; ++p)
            text += paragraph.repeated(4) + QStringLiteral("\n\n- [ ] task %1\n- [x] done\n\n").arg(p);
        text += QStringLiteral("![photo](:/%1)\n\n").arg(hexId(2, n % kResources));
        text += QStringLiteral("id: %1\nparent_id: %2\ncreated_time: 2024-01-01T00:00:00.000Z\n"
                               "updated_time: 2024-01-02T00:00:00.000Z\nmarkup_language: 1\ntype_: 1")
                    .arg(hexId(3, n), hexId(1, n % kFolders));
        writeEntry(out, hexId(3, n) + QStringLiteral(".md"), text.toUtf8());
    }
    out.write(QByteArray(1024, '\0'));
    return out.error() == QFile::NoError;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.info=false\n*.debug=false"));
    qint64 megabytes = 1024;
    const QStringList args = app.arguments();
    const qsizetype at = args.indexOf(QStringLiteral("--mb"));
    if (at >= 0 && at + 1 < args.size())
        megabytes = args.at(at + 1).toLongLong();

    QTemporaryDir dir;
    const QString archive = dir.filePath(QStringLiteral("large.jex"));
    if (!writeArchive(archive, megabytes << 20)) {
        std::fprintf(stderr, "could not write the archive\n");
        return 1;
    }
    std::printf("# archive %lld MB\n", QFileInfo(archive).size() >> 20);
    const long before = peakRssKb();

    Database database;
    if (!database.open(dir.filePath(QStringLiteral("bench.db"))) || !database.migrate())
        return 1;
    NoteRepository notes(&database);
    NotebookRepository notebooks(&database);
    AttachmentRepository attachments(&database, nullptr, dir.filePath(QStringLiteral("attachments")));
    QElapsedTimer timer;
    timer.start();
    const ImportResult result = importJex(archive, {&notes, &notebooks, &attachments});
    std::printf("# imported %d notes, %d attachments, %d errors in %lld ms\n", result.imported, result.attachments,
                result.errors, timer.elapsed());
    std::printf("peak_rss_before_import_mb  %10.1f\n", double(before) / 1024);
    std::printf("peak_rss_after_import_mb   %10.1f\n", double(peakRssKb()) / 1024);
    return result.ok() ? 0 : 1;
}
