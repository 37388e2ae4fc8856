#include "AttachmentRepository.h"

#include "DataPaths.h"
#include "Database.h"
#include "SqlUtil.h"
#include "StorageLog.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimer>
#include <utility>

using namespace SqlUtil;

namespace {

constexpr int kDeferredRemovalRetryMs = 100;

// Ids also arrive from the server; one that is not a plain file name must not reach outside the
// attachments directory.
bool isSafeFileName(const QString& id)
{
    return !id.isEmpty() && id != QLatin1String(".") && id != QLatin1String("..") && !id.contains(QLatin1Char('/')) &&
           !id.contains(QLatin1Char('\\')) && !id.contains(QChar(0));
}

} // namespace

AttachmentRepository::AttachmentRepository(Database* db, QObject* parent, const QString& attachmentsDir)
    : QObject(parent)
    , m_db(db)
    , m_dir(attachmentsDir)
{}

QString AttachmentRepository::directory() const
{
    return m_dir.isEmpty() ? attachmentsDirectory() : m_dir;
}

QString AttachmentRepository::filePath(const QString& id) const
{
    return directory() + QLatin1Char('/') + id;
}

QByteArray AttachmentRepository::fileData(const QString& id) const
{
    if (!isSafeFileName(id))
        return {};
    QFile file(filePath(id));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool AttachmentRepository::saveFile(const QString& id, const QByteArray& data)
{
    // One writer for whole files and streamed ones, so both refuse the same names and leave no partial file.
    QBuffer source;
    source.setData(data);
    source.open(QIODevice::ReadOnly);
    return saveFileFrom(id, source, data.size());
}

bool AttachmentRepository::saveFileFrom(const QString& id, QIODevice& source, qint64 size)
{
    if (!isSafeFileName(id)) {
        qCWarning(lcStorage).noquote() << "AttachmentRepository::saveFile open failed:"
                                       << "attachment id is not a plain file name";
        return false;
    }
    const QString dir = directory();
    if (!QDir(dir).exists())
        QDir().mkpath(dir);
    QFile file(dir + QLatin1Char('/') + id);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qCWarning(lcStorage).noquote() << "AttachmentRepository::saveFile open failed:" << file.errorString();
        return false;
    }
    constexpr qint64 kChunk = 256 * 1024;
    QByteArray buffer(int(kChunk), Qt::Uninitialized);
    qint64 written = 0;
    while (written < size) {
        const qint64 n = source.read(buffer.data(), qMin(kChunk, size - written));
        if (n <= 0 || file.write(buffer.constData(), n) != n)
            break;
        written += n;
    }
    file.close();
    if (written != size) {
        qCWarning(lcStorage).noquote() << "AttachmentRepository::saveFile short write:"
                                       << QStringLiteral("%1/%2").arg(written).arg(size);
        file.remove();
        return false;
    }
    return true;
}

std::optional<Attachment> AttachmentRepository::attachmentById(const QString& id) const
{
    QSqlQuery q(m_db->db());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT * FROM attachments WHERE id = ?"));
    q.addBindValue(id);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return readAttachment(q);
}

QList<Attachment> AttachmentRepository::list(const QString& sql, const QString& noteId) const
{
    QList<Attachment> result;
    QSqlQuery q(m_db->db());
    q.setForwardOnly(true);
    q.prepare(sql);
    if (!noteId.isNull())
        q.addBindValue(noteId);
    if (!q.exec())
        return result;
    while (q.next())
        result.append(readAttachment(q));
    return result;
}

QList<Attachment> AttachmentRepository::attachmentsForNote(const QString& noteId) const
{
    return list(QStringLiteral("SELECT * FROM attachments WHERE note_id = ? ORDER BY created_at ASC"), nonNull(noteId));
}

QList<Attachment> AttachmentRepository::pendingAttachments() const
{
    return list(QStringLiteral("SELECT * FROM attachments WHERE sync_status = 'pending' ORDER BY created_at ASC"));
}

QList<Attachment> AttachmentRepository::allAttachments() const
{
    return list(QStringLiteral("SELECT * FROM attachments ORDER BY created_at ASC"));
}

bool AttachmentRepository::insert(const Attachment& attachment)
{
    QSqlQuery q(m_db->db());
    q.prepare(QStringLiteral("INSERT INTO attachments (id, note_id, filename, mime_type, size_bytes, created_at, "
                             "sync_status) VALUES (?, ?, ?, ?, ?, ?, ?)"));
    q.addBindValue(attachment.id);
    q.addBindValue(attachment.noteId);
    q.addBindValue(nonNull(attachment.filename));
    q.addBindValue(nonNull(attachment.mimeType));
    q.addBindValue(attachment.sizeBytes);
    q.addBindValue(timestamp(attachment.createdAt));
    q.addBindValue(syncStatusToString(attachment.syncStatus));
    if (!q.exec()) {
        qCWarning(lcStorage).noquote() << "AttachmentRepository::insert failed:" << q.lastError().text();
        return false;
    }
    emit attachmentsChanged();
    return true;
}

bool AttachmentRepository::markSynced(const QString& id)
{
    QSqlQuery q(m_db->db());
    q.prepare(QStringLiteral("UPDATE attachments SET sync_status = 'synced' WHERE id = ?"));
    q.addBindValue(id);
    if (!q.exec()) {
        qCWarning(lcStorage).noquote() << "AttachmentRepository::markSynced failed:" << q.lastError().text();
        return false;
    }
    return true;
}

bool AttachmentRepository::deleteById(const QString& id)
{
    if (isSafeFileName(id))
        QFile::remove(filePath(id));
    QSqlQuery q(m_db->db());
    q.prepare(QStringLiteral("DELETE FROM attachments WHERE id = ?"));
    q.addBindValue(id);
    if (!q.exec()) {
        qCWarning(lcStorage).noquote() << "AttachmentRepository::deleteById failed:" << q.lastError().text();
        return false;
    }
    emit attachmentsChanged();
    return true;
}

bool AttachmentRepository::deleteAllForNote(const QString& noteId)
{
    bool allDeleted = true;
    const QList<Attachment> attachments = attachmentsForNote(noteId);
    for (const Attachment& a : attachments)
        allDeleted = deleteById(a.id) && allDeleted;
    return allDeleted;
}

int AttachmentRepository::deleteUnreferenced(const QStringList& ids)
{
    int deleted = 0;
    QSqlQuery q(m_db->db());
    for (const QString& id : ids) {
        if (id.isEmpty() || !attachmentById(id))
            continue;
        // The id in any form a body may hold it: inside the attachment URL or as a bare embed value.
        q.prepare(QStringLiteral("SELECT EXISTS (SELECT 1 FROM notes WHERE instr(body, ?) > 0) OR "
                                 "EXISTS (SELECT 1 FROM note_snapshots WHERE instr(body, ?) > 0)"));
        q.addBindValue(id);
        q.addBindValue(id);
        if (!q.exec() || !q.next()) {
            qCWarning(lcStorage).noquote()
                << "AttachmentRepository::deleteUnreferenced failed:" << q.lastError().text();
            continue;
        }
        const bool referenced = q.value(0).toBool();
        q.finish();
        if (!referenced && deleteById(id))
            ++deleted;
    }
    return deleted;
}

void AttachmentRepository::removeFiles(const QStringList& ids)
{
    if (m_db->inTransaction()) {
        // A rollback would bring the rows back, and they would point at files already gone.
        const bool scheduled = !m_deferredRemovals.isEmpty();
        m_deferredRemovals += ids;
        if (!scheduled)
            QTimer::singleShot(0, this, &AttachmentRepository::removeDeferredFiles);
        return;
    }
    for (const QString& id : ids) {
        if (isSafeFileName(id))
            QFile::remove(filePath(id));
    }
}

void AttachmentRepository::removeDeferredFiles()
{
    if (m_deferredRemovals.isEmpty())
        return;
    if (m_db->inTransaction()) {
        // Long imports and sync batches let events through while their transaction is open.
        QTimer::singleShot(kDeferredRemovalRetryMs, this, &AttachmentRepository::removeDeferredFiles);
        return;
    }
    const QStringList ids = std::exchange(m_deferredRemovals, {});
    for (const QString& id : ids) {
        if (!attachmentById(id) && isSafeFileName(id))
            QFile::remove(filePath(id));
    }
}
