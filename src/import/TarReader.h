#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

class QIODevice;

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

// Reads an uncompressed tar archive's headers (512 bytes each: the name from the first 100 bytes,
// the size from the octal field at offset 124), seeking over the data padded to whole blocks, so an
// archive of any size costs memory only for its list of names. A block of zeros or a header cut
// short ends the archive. Entry sizes are bounded by what the device holds, not by a fixed limit:
// one large video does not refuse the archive. A size that cannot be read, or that claims more bytes
// than are left, rejects the whole archive with a clear error. Names are returned as they stand;
// callers only look them up and never use them as paths.
TarIndexResult indexTarArchive(QIODevice& device);

// The size field of a header (12 bytes): octal digits, optionally surrounded by spaces or NULs, or
// the base-256 form with the high bit of the first byte set. Absent when the field holds anything
// else or does not fit in 63 bits.
std::optional<qint64> parseTarSize(const QByteArray& field);
