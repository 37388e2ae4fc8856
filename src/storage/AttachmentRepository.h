#pragma once

#include "Records.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QStringList>

#include <optional>

class Database;

// Attachment rows plus their bytes: attachment <id> lives in the file named exactly <id> in the
// attachments directory; file name and MIME type are kept only in the row.
class AttachmentRepository : public QObject
{
    Q_OBJECT

public:
    // An empty directory means attachmentsDirectory() of the data directory.
    explicit AttachmentRepository(Database* db, QObject* parent = nullptr, const QString& attachmentsDir = QString());

    QString directory() const;
    QString filePath(const QString& id) const;
    // Empty when the file cannot be read (a missing file included).
    QByteArray fileData(const QString& id) const;
    bool saveFile(const QString& id, const QByteArray& data);

    std::optional<Attachment> attachmentById(const QString& id) const;
    // Oldest first.
    QList<Attachment> attachmentsForNote(const QString& noteId) const;
    // Oldest first.
    QList<Attachment> pendingAttachments() const;

    bool insert(const Attachment& attachment);
    bool markSynced(const QString& id);
    // Removes the file (a missing one is fine), then the row.
    bool deleteById(const QString& id);
    bool deleteAllForNote(const QString& noteId);

public slots:
    // Of the given attachments (ones just taken out of a note or its history), deletes the row and
    // the file of each that no note body, in the trash or not, and no snapshot refers to any more.
    // Only these ids are looked at. Returns how many went.
    int deleteUnreferenced(const QStringList& ids);

    // Deletes the files of attachments whose rows are already gone (a purged note's); missing
    // files are fine. Rows are not touched and nothing is emitted. Inside an open transaction the
    // files wait until it has ended, and stay when it was rolled back and the rows are back.
    void removeFiles(const QStringList& ids);

signals:
    void attachmentsChanged();

private:
    QList<Attachment> list(const QString& sql, const QString& noteId = QString()) const;
    void removeDeferredFiles();

    Database* m_db;
    QString m_dir;
    // Files of rows deleted inside a transaction that has not ended yet.
    QStringList m_deferredRemovals;
};
