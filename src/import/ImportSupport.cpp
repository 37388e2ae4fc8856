#include "ImportSupport.h"

#include "AttachmentRepository.h"
#include "Database.h"
#include "ImportLog.h"
#include "NoteRepository.h"
#include "NotebookRepository.h"

#include <QSqlError>

QString plainAttachmentName(const QString& name, const QString& fallback)
{
    QString plain = name;
    const qsizetype slash = qMax(plain.lastIndexOf(QLatin1Char('/')), plain.lastIndexOf(QLatin1Char('\\')));
    if (slash >= 0)
        plain = plain.mid(slash + 1);
    plain.remove(QChar(0));
    plain = plain.trimmed();
    if (plain.isEmpty() || plain == QLatin1String(".") || plain == QLatin1String(".."))
        return fallback;
    return plain;
}

bool isPlainFileName(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) && !name.contains(QChar(0));
}

ImportSession::ImportSession(const LibraryRepositories& library)
    : m_library(library)
{
    m_blocked[0] = m_library.notes->blockSignals(true);
    m_blocked[1] = m_library.notebooks->blockSignals(true);
    m_blocked[2] = m_library.attachments->blockSignals(true);
    if (Database* database = m_library.notes->database()) {
        m_db = database->db();
        m_inTransaction = m_db.isValid() && m_db.transaction();
        m_sources.emplace(database);
    }
}

ImportSession::~ImportSession()
{
    if (!m_finished)
        finish(false);
}

bool ImportSession::storeAttachment(const Attachment& attachment, const QByteArray& data)
{
    if (!m_library.attachments->saveFile(attachment.id, data))
        return false;
    if (!m_library.attachments->insert(attachment)) {
        m_library.attachments->removeFiles({attachment.id});
        return false;
    }
    m_storedFiles.append(attachment.id);
    return true;
}

bool ImportSession::storeAttachment(const Attachment& attachment, QIODevice& source, qint64 size)
{
    if (!m_library.attachments->saveFileFrom(attachment.id, source, size))
        return false;
    if (!m_library.attachments->insert(attachment)) {
        m_library.attachments->removeFiles({attachment.id});
        return false;
    }
    m_storedFiles.append(attachment.id);
    return true;
}

QString ImportSession::importedNote(const QString& kind, const QString& sourceId, const QString& sourceUpdatedAt) const
{
    if (!m_sources || sourceId.isEmpty())
        return {};
    const std::optional<ImportedSource> earlier = m_sources->find(kind, sourceId);
    if (!earlier || earlier->sourceUpdatedAt != sourceUpdatedAt)
        return {};
    // A note deleted for good since then is imported again rather than lost.
    return m_library.notes->noteById(earlier->localId) ? earlier->localId : QString();
}

QString ImportSession::importedNotebook(const QString& kind, const QString& sourceId) const
{
    if (!m_sources || sourceId.isEmpty())
        return {};
    const std::optional<ImportedSource> earlier = m_sources->find(kind, sourceId);
    if (!earlier)
        return {};
    const std::optional<Notebook> notebook = m_library.notebooks->notebookById(earlier->localId);
    return notebook && !notebook->deletedAt ? earlier->localId : QString();
}

void ImportSession::remember(const QString& kind, const QString& sourceId, const QString& localId,
                             const QString& sourceUpdatedAt)
{
    if (m_sources && !sourceId.isEmpty())
        m_sources->remember(kind, sourceId, localId, sourceUpdatedAt);
}

QString ImportSession::finish(bool changed)
{
    m_finished = true;
    QString error;
    if (m_inTransaction && !m_db.commit()) {
        error = m_db.lastError().text();
        qCWarning(lcImport).noquote() << "Import could not commit:" << error;
        m_db.rollback();
        m_library.attachments->removeFiles(m_storedFiles);
        changed = false;
    }
    m_library.notes->blockSignals(m_blocked[0]);
    m_library.notebooks->blockSignals(m_blocked[1]);
    m_library.attachments->blockSignals(m_blocked[2]);
    if (changed) {
        emit m_library.notebooks->notebooksChanged();
        emit m_library.notes->notesChanged();
        emit m_library.attachments->attachmentsChanged();
    }
    return error;
}

void reportProgress(const ImportProgress& progress, int current, int total, const QString& message)
{
    if (progress)
        progress(current, total, message);
}

ImportResult failImport(ImportResult& result, const QString& error)
{
    result.error = error;
    result.errors = 1;
    return result;
}
