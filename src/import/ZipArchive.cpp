#include "ZipArchive.h"

#include "Clock.h"
#include "ImportLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <archive.h>
#include <archive_entry.h>
#include <cerrno>
#include <limits>

namespace {

constexpr qsizetype kChunk = 64 * 1024;

struct ReadArchiveDeleter
{
    void operator()(archive* a) const { archive_read_free(a); }
};
using ReadArchivePtr = std::unique_ptr<archive, ReadArchiveDeleter>;

QString archiveError(archive* a, const char* fallback)
{
    const char* text = archive_error_string(a);
    return QString::fromUtf8(text && *text ? text : fallback);
}

QString entryName(archive_entry* entry)
{
    if (const char* utf8 = archive_entry_pathname_utf8(entry))
        return QString::fromUtf8(utf8);
    // Not convertible in this locale: take the raw bytes, which are UTF-8 in practice.
    if (const char* raw = archive_entry_pathname(entry))
        return QString::fromUtf8(raw);
    return {};
}

bool isInside(const QString& path, const QString& root)
{
    return path == root || path.startsWith(root + QLatin1Char('/'));
}

qint64 totalBound(const ZipLimits& limits, qint64 archiveSize)
{
    qint64 byRatio = std::numeric_limits<qint64>::max();
    if (limits.maxExpansionRatio > 0 && archiveSize < byRatio / limits.maxExpansionRatio)
        byRatio = archiveSize * limits.maxExpansionRatio;
    return qMin(limits.maxTotalBytes, qMax(limits.expansionFloorBytes, byRatio));
}

} // namespace

QString safeEntryPath(const QString& name)
{
    QString path = name;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (path.startsWith(QLatin1Char('/')) || path.contains(QChar(0)))
        return {};
    if (path.size() >= 2 && path.at(1) == QLatin1Char(':') && path.at(0).isLetter())
        return {}; // "C:..." names a drive elsewhere
    QStringList parts;
    for (const QString& part : path.split(QLatin1Char('/'))) {
        if (part.isEmpty() || part == QLatin1String("."))
            continue;
        if (part == QLatin1String(".."))
            return {};
        parts.append(part);
    }
    return parts.join(QLatin1Char('/'));
}

ZipExtractResult extractZipArchive(const QString& archivePath, const QString& targetDir, const ZipLimits& limits,
                                   const std::function<bool(const QString& path)>& keepInMemory)
{
    ZipExtractResult result;
    const QString root = QFileInfo(targetDir).canonicalFilePath();
    if (root.isEmpty() || !QFileInfo(root).isDir()) {
        result.error = QStringLiteral("Target folder does not exist: %1").arg(targetDir);
        result.failure = ZipFailure::WriteFailed;
        return result;
    }
    const qint64 totalLimit = totalBound(limits, QFileInfo(archivePath).size());

    ReadArchivePtr reader(archive_read_new());
    if (!reader) {
        result.error = QStringLiteral("Out of memory");
        result.failure = ZipFailure::WriteFailed;
        return result;
    }
    archive* a = reader.get();
    archive_read_support_format_zip(a);
    if (archive_read_open_filename(a, QFile::encodeName(archivePath).constData(), kChunk) != ARCHIVE_OK) {
        result.error = archiveError(a, "Cannot open archive");
        result.failure = ZipFailure::NotAnArchive;
        return result;
    }

    QByteArray buffer(kChunk, Qt::Uninitialized);
    QSet<QString> verifiedFolders;
    qint64 inMemoryBytes = 0;
    int entries = 0;
    QString lastName;
    for (;;) {
        archive_entry* entry = nullptr;
        const int rc = archive_read_next_header(a, &entry);
        if (rc == ARCHIVE_EOF)
            break;
        if (rc != ARCHIVE_OK && rc != ARCHIVE_WARN) {
            result.error = archiveError(a, "Damaged archive");
            // Nothing readable at all: not a ZIP. Otherwise the entry after the last good one.
            result.failure = entries == 0 ? ZipFailure::NotAnArchive : ZipFailure::Damaged;
            result.failedEntry = lastName;
            return result;
        }
        if (++entries > limits.maxEntries) {
            result.error = QStringLiteral("Archive has more than %1 entries").arg(limits.maxEntries);
            result.failure = ZipFailure::TooLarge;
            return result;
        }

        const QString name = entryName(entry);
        lastName = name;
        const auto type = archive_entry_filetype(entry);
        const QString relative = safeEntryPath(name);
        QString reason;
        if (archive_entry_hardlink(entry) || type == AE_IFLNK)
            reason = QStringLiteral("links are not unpacked");
        else if (type != AE_IFREG && type != AE_IFDIR)
            reason = QStringLiteral("not a plain file");
        else if (relative.isEmpty())
            reason = QStringLiteral("path leads outside the archive folder");
        if (!reason.isEmpty()) {
            qCWarning(lcImport).noquote() << "Skipping archive entry" << name << "-" << reason;
            result.skipped.append(name + QStringLiteral(": ") + reason);
            continue;
        }

        const QString destination = root + QLatin1Char('/') + relative;
        if (type == AE_IFDIR) {
            if (!QDir().mkpath(destination)) {
                result.error = QStringLiteral("Cannot create folder \"%1\"").arg(relative);
                result.failure = ZipFailure::WriteFailed;
                return result;
            }
            continue;
        }
        if (archive_entry_size_is_set(entry) && archive_entry_size(entry) > limits.maxEntryBytes) {
            result.error = QStringLiteral("Archive entry \"%1\" is larger than the limit of %2 bytes")
                               .arg(name)
                               .arg(limits.maxEntryBytes);
            result.failure = ZipFailure::TooLarge;
            result.failedEntry = name;
            return result;
        }

        const bool toMemory = keepInMemory && keepInMemory(relative);
        QFile out(destination);
        QByteArray memory;
        if (!toMemory) {
            const QString parent = QFileInfo(destination).absolutePath();
            if (!verifiedFolders.contains(parent)) {
                if (!QDir().mkpath(parent) || !isInside(QFileInfo(parent).canonicalFilePath(), root)) {
                    result.error = QStringLiteral("Cannot create folder for \"%1\"").arg(relative);
                    result.failure = ZipFailure::WriteFailed;
                    return result;
                }
                verifiedFolders.insert(parent); // thousands of files share a handful of folders
            }
            if (QFileInfo(destination).isSymLink()) {
                // Only possible when the target folder was not empty; never write through a link.
                result.skipped.append(name + QStringLiteral(": would replace a link"));
                continue;
            }
            if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
                result.error = QStringLiteral("Cannot write \"%1\": %2").arg(relative, out.errorString());
                result.failure = ZipFailure::WriteFailed;
                return result;
            }
        }

        qint64 entryBytes = 0;
        for (;;) {
            const la_ssize_t n = archive_read_data(a, buffer.data(), size_t(buffer.size()));
            if (n == 0)
                break;
            if (n < 0) {
                result.error = archiveError(a, "Damaged archive entry");
                result.failure = ZipFailure::Damaged;
                result.failedEntry = name;
                return result;
            }
            entryBytes += n;
            result.bytesWritten += n;
            if (entryBytes > limits.maxEntryBytes) {
                result.error = QStringLiteral("Archive entry \"%1\" unpacks to more than the limit of %2 bytes")
                                   .arg(name)
                                   .arg(limits.maxEntryBytes);
                result.failure = ZipFailure::TooLarge;
                result.failedEntry = name;
                return result;
            }
            if (result.bytesWritten > totalLimit) {
                result.error = QStringLiteral("Archive unpacks to more than the limit of %1 bytes").arg(totalLimit);
                result.failure = ZipFailure::TooLarge;
                result.failedEntry = name;
                return result;
            }
            if (toMemory) {
                inMemoryBytes += n;
                if (inMemoryBytes > limits.maxInMemoryBytes) {
                    result.error = QStringLiteral("Archive items take more than the limit of %1 bytes")
                                       .arg(limits.maxInMemoryBytes);
                    result.failure = ZipFailure::TooLarge;
                    result.failedEntry = name;
                    return result;
                }
                memory.append(buffer.constData(), n);
            } else if (out.write(buffer.constData(), n) != n) {
                result.error = QStringLiteral("Cannot write \"%1\": %2").arg(relative, out.errorString());
                result.failure = ZipFailure::WriteFailed;
                return result;
            }
        }
        if (toMemory) {
            result.inMemory.insert(relative, memory);
            continue;
        }
        if (!out.flush()) {
            result.error = QStringLiteral("Cannot write \"%1\": %2").arg(relative, out.errorString());
            result.failure = ZipFailure::WriteFailed;
            return result;
        }
        ++result.filesWritten;
    }
    return result;
}

// ---------------------------------------------------------------------------------------------

struct ZipWriter::Private
{
    explicit Private(const QString& path)
        : file(path)
    {}
    ~Private()
    {
        // Closing lets libarchive finish (and free) the entry in progress; the bytes go to the
        // temporary file, which QSaveFile discards because it is never committed.
        if (a)
            archive_write_free(a);
    }

    QSaveFile file;
    archive* a = nullptr;
};

namespace {

la_ssize_t writeToSaveFile(archive* a, void* client, const void* buffer, size_t length)
{
    auto* file = static_cast<QSaveFile*>(client);
    const qint64 written = file->write(static_cast<const char*>(buffer), qint64(length));
    if (written < 0) {
        archive_set_error(a, EIO, "%s", file->errorString().toUtf8().constData());
        return -1;
    }
    return la_ssize_t(written);
}

} // namespace

ZipWriter::ZipWriter(const QString& path)
    : d(std::make_unique<Private>(path))
{}

ZipWriter::~ZipWriter() = default;

bool ZipWriter::fail(const QString& error)
{
    m_error = error;
    return false;
}

bool ZipWriter::open()
{
    if (!d->file.open(QIODevice::WriteOnly))
        return fail(d->file.errorString());
    d->a = archive_write_new();
    if (!d->a)
        return fail(QStringLiteral("Out of memory"));
    archive_write_set_format_zip(d->a);
    archive_write_set_format_option(d->a, "zip", "hdrcharset", "UTF-8");
    archive_write_set_bytes_per_block(d->a, 0); // no padding after the central directory
    if (archive_write_open2(d->a, &d->file, nullptr, writeToSaveFile, nullptr, nullptr) != ARCHIVE_OK)
        return fail(archiveError(d->a, "Cannot start archive"));
    return true;
}

bool ZipWriter::writeHeader(const QString& name, qint64 size, bool directory, bool compress)
{
    if (!d->a)
        return fail(QStringLiteral("Archive is not open"));
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname_utf8(entry, name.toUtf8().constData());
    archive_entry_set_filetype(entry, directory ? AE_IFDIR : AE_IFREG);
    archive_entry_set_perm(entry, directory ? 0755 : 0644);
    archive_entry_set_size(entry, directory ? 0 : size);
    archive_entry_set_mtime(entry, time_t(Clock::nowMs() / 1000), 0);
    if (compress)
        archive_write_zip_set_compression_deflate(d->a);
    else
        archive_write_zip_set_compression_store(d->a);
    const int rc = archive_write_header(d->a, entry);
    archive_entry_free(entry);
    if (rc < ARCHIVE_WARN)
        return fail(archiveError(d->a, "Cannot write entry header"));
    return true;
}

bool ZipWriter::addDirectory(const QString& name)
{
    return writeHeader(name.endsWith(QLatin1Char('/')) ? name : name + QLatin1Char('/'), 0, true, false);
}

bool ZipWriter::addFile(const QString& name, const QByteArray& data)
{
    if (!writeHeader(name, data.size(), false, true))
        return false;
    if (!data.isEmpty() && archive_write_data(d->a, data.constData(), size_t(data.size())) != la_ssize_t(data.size()))
        return fail(archiveError(d->a, "Cannot write entry"));
    return true;
}

bool ZipWriter::addFileFromDevice(const QString& name, QIODevice& source)
{
    if (!writeHeader(name, source.size(), false, true))
        return false;
    QByteArray buffer(kChunk, Qt::Uninitialized);
    for (;;) {
        const qint64 n = source.read(buffer.data(), buffer.size());
        if (n < 0)
            return fail(source.errorString());
        if (n == 0)
            break;
        if (archive_write_data(d->a, buffer.constData(), size_t(n)) != la_ssize_t(n))
            return fail(archiveError(d->a, "Cannot write entry"));
    }
    return true;
}

bool ZipWriter::finish()
{
    if (!d->a)
        return fail(QStringLiteral("Archive is not open"));
    const int rc = archive_write_close(d->a);
    const QString error = rc == ARCHIVE_OK ? QString() : archiveError(d->a, "Cannot finish archive");
    archive_write_free(d->a);
    d->a = nullptr;
    if (!error.isEmpty()) {
        d->file.cancelWriting();
        d->file.commit();
        return fail(error);
    }
    if (!d->file.commit())
        return fail(d->file.errorString());
    return true;
}
