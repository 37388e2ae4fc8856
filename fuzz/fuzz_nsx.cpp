// Feeds arbitrary bytes to the NoteStation JSON readers (config, notebook, note) and to the small
// helpers the importer applies to what they return. Times must stay within the years a date-time
// can hold, and escaped titles must never carry markup.
//
//   fuzz_nsx -max_len=65536 CORPUS json-files-from-real-exports

#include "NsxImporter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <cstdint>
#include <cstdlib>

namespace {
void checkSeconds(qint64 s)
{
    if (s < 0 || s > Q_INT64_C(253402300799))
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));

    (void)parseNsxConfig(bytes);
    if (const std::optional<NsxNotebook> notebook = parseNsxNotebook(bytes)) {
        checkSeconds(notebook->ctime);
        checkSeconds(notebook->mtime);
    }
    if (const std::optional<NsxNote> note = parseNsxNote(bytes)) {
        checkSeconds(note->ctime);
        checkSeconds(note->mtime);
        const QString escaped = escapeHtmlText(note->title);
        if (escaped.contains(QLatin1Char('<')) || escaped.contains(QLatin1Char('>')))
            std::abort();
        for (const NsxAttachment& a : note->attachments) {
            const QString mime = nsxAttachmentMime(a);
            if (mime.isEmpty() || mime.contains(QLatin1Char('<')) || mime.contains(QLatin1Char(';')))
                std::abort();
        }
    }
    // Bare values as the time readers meet them.
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray("[") + bytes + QByteArray("]"));
    for (const QJsonValue& v : doc.array())
        checkSeconds(nsxSeconds(v));
    return 0;
}
