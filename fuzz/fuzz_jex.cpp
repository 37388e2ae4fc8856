// Feeds arbitrary bytes to the JEX readers: the tar index (as the importer reads an archive) and the
// item parser (on every ".md" entry and on the raw input). Neither may crash, hang or allocate what
// a header merely claims; every entry lies inside the input, after the one before it.
//
//   fuzz_jex -max_len=65536 CORPUS "$NORV_FIXTURES_DIR/real-world/jex"

#include "JexImporter.h"
#include "TarReader.h"

#include <QBuffer>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {
[[noreturn]] void fail(const char* what, const TarIndexEntry& entry)
{
    std::fprintf(stderr, "fuzz_jex: %s: \"%s\" at %lld, %lld bytes\n", what, entry.name.toUtf8().constData(),
                 static_cast<long long>(entry.offset), static_cast<long long>(entry.size));
    std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer device(&bytes);
    device.open(QIODevice::ReadOnly);
    const TarIndexResult index = indexTarArchive(device);
    if (!index.ok() && (index.entries.size() > 0 || index.error.isEmpty()))
        std::abort(); // a refused archive hands out nothing, and says why

    qint64 previousEnd = 0;
    for (const TarIndexEntry& entry : index.entries) {
        // Each entry's data follows its own 512-byte header.
        if (entry.size < 0 || entry.offset < previousEnd + 512 || entry.offset % 512 != 0)
            fail("entry overlaps the one before it or its header", entry);
        if (entry.offset + entry.size > qint64(size))
            fail("entry reaches past the input", entry);
        previousEnd = entry.offset + entry.size;
        if (entry.name.endsWith(QLatin1String(".md"))) {
            const JexItem item = parseJexItem(bytes.mid(entry.offset, entry.size));
            (void)cleanJexBody(item.body, item.title);
        }
    }

    const JexItem item = parseJexItem(bytes);
    (void)cleanJexBody(item.body, item.title);
    (void)parseJexTime(QString::fromUtf8(bytes.left(64)));
    return 0;
}
