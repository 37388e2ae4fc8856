// Feeds arbitrary bytes to the JEX readers: the tar reader (as a whole archive) and the item parser
// (on every ".md" entry and on the raw input). Neither may crash, hang or allocate what a header
// merely claims; entries can never add up to more bytes than the input holds.
//
//   fuzz_jex -max_len=65536 CORPUS ../shared/fixtures/real-world/jex

#include "JexImporter.h"
#include "TarReader.h"

#include <QBuffer>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer device(&bytes);
    device.open(QIODevice::ReadOnly);
    const TarReadResult archive = readTarArchive(device);

    qint64 total = 0;
    for (const TarEntry& entry : archive.entries) {
        total += entry.data.size();
        if (entry.name.endsWith(QLatin1String(".md"))) {
            const JexItem item = parseJexItem(entry.data);
            (void)cleanJexBody(item.body, item.title);
        }
    }
    if (total > qint64(size)) {
        std::fprintf(stderr, "fuzz_jex: entries hold %lld bytes, input only %zu\n", static_cast<long long>(total),
                     size);
        std::abort();
    }
    if (!archive.ok() && !archive.entries.isEmpty())
        std::abort(); // a refused archive hands out nothing
    // The index the importer reads from sees the same entries as the whole-archive reader.
    device.seek(0);
    const TarIndexResult index = indexTarArchive(device);
    if (index.ok() != archive.ok() || index.entries.size() != archive.entries.size())
        std::abort();
    for (qsizetype i = 0; i < index.entries.size(); ++i) {
        if (index.entries.at(i).size != archive.entries.at(i).data.size() ||
            index.entries.at(i).offset + index.entries.at(i).size > qint64(size))
            std::abort();
    }

    const JexItem item = parseJexItem(bytes);
    (void)cleanJexBody(item.body, item.title);
    (void)parseJexTime(QString::fromUtf8(bytes.left(64)));
    return 0;
}
