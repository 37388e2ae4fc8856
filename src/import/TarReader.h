#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

class QIODevice;

// One file of a tar archive, in archive order.
struct TarEntry
{
    QString name;
    QByteArray data;
};

struct TarReadResult
{
    QList<TarEntry> entries; // empty whenever error is set
    QString error;           // why the archive was rejected; empty when it was read to its end

    bool ok() const { return error.isEmpty(); }
};

// No single entry may claim more than this many bytes; a larger claim is refused before anything
// is allocated for it.
inline constexpr qint64 kMaxTarEntryBytes = qint64(1) << 30;

// Reads an uncompressed tar archive: 512-byte headers, the name from the first 100 header bytes,
// the size from the octal field at offset 124, data padded to whole blocks. A block of zeros or a
// header cut short ends the archive. A size that cannot be read, or that claims more bytes than
// the file still holds or than maxEntryBytes, rejects the whole archive with a clear error. A file
// that cannot be opened gives an empty result without an error, like an empty archive.
TarReadResult readTarArchive(const QString& path, qint64 maxEntryBytes = kMaxTarEntryBytes);
// The same over an open random-access device (a file or a buffer), from its current position.
TarReadResult readTarArchive(QIODevice& device, qint64 maxEntryBytes = kMaxTarEntryBytes);

// Where one entry's data lies in the archive, for reading it later without holding it in memory.
struct TarIndexEntry
{
    QString name;
    qint64 offset = 0; // of the first data byte, from the start of the device
    qint64 size = 0;
};

struct TarIndexResult
{
    QList<TarIndexEntry> entries; // empty whenever error is set
    QString error;

    bool ok() const { return error.isEmpty(); }
};

// Reads only the headers, seeking over the data, so an archive of any size costs memory only for
// its list of names. Entry sizes are bounded by what the file holds, not by a fixed limit: one large
// video does not refuse the archive. Errors as readTarArchive.
TarIndexResult indexTarArchive(QIODevice& device);

// The size field of a header (12 bytes): octal digits, optionally surrounded by spaces or NULs, or
// the base-256 form with the high bit of the first byte set. Absent when the field holds anything
// else or does not fit in 63 bits.
std::optional<qint64> parseTarSize(const QByteArray& field);
