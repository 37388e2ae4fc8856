#pragma once

#include "../TestLibrary.h"
#include "AttachmentRepository.h"
#include "DeltaFormat.h"
#include "ImportResult.h"
#include "NoteRepository.h"
#include "NotebookRepository.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <archive.h>
#include <archive_entry.h>

// A migrated database with the three repositories an import writes into; attachment files go to
// "attachments" inside the same temporary directory.
struct TestLibrary : TestDb
{
    NoteRepository notes{&database};
    NotebookRepository notebooks{&database};
    AttachmentRepository attachments{&database, nullptr, dir.filePath(QStringLiteral("attachments"))};

    LibraryRepositories repos() { return {&notes, &notebooks, &attachments}; }

    QList<Note> everyNote() const { return notes.allNotes() + notes.trashedNotes(); }
    // Live notes keyed by derived title; titles are unique in the fixtures that use this.
    QMap<QString, Note> notesByTitle() const
    {
        QMap<QString, Note> out;
        for (const Note& n : notes.allNotes())
            out.insert(n.title(), n);
        return out;
    }
    QString notebookName(const QString& id) const
    {
        const std::optional<Notebook> nb = notebooks.notebookById(id);
        return nb ? nb->name : QString();
    }
    QStringList notebookNames() const
    {
        QStringList out;
        for (const Notebook& nb : notebooks.allNotebooks())
            out << nb.name;
        return out;
    }
};

// ---- tar archives assembled byte by byte ---------------------------------------------------------

inline QByteArray octalField(qint64 value, int width)
{
    // width-1 zero-padded octal digits and a terminating NUL, as POSIX writers do.
    QByteArray digits = QByteArray::number(value, 8).rightJustified(width - 1, '0');
    return digits + QByteArray(1, '\0');
}

// A ustar header whose size field holds exactly `sizeField` (12 bytes, padded with NULs).
inline QByteArray tarHeader(const QByteArray& name, const QByteArray& sizeField, char type = '0')
{
    QByteArray h(512, '\0');
    h.replace(0, qMin<qsizetype>(name.size(), 100), name.left(100));
    h.replace(100, 8, octalField(0644, 8));
    h.replace(124, 12, sizeField.leftJustified(12, '\0', true));
    h.replace(148, 8, QByteArray(8, ' '));
    h[156] = type;
    h.replace(257, 5, "ustar");
    h.replace(263, 2, "00");
    int sum = 0;
    for (char c : h)
        sum += static_cast<unsigned char>(c);
    h.replace(148, 8, QByteArray::number(sum, 8).rightJustified(6, '0') + QByteArray("\0 ", 2));
    return h;
}

inline QByteArray tarFile(const QString& name, const QByteArray& data)
{
    return tarHeader(name.toUtf8(), octalField(data.size(), 12)) + data +
           QByteArray((512 - data.size() % 512) % 512, '\0');
}

inline QByteArray tarEnd()
{
    return QByteArray(1024, '\0');
}

inline bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

inline QByteArray readBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// ---- JEX items ----------------------------------------------------------------------------------

inline QByteArray jexItem(const QString& text, const QList<QPair<QString, QString>>& metadata)
{
    QStringList lines{text + QStringLiteral("\n")};
    for (const auto& kv : metadata)
        lines << kv.first + QStringLiteral(": ") + kv.second;
    return lines.join(QLatin1Char('\n')).toUtf8();
}

inline QByteArray jexFolder(const QString& id, const QString& title, const QString& parentId = QString())
{
    return jexItem(title,
                   {{"id", id}, {"created_time", "2023-01-02T03:04:05.678Z"}, {"parent_id", parentId}, {"type_", "2"}});
}

inline QByteArray jexNote(const QString& id, const QString& text, const QString& parentId, int markup = 1,
                          const QString& created = QStringLiteral("2022-05-11T01:43:42.226Z"),
                          const QString& updated = QStringLiteral("2022-06-11T01:43:42.226Z"))
{
    return jexItem(text, {{"id", id},
                          {"parent_id", parentId},
                          {"created_time", created},
                          {"updated_time", updated},
                          {"author", ""},
                          {"markup_language", QString::number(markup)},
                          {"type_", "1"}});
}

inline QByteArray jexResource(const QString& id, const QString& title, const QString& mime, const QString& ext)
{
    return jexItem(title, {{"id", id}, {"mime", mime}, {"filename", ""}, {"file_extension", ext}, {"type_", "4"}});
}

// ---- ZIP archives written with libarchive --------------------------------------------------------

struct ZipItem
{
    QString name;
    QByteArray data;
    QString symlinkTarget = {}; // set: a link to it (ZIP has no hard links)
};

Q_DECLARE_METATYPE(QList<ZipItem>)

// Writes the items in order; false when libarchive refuses any of them.
inline bool writeZip(const QString& path, const QList<ZipItem>& items)
{
    archive* a = archive_write_new();
    archive_write_set_format_zip(a);
    bool ok = archive_write_open_filename(a, QFile::encodeName(path).constData()) == ARCHIVE_OK;
    for (const ZipItem& item : items) {
        if (!ok)
            break;
        archive_entry* e = archive_entry_new();
        archive_entry_set_pathname(e, item.name.toUtf8().constData());
        archive_entry_set_perm(e, 0644);
        const bool file = item.symlinkTarget.isEmpty();
        archive_entry_set_filetype(e, file ? AE_IFREG : AE_IFLNK);
        if (file)
            archive_entry_set_size(e, item.data.size());
        else
            archive_entry_set_symlink(e, item.symlinkTarget.toUtf8().constData());
        ok = archive_write_header(a, e) >= ARCHIVE_WARN;
        if (ok && file && !item.data.isEmpty())
            ok = archive_write_data(a, item.data.constData(), size_t(item.data.size())) == la_ssize_t(item.data.size());
        archive_entry_free(e);
    }
    ok = archive_write_close(a) == ARCHIVE_OK && ok;
    archive_write_free(a);
    return ok;
}

// Every entry of an archive (any format libarchive reads) as name -> bytes, read independently of
// the code under test.
inline QMap<QString, QByteArray> readArchiveEntries(const QString& path)
{
    QMap<QString, QByteArray> out;
    archive* a = archive_read_new();
    archive_read_support_format_all(a);
    if (archive_read_open_filename(a, QFile::encodeName(path).constData(), 65536) == ARCHIVE_OK) {
        archive_entry* e = nullptr;
        while (archive_read_next_header(a, &e) == ARCHIVE_OK) {
            QByteArray data;
            char buf[65536];
            la_ssize_t n;
            while ((n = archive_read_data(a, buf, sizeof buf)) > 0)
                data.append(buf, n);
            out.insert(QString::fromUtf8(archive_entry_pathname(e)), data);
        }
    }
    archive_read_free(a);
    return out;
}

// Every file below `root`, as paths relative to it, sorted.
inline QStringList filesBelow(const QString& root)
{
    QStringList out;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(root).relativeFilePath(it.next());
    out.sort();
    return out;
}

// The attachment embeds of a body, in order, as attachment ids.
inline QStringList embeddedAttachmentIds(const QString& body)
{
    QStringList out;
    const QLatin1String prefix(kAttachmentUrlPrefix);
    for (const DeltaOp& op : parseDelta(body)) {
        const QString url = op.embed.value(QLatin1String(kAttachmentEmbedKey)).toString();
        if (url.startsWith(prefix))
            out << url.mid(prefix.size());
    }
    return out;
}

// The link targets of a body's text runs, in order.
inline QStringList linkTargets(const QString& body)
{
    QStringList out;
    for (const DeltaOp& op : parseDelta(body)) {
        const QString link = op.attributes.value(QLatin1String("link")).toString();
        if (!link.isEmpty() && (out.isEmpty() || out.last() != link))
            out << link;
    }
    return out;
}

// A body line by line, joined with "|": "# " for a heading, "[ ] " / "[x] " for check-list items,
// "- " for bullets, "<attachment>" for attachment embeds, text as it stands.
inline QString lineSummary(const QString& body)
{
    const QHash<QString, QString> listPrefix{{"checked", "[x] "}, {"unchecked", "[ ] "}, {"bullet", "- "}};
    QStringList lines;
    QString line;
    for (const DeltaOp& op : parseDelta(body)) {
        if (op.kind == DeltaOp::InsertEmbed)
            line += op.embed.contains(QLatin1String(kAttachmentEmbedKey)) ? "<attachment>" : "<embed>";
        const QStringList parts = op.text.split(QLatin1Char('\n'));
        for (qsizetype i = 0; i < parts.size(); ++i) {
            line += parts.at(i);
            if (i + 1 == parts.size())
                break;
            const QString list = op.attributes.value(QLatin1String("list")).toString();
            lines << (op.attributes.contains(QLatin1String("header")) ? QStringLiteral("# ") : listPrefix.value(list)) +
                         line;
            line.clear();
        }
    }
    if (!line.isEmpty())
        lines << line;
    return lines.join(QLatin1Char('|'));
}
