// Feeds arbitrary bytes to the backup's note and notebook readers. Whatever they accept must come
// back unchanged after being written and read again, or a backup of a restored library would
// differ from the library.
//
//   fuzz_backup -max_len=16384 CORPUS note-and-notebook-json-seeds

#include "BackupArchive.h"
#include "Clock.h"

#include <QJsonDocument>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what, const QByteArray& first, const QByteArray& second)
{
    std::fprintf(stderr, "fuzz_backup: %s\n--- first\n%s\n--- second\n%s\n", what, first.constData(),
                 second.constData());
    std::abort();
}

QByteArray written(const QJsonObject& o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Defaults for missing times come from the clock; pin it so runs are reproducible.
    Clock::setOverride([] { return QDateTime::fromMSecsSinceEpoch(1700000000000, Qt::UTC); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));

    if (const std::optional<Note> note = noteFromBackupJson(bytes)) {
        const QByteArray first = written(noteToBackupJson(*note));
        const std::optional<Note> again = noteFromBackupJson(first);
        if (!again)
            fail("written note not readable", first, QByteArray());
        const QByteArray second = written(noteToBackupJson(*again));
        if (first != second)
            fail("note changed in a round trip", first, second);
    }
    if (const std::optional<Notebook> notebook = notebookFromBackupJson(bytes)) {
        const QByteArray first = written(notebookToBackupJson(*notebook));
        const std::optional<Notebook> again = notebookFromBackupJson(first);
        if (!again)
            fail("written notebook not readable", first, QByteArray());
        const QByteArray second = written(notebookToBackupJson(*again));
        if (first != second)
            fail("notebook changed in a round trip", first, second);
    }
    if (const std::optional<Attachment> record = attachmentFromBackupJson(bytes)) {
        const QByteArray first = written(attachmentToBackupJson(*record));
        const std::optional<Attachment> again = attachmentFromBackupJson(first);
        if (!again)
            fail("written attachment record not readable", first, QByteArray());
        const QByteArray second = written(attachmentToBackupJson(*again));
        if (first != second)
            fail("attachment record changed in a round trip", first, second);
    }
    const QString stem = backupFileStem(QString::fromUtf8(bytes));
    if (stem.isEmpty() || stem.contains(QLatin1Char('/')) || stem.contains(QLatin1Char('\\')) ||
        stem.startsWith(QLatin1Char('.')))
        fail("file stem could form a path", bytes, stem.toUtf8());
    return 0;
}
