#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QIODevice;

// Bounds on what one extraction may produce, so that a hostile archive (a ZIP bomb, millions of
// empty entries) ends in a clear error instead of filling the memory or the disk. Sizes count the
// bytes actually decompressed, never the sizes an entry claims.
struct ZipLimits
{
    int maxEntries = 1000000;
    qint64 maxEntryBytes = qint64(4) << 30;
    qint64 maxTotalBytes = qint64(32) << 30;
    // The unpacked total may exceed the archive's own size this many times, once past the floor.
    // Real exports of notes and pictures stay far below; a bomb is far above.
    qint64 maxExpansionRatio = 100;
    qint64 expansionFloorBytes = qint64(64) << 20;
    // Entries kept in memory (see extractZipArchive) may not add up to more than this.
    qint64 maxInMemoryBytes = qint64(1) << 30;
};

// Why an extraction stopped, for telling the user in their terms.
enum class ZipFailure
{
    None,
    NotAnArchive, // not a ZIP at all (or not readable as one)
    TooLarge,     // a bound of ZipLimits was hit
    Damaged,      // a ZIP that breaks off or is corrupt at `failedEntry`
    WriteFailed,  // the disk refused
};

struct ZipExtractResult
{
    ZipFailure failure = ZipFailure::None; // set together with error (WriteFailed for the disk's errors)
    QString failedEntry;                   // the entry being read when it stopped, when known
    QString error;                         // libarchive's message, or the bound that was hit; empty on success
    int filesWritten = 0;                  // to disk
    qint64 bytesWritten = 0;               // unpacked, to disk or memory
    QStringList skipped;                   // entries left out, each as "<name>: <reason>"
    QMap<QString, QByteArray> inMemory;    // safe relative path -> bytes, for the entries asked for

    bool ok() const { return error.isEmpty(); }
};

// Unpacks a ZIP archive into targetDir, which must exist. Entries that could land outside targetDir
// (absolute names, drive letters, ".." components) and entries that are not plain files or
// directories (symbolic and hard links, devices, FIFOs, sockets) are skipped and listed in
// `skipped`; everything else is unpacked. Nothing is ever written outside targetDir. A damaged or
// encrypted archive, a write failure, or a bound of `limits` being exceeded stops the extraction
// with an error; whatever was unpacked before stays in targetDir for the caller to remove.
// Plain files whose safe relative path `keepInMemory` accepts are handed back in `inMemory`
// instead of being written, which spares the disk thousands of small files that are read once.
ZipExtractResult extractZipArchive(const QString& archivePath, const QString& targetDir, const ZipLimits& limits = {},
                                   const std::function<bool(const QString& path)>& keepInMemory = {});

// The relative path an entry name may be unpacked to: '\\' taken as a separator, empty and "."
// components dropped. Empty when the name is absolute, names a drive, contains "..", a NUL, or
// nothing is left.
QString safeEntryPath(const QString& name);

// Writes a ZIP archive entry by entry. The archive is built in a temporary file beside `path` and
// only replaces `path` when finish() succeeds, so a failed backup never damages an older one.
class ZipWriter
{
public:
    explicit ZipWriter(const QString& path);
    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    bool open();
    // Names are the paths inside the archive ("notes/x.json"); a directory name ends with '/'.
    bool addDirectory(const QString& name);
    bool addFile(const QString& name, const QByteArray& data);
    // Streams an open device to its end, so large attachments are never held in memory whole.
    bool addFileFromDevice(const QString& name, QIODevice& source);
    bool finish();

    // libarchive's message or the file error of the last failure.
    QString errorString() const { return m_error; }

private:
    struct Private;
    bool fail(const QString& error);
    bool writeHeader(const QString& name, qint64 size, bool directory, bool compress);

    std::unique_ptr<Private> d;
    QString m_error;
};
