#include "SyncEngine.h"

#include "ApiClient.h"
#include "AttachmentRepository.h"
#include "Clock.h"
#include "Database.h"
#include "NoteRepository.h"
#include "NotebookRepository.h"
#include "PreferenceKeys.h"
#include "PreferencesRepository.h"
#include "SnapshotRepository.h"
#include "SyncLog.h"
#include "SyncRules.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHttpMultiPart>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QSignalBlocker>
#include <QSqlDatabase>
#include <QTimer>
#include <QUrlQuery>

using namespace SyncRules;

namespace {

const QLatin1String kPurgeLedgerKey("sync_purged_notes");

bool isPresent(const QJsonObject& body, const char* key, QJsonValue::Type type)
{
    return body.value(QLatin1String(key)).type() == type;
}

} // namespace

SyncEngine::SyncEngine(NorvAccount::ApiClient* api, NoteRepository* notes, NotebookRepository* notebooks,
                       AttachmentRepository* attachments, PreferencesRepository* preferences, QObject* parent)
    : QObject(parent)
    , m_api(api)
    , m_notes(notes)
    , m_notebooks(notebooks)
    , m_attachments(attachments)
    , m_preferences(preferences)
    , m_periodicTimer(new QTimer(this))
    , m_debounceTimer(new QTimer(this))
{
    m_periodicTimer->setObjectName(QStringLiteral("syncPeriodicTimer"));
    m_debounceTimer->setObjectName(QStringLiteral("syncDebounceTimer"));
    m_debounceTimer->setSingleShot(true);
    m_debounceTimer->setInterval(kDebounceMs);
    connect(m_periodicTimer, &QTimer::timeout, this, &SyncEngine::syncNow);
    connect(m_debounceTimer, &QTimer::timeout, this, &SyncEngine::syncNow);
    connect(m_notes, &NoteRepository::syncedNotePurged, this, &SyncEngine::recordPurge);
    if (m_api) {
        connect(m_api, &NorvAccount::ApiClient::authenticationRequired, this, [this] {
            m_lastError = QStringLiteral("Authentication required");
            m_offlineFailure = false;
            setState(Error);
            emit syncFailed(m_lastError);
        });
    }
}

void SyncEngine::setBatchLimits(int maxNotes, qint64 maxBytes)
{
    m_maxBatchNotes = qMax(1, maxNotes);
    m_maxBatchBytes = qMax<qint64>(1, maxBytes);
}

QString SyncEngine::stateText(SyncState state)
{
    switch (state) {
    case Idle:
        return tr("Synced");
    case Pending:
        return tr("Unsynced changes");
    case Syncing:
        return tr("Syncing...");
    case Error:
        return tr("Sync error");
    case Offline:
        return tr("Offline");
    }
    return tr("Unknown");
}

void SyncEngine::setState(SyncState state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void SyncEngine::start(int intervalMs)
{
    m_periodicTimer->start(qMax(1000, intervalMs));
    syncNow();
}

void SyncEngine::stop()
{
    m_periodicTimer->stop();
    m_debounceTimer->stop();
}

void SyncEngine::setInterval(int intervalMs)
{
    if (m_periodicTimer->isActive())
        m_periodicTimer->start(qMax(1000, intervalMs));
}

bool SyncEngine::isTimerActive() const
{
    return m_periodicTimer->isActive();
}

int SyncEngine::timerInterval() const
{
    return m_periodicTimer->interval();
}

void SyncEngine::scheduleSync()
{
    // The notesChanged of a pull's own writes must not ask for the next run: that would sync every
    // two seconds for ever.
    if (m_applying)
        return;
    if (m_state == Idle)
        setState(Pending);
    m_debounceTimer->start(kDebounceMs);
}

void SyncEngine::syncNow()
{
    if (m_state == Syncing) {
        m_resyncRequested = true;
        return;
    }
    m_debounceTimer->stop();
    beginRun();
}

int SyncEngine::fullResync()
{
    const bool wasActive = m_periodicTimer->isActive();
    m_periodicTimer->stop();
    m_preferences->remove(QLatin1String(PrefKey::LastSyncTimestampMs));
    m_preferences->remove(QLatin1String(PrefKey::LastAttachmentSyncMs));
    const int count = m_notes->markAllPending();
    m_notebooks->markAllPending();
    if (wasActive)
        m_periodicTimer->start(kDefaultIntervalMs);
    syncNow();
    return count;
}

void SyncEngine::beginRun()
{
    setState(Syncing);
    m_runChangedData = false;
    m_downloadedAny = false;
    m_downloadFailed = false;
    m_conflicts.clear();
    m_runLeftBehind.clear();
    if (!m_api) {
        fail(QStringLiteral("Not connected"), 0);
        return;
    }
    pushNotebooks();
}

void SyncEngine::fail(const QString& error, int status)
{
    m_lastError = error;
    m_offlineFailure = status == 0;
    qCWarning(lcSync).noquote() << "sync run stopped:" << error;
    // A run that stops keeps what it left behind so far on show, beside the error.
    if (m_leftBehind != m_runLeftBehind) {
        m_leftBehind = m_runLeftBehind;
        emit leftBehindChanged();
    }
    m_resyncRequested = false;
    setState(Error);
    emit syncFailed(error);
    if (m_runChangedData)
        emit dataChanged();
}

void SyncEngine::noteLeftBehind(const QString& line)
{
    m_runLeftBehind.append(line);
}

void SyncEngine::reportProgress(const QString& label, int current, int total)
{
    m_progressClock.restart();
    emit syncProgress(label, current, total);
}

bool SyncEngine::progressDue()
{
    return !m_progressClock.isValid() || m_progressClock.elapsed() >= kProgressIntervalMs;
}

// ---- push notebooks ----

void SyncEngine::pushNotebooks()
{
    m_notebookQueue.clear();
    m_notebookQueue = m_notebooks->pendingNotebooks();
    if (!m_notebookQueue.isEmpty())
        reportProgress(tr("Uploading notebooks"), 0, int(m_notebookQueue.size()));
    pushNextNotebook();
}

void SyncEngine::pushNextNotebook()
{
    if (m_notebookQueue.isEmpty()) {
        pushNotes();
        return;
    }
    const Notebook nb = m_notebookQueue.takeFirst();
    QPointer<SyncEngine> self(this);
    const QString path = QStringLiteral("/notebooks/%1").arg(nb.id);
    if (nb.deletedAt) {
        m_api->deleteResource(path, [self, nb](bool ok, int status, const QJsonObject&) {
            if (!self)
                return;
            if (ok || status == 404) {
                self->markNotebookSynced(nb.id, nb.version);
            } else {
                qCWarning(lcSync) << "notebook delete failed" << nb.id << status;
                self->noteLeftBehind(tr("A notebook deletion waits to reach the server (HTTP %1)").arg(status));
            }
            self->pushNextNotebook();
        });
        return;
    }

    QJsonObject body{{QStringLiteral("name"), nb.name}, {QStringLiteral("version"), nb.version}};
    m_api->put(path, body, [self, nb](bool ok, int status, const QJsonObject& answer) {
        if (!self)
            return;
        if (ok) {
            self->markNotebookSynced(nb.id, versionFromJson(answer.value(QLatin1String("version")), nb.version));
            self->m_runChangedData = true;
            self->pushNextNotebook();
        } else if (status == 404) {
            QJsonObject create{{QStringLiteral("id"), nb.id}, {QStringLiteral("name"), nb.name}};
            self->m_api->post(
                QStringLiteral("/notebooks"), create, [self, nb](bool ok, int status, const QJsonObject& answer) {
                    if (!self)
                        return;
                    if (ok) {
                        self->markNotebookSynced(nb.id, versionFromJson(answer.value(QLatin1String("version")), 1));
                        self->m_runChangedData = true;
                    } else {
                        qCWarning(lcSync) << "notebook post failed" << nb.id << status;
                        self->noteLeftBehind(tr("Notebook \"%1\" waits to upload (HTTP %2)").arg(nb.name).arg(status));
                    }
                    self->pushNextNotebook();
                });
        } else if (status == 409) {
            self->markNotebookSynced(nb.id, nb.version);
            self->pushNextNotebook();
        } else {
            qCWarning(lcSync) << "notebook put failed" << nb.id << status;
            self->noteLeftBehind(tr("Notebook \"%1\" waits to upload (HTTP %2)").arg(nb.name).arg(status));
            self->pushNextNotebook();
        }
    });
}

void SyncEngine::markNotebookSynced(const QString& id, int version)
{
    auto nb = m_notebooks->notebookById(id);
    if (!nb)
        return;
    nb->syncStatus = SyncStatus::Synced;
    nb->version = version;
    QSignalBlocker block(m_notebooks);
    m_notebooks->update(*nb);
}

// ---- purges ----

QJsonObject SyncEngine::purgeLedger() const
{
    const auto text = m_preferences->value(kPurgeLedgerKey);
    return text ? QJsonDocument::fromJson(text->toUtf8()).object() : QJsonObject();
}

void SyncEngine::setPurgeLedger(const QJsonObject& ledger)
{
    if (ledger.isEmpty())
        m_preferences->remove(kPurgeLedgerKey);
    else
        m_preferences->setValue(kPurgeLedgerKey,
                                QString::fromUtf8(QJsonDocument(ledger).toJson(QJsonDocument::Compact)));
}

void SyncEngine::recordPurge(const QString& noteId, int serverVersion)
{
    QJsonObject ledger = purgeLedger();
    ledger.insert(noteId, serverVersion);
    setPurgeLedger(ledger);
}

// ---- push notes ----

void SyncEngine::pushNotes()
{
    m_pushQueue.clear();
    m_purgesSent.clear();
    QList<Note> pending = m_notes->pendingNotes();
    // Purges go with the notes, as notes in the trash with nothing left in them.
    const QJsonObject ledger = purgeLedger();
    const QDateTime now = Clock::nowUtc();
    for (auto it = ledger.constBegin(); it != ledger.constEnd(); ++it) {
        const int base = versionFromJson(it.value(), -1);
        if (base < 1 || !isSafeId(it.key()) || m_notes->noteById(it.key()))
            continue;
        pending.append(purgeTombstone(it.key(), base, now));
        m_purgesSent.insert(it.key());
    }
    if (pending.isEmpty()) {
        pushAttachments();
        return;
    }
    QList<qint64> sizes;
    sizes.reserve(pending.size());
    for (const Note& n : pending)
        sizes.append(pushChangeBytes(n));
    for (const QList<int>& indexes : splitBatches(sizes, m_maxBatchNotes, m_maxBatchBytes)) {
        QList<Note> batch;
        for (int i : indexes)
            batch.append(pending.at(i));
        m_pushQueue.append(batch);
    }
    m_pushTotal = int(pending.size());
    m_pushDone = 0;
    reportProgress(tr("Uploading notes"), 0, m_pushTotal);
    pushNextBatch();
}

void SyncEngine::pushNextBatch()
{
    if (m_pushQueue.isEmpty()) {
        pushAttachments();
        return;
    }
    const QList<Note> batch = m_pushQueue.takeFirst();
    QJsonArray changes;
    for (const Note& n : batch)
        changes.append(pushChange(n));
    QPointer<SyncEngine> self(this);
    m_api->post(QStringLiteral("/sync/push"), QJsonObject{{QStringLiteral("changes"), changes}},
                [self, batch](bool ok, int status, const QJsonObject& body) {
                    if (self)
                        self->onPushAnswer(batch, ok, status, body);
                });
}

void SyncEngine::onPushAnswer(const QList<Note>& batch, bool ok, int status, const QJsonObject& body)
{
    if (!ok && status == 413) {
        if (batch.size() > 1) {
            // Too large for the server: try the halves, in order, before anything else.
            const qsizetype half = batch.size() / 2;
            m_pushQueue.prepend(batch.mid(half));
            m_pushQueue.prepend(batch.mid(0, half));
        } else {
            const Note& n = batch.first();
            qCWarning(lcSync) << "note too large for the server, left pending:" << n.id;
            noteLeftBehind(
                tr("Note \"%1\" is too large for the server and stays on this device only").arg(n.title().left(60)));
            m_pushDone += 1;
        }
        pushNextBatch();
        return;
    }
    if (!ok) {
        fail(QStringLiteral("Note push failed (HTTP %1)").arg(status), status);
        return;
    }
    if (!isPresent(body, "results", QJsonValue::Array)) {
        // Whatever the server did, nothing is marked: the notes stay pending and the next run asks
        // again, where a conflict answer then leads to the pull that settles it.
        fail(QStringLiteral("Note push failed (unreadable answer)"), status);
        return;
    }

    QHash<QString, int> sent;
    for (const Note& n : batch)
        sent.insert(n.id, n.version);
    const QJsonArray results = body.value(QLatin1String("results")).toArray();
    QJsonObject ledger = purgeLedger();
    bool ledgerChanged = false;
    // One transaction for the whole batch: a commit per note would stall the window for seconds.
    QSqlDatabase db = m_notes->database()->db();
    const bool inTransaction = db.transaction();
    for (const QJsonValue& v : results) {
        const QJsonObject r = v.toObject();
        const QString id = r.value(QLatin1String("entity_id")).toString();
        if (!sent.contains(id))
            continue;
        const QString resultStatus = r.value(QLatin1String("status")).toString();
        if (m_purgesSent.contains(id)) {
            // Taken: settled. Refused (someone edited the note meanwhile, or it is not ours to
            // delete): the note stands, and the pull brings it back here.
            if (resultStatus == QLatin1String("ok")) {
                ledger.insert(id, -1);
            } else {
                ledger.remove(id);
                // A pull may have passed the note by while the purge waited: fetch everything again.
                m_preferences->remove(QLatin1String(PrefKey::LastSyncTimestampMs));
            }
            ledgerChanged = true;
            continue;
        }
        if (resultStatus == QLatin1String("ok")) {
            const int serverVersion = versionFromJson(r.value(QLatin1String("version")), sent.value(id));
            m_notes->markPushed(id, sent.value(id), serverVersion);
            m_runChangedData = true;
        } else if (resultStatus == QLatin1String("conflict")) {
            qCWarning(lcSync).noquote() << "note conflict" << id << r.value(QLatin1String("message")).toString();
            m_conflicts.insert(id, versionFromJson(r.value(QLatin1String("version")), 0));
        }
    }
    if (ledgerChanged)
        setPurgeLedger(ledger);
    if (inTransaction && !db.commit()) {
        // Nothing was marked: the notes stay pending and the next push settles them as conflicts.
        qCWarning(lcSync) << "marking pushed notes failed";
        db.rollback();
    }
    m_pushDone += int(batch.size());
    reportProgress(tr("Uploading notes"), m_pushDone, m_pushTotal);
    pushNextBatch();
}

// ---- push attachments ----

void SyncEngine::pushAttachments()
{
    m_uploadQueue = m_attachments->pendingAttachments();
    m_uploadTotal = int(m_uploadQueue.size());
    m_uploadDone = 0;
    if (m_uploadTotal > 0)
        reportProgress(tr("Uploading attachments"), 0, m_uploadTotal);
    pushNextAttachment();
}

void SyncEngine::pushNextAttachment()
{
    if (m_uploadQueue.isEmpty()) {
        pullNotes();
        return;
    }
    uploadAttachment(m_uploadQueue.takeFirst(), false);
}

void SyncEngine::uploadAttachment(const Attachment& a, bool afterRefresh)
{
    const QString path = m_attachments->filePath(a.id);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcSync).noquote() << "attachment upload skipped, file missing:" << path;
        m_attachments->markSynced(a.id);
        ++m_uploadDone;
        reportProgress(tr("Uploading attachments"), m_uploadDone, m_uploadTotal);
        pushNextAttachment();
        return;
    }
    const QByteArray bytes = file.readAll();
    file.close();

    auto* multipart = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    QHttpPart notePart;
    notePart.setHeader(QNetworkRequest::ContentDispositionHeader, QStringLiteral("form-data; name=\"note_id\""));
    notePart.setBody(a.noteId.toUtf8());
    QHttpPart idPart;
    idPart.setHeader(QNetworkRequest::ContentDispositionHeader, QStringLiteral("form-data; name=\"id\""));
    idPart.setBody(a.id.toUtf8());
    QHttpPart filePart;
    filePart.setHeader(QNetworkRequest::ContentTypeHeader,
                       a.mimeType.isEmpty() ? QStringLiteral("application/octet-stream") : a.mimeType);
    QString filename = a.filename;
    filename.remove(QLatin1Char('"')).remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
    filePart.setHeader(QNetworkRequest::ContentDispositionHeader,
                       QStringLiteral("form-data; name=\"file\"; filename=\"%1\"").arg(filename));
    filePart.setBody(bytes);
    multipart->append(notePart);
    multipart->append(idPart);
    multipart->append(filePart);

    QPointer<SyncEngine> self(this);
    m_api->postMultipart(QStringLiteral("/attachments"), multipart,
                         [self, a, afterRefresh](bool ok, int status, const QJsonObject&) {
                             if (self)
                                 self->onUploadAnswer(a, afterRefresh, ok, status);
                         });
}

void SyncEngine::onUploadAnswer(const Attachment& a, bool afterRefresh, bool ok, int status)
{
    if (!ok && status == 401 && !afterRefresh) {
        // A multipart body cannot be replayed by the request layer; an ordinary request goes through
        // its refresh-and-retry, after which the upload is tried once more with the fresh token.
        QPointer<SyncEngine> self(this);
        m_api->get(QStringLiteral("/notebooks"), [self, a](bool ok, int status, const QJsonObject&) {
            if (!self)
                return;
            if (ok) {
                self->uploadAttachment(a, true);
            } else {
                self->onUploadAnswer(a, true, false, status == 0 ? 0 : 401);
            }
        });
        return;
    }

    ++m_uploadDone;
    reportProgress(tr("Uploading attachments"), m_uploadDone, m_uploadTotal);
    const QString name = a.filename.isEmpty() ? a.id : a.filename;
    if (ok) {
        m_attachments->markSynced(a.id);
        m_runChangedData = true;
    } else if (status == 413) {
        qCWarning(lcSync) << "attachment upload failed" << a.id << status;
        noteLeftBehind(tr("Attachment \"%1\" is too large for the server and stays on this device only").arg(name));
    } else if (status == 404 && noteStillPending(a.noteId)) {
        // Its note has not reached the server yet (it was refused or is still queued): try again later.
        qCWarning(lcSync) << "attachment upload failed" << a.id << status;
        noteLeftBehind(tr("Attachment \"%1\" waits for its note to upload").arg(name));
    } else if (status >= 400 && status <= 499 && status != 401 && status != 408 && status != 429) {
        qCWarning(lcSync) << "attachment upload failed, marking synced to stop retry" << a.id << status;
        m_attachments->markSynced(a.id);
    } else {
        qCWarning(lcSync) << "attachment upload failed" << a.id << status;
        noteLeftBehind(tr("Attachment \"%1\" waits to upload (HTTP %2)").arg(name).arg(status));
    }
    pushNextAttachment();
}

bool SyncEngine::noteStillPending(const QString& noteId) const
{
    const auto note = m_notes->noteById(noteId);
    return note && note->syncStatus == SyncStatus::Pending;
}

// ---- pull notes ----

void SyncEngine::pullNotes()
{
    reportProgress(tr("Downloading notes"), 0, 0);
    QUrlQuery query;
    const auto cursor = m_preferences->value(QLatin1String(PrefKey::LastSyncTimestampMs));
    m_pullSince = cursor.value_or(QString());
    if (!m_pullSince.isEmpty())
        query.addQueryItem(QStringLiteral("since"), m_pullSince);
    QPointer<SyncEngine> self(this);
    // Fetched as bytes: a pull of a whole library is megabytes of JSON, and building it as one
    // document would hold the window for longer than a frame. The answer is cut into its changes
    // here and each slice parses only its own.
    m_api->getBinary(
        QStringLiteral("/sync/pull"),
        [self](bool ok, int status, const QByteArray& bytes) {
            if (!self)
                return;
            if (!ok) {
                self->fail(QStringLiteral("Pull failed (HTTP %1)").arg(status), status);
                return;
            }
            auto envelope = splitPullAnswer(bytes);
            if (!envelope) {
                self->fail(QStringLiteral("Pull failed (unreadable answer)"), status);
                return;
            }
            self->m_pull = PullRun{};
            self->m_pull.bytes = bytes;
            self->m_pull.ranges = std::move(envelope->changes);
            self->m_pull.timestamp = envelope->timestamp;
            self->applyPullSlice();
        },
        query);
}

void SyncEngine::applyPullSlice()
{
    const int total = int(m_pull.ranges.size());
    QElapsedTimer budget;
    budget.start();
    QSqlDatabase db = m_notes->database()->db();
    const bool inTransaction = db.transaction();
    QStringList sliceWritten;
    QStringList sliceKept;
    bool sliceStored = true;
    QList<Note> toStore;
    const int sliceStart = m_pull.next;
    {
        const QSignalBlocker block(m_notes);
        const int sliceEnd = qMin(total, sliceStart + m_pull.sliceRows);
        while (m_pull.next < sliceEnd) {
            // Parse a chunk, look its notes up in one query, decide.
            QList<Note> remotes;
            QHash<QString, qsizetype> position;
            const int end = qMin(sliceEnd, m_pull.next + kPullChunk);
            for (; m_pull.next < end; ++m_pull.next) {
                const auto [offset, length] = m_pull.ranges.at(m_pull.next);
                QJsonParseError error;
                const QJsonDocument doc =
                    QJsonDocument::fromJson(QByteArray::fromRawData(m_pull.bytes.constData() + offset, length), &error);
                const auto remote = doc.isObject() ? noteFromJson(doc.object()) : std::nullopt;
                if (!remote) {
                    qCWarning(lcSync) << "pulled change without a note id skipped";
                    if (error.error != QJsonParseError::NoError)
                        sliceStored = false; // garbled on the way: ask again next time
                    continue;
                }
                // The same note twice: the later state wins.
                if (position.contains(remote->id)) {
                    remotes[position.value(remote->id)] = *remote;
                } else {
                    position.insert(remote->id, remotes.size());
                    remotes.append(*remote);
                }
            }
            const QHash<QString, Note> locals = m_notes->notesByIds(position.keys());
            const QJsonObject purges = purgeLedger();
            QList<Note> chunkStore;
            for (const Note& remote : std::as_const(remotes)) {
                const auto found = locals.constFind(remote.id);
                const std::optional<Note> local =
                    found == locals.cend() ? std::nullopt : std::optional<Note>(found.value());
                PullDecision decision = decidePull(local, remote);
                // Purged here (perhaps between two slices) and not yet told to the server: the purge stands.
                if (decision.action == PullAction::Insert && versionFromJson(purges.value(remote.id), -1) > 0)
                    continue;
                if (decision.action == PullAction::Overwrite && decision.keepLocalBody) {
                    // Without a place to keep it the local edit stays; it is pushed again later.
                    if (m_snapshots && m_snapshots->insertKept(local->id, local->body)) {
                        sliceKept.append(local->id);
                    } else {
                        decision.action = PullAction::Keep;
                        sliceStored = false;
                    }
                }
                if (decision.action == PullAction::Insert || decision.action == PullAction::Overwrite) {
                    chunkStore.append(mergedForStore(local, remote));
                } else if (decision.action == PullAction::Rebase) {
                    Note mine = *local;
                    mine.opVersion = remote.version;
                    chunkStore.append(mine);
                    m_resyncRequested = true; // send it again at once
                } else if (decision.action == PullAction::Purge) {
                    m_pull.purged.append(remote.id);
                } else if (isPurgeTombstone(remote) && decision.action == PullAction::Nothing) {
                    m_pull.gone.append(remote.id);
                }
            }
            // Stored once per slice below: the full-text index writes out once per statement.
            toStore += chunkStore;
        }
        if (!toStore.isEmpty()) {
            const QStringList written = m_notes->storeNotes(toStore);
            if (written.size() != toStore.size()) {
                sliceStored = false;
                qCWarning(lcSync) << "pulled notes not stored:" << toStore.size() - written.size();
            }
            sliceWritten += written;
        }
    }
    if (inTransaction && !db.commit()) {
        qCWarning(lcSync) << "pull commit failed";
        db.rollback();
        sliceStored = false;
        sliceWritten.clear();
        sliceKept.clear();
    }
    // The next slice is sized by how long this one took, so each stays near the budget whatever the
    // machine and the notes are like.
    const qint64 took = qMax<qint64>(1, budget.elapsed());
    m_pull.sliceRows = int(qBound<qint64>(16, qint64(m_pull.next - sliceStart) * kSliceBudgetMs / took, qint64(4096)));
    m_pull.allStored = m_pull.allStored && sliceStored;
    m_pull.written += sliceWritten;
    m_pull.kept += sliceKept;

    if (m_pull.next < total) {
        // The window paints and takes input between slices; a local edit made meanwhile is read
        // fresh by the next slice like any other.
        reportProgress(tr("Downloading notes"), m_pull.next, total);
        QTimer::singleShot(0, this, &SyncEngine::applyPullSlice);
        return;
    }
    finishPull();
}

void SyncEngine::finishPull()
{
    // Purges run with the repository's signals on, so the attachments and open windows follow.
    QStringList purged;
    m_applying = true;
    for (const QString& id : std::as_const(m_pull.purged)) {
        if (m_notes->purge(id))
            purged.append(id);
        else
            m_pull.allStored = false;
    }
    m_applying = false;
    if (!purged.isEmpty() || !m_pull.gone.isEmpty()) {
        QJsonObject ledger = purgeLedger();
        for (const QString& id : purged + m_pull.gone)
            ledger.insert(id, -1);
        setPurgeLedger(ledger);
        m_runChangedData = m_runChangedData || !purged.isEmpty();
    }

    bool allStored = m_pull.allStored;
    const QStringList written = m_pull.written;
    const QStringList kept = m_pull.kept;
    const qint64 timestamp = m_pull.timestamp;
    m_pull = PullRun{};

    // A conflict the pull did not settle: either the server lost versions this device has seen (then
    // the next push goes against what it holds now), or the change lies before the cursor (then the
    // next pull starts from the beginning).
    for (auto it = m_conflicts.cbegin(); it != m_conflicts.cend(); ++it) {
        const QString& id = it.key();
        if (written.contains(id))
            continue;
        auto note = m_notes->noteById(id);
        if (!note || note->syncStatus != SyncStatus::Pending)
            continue;
        const int serverVersion = it.value();
        if (serverVersion < note->opVersion) {
            note->opVersion = serverVersion;
            const QSignalBlocker block(m_notes);
            m_notes->update(*note);
        } else if (serverVersion > note->opVersion) {
            qCWarning(lcSync) << "conflict not settled by the pull, next pull starts over:" << id;
            allStored = false;
            m_preferences->remove(QLatin1String(PrefKey::LastSyncTimestampMs));
            // At once, unless this already was a pull from the start (then the next timer tries).
            if (!m_pullSince.isEmpty())
                m_resyncRequested = true;
        }
    }

    // A full resync asked for meanwhile removed the cursor; this pull's must not bring it back.
    const bool cursorUntouched =
        m_preferences->value(QLatin1String(PrefKey::LastSyncTimestampMs)).value_or(QString()) == m_pullSince;
    if (allStored && timestamp > 0 && cursorUntouched)
        m_preferences->setValue(QLatin1String(PrefKey::LastSyncTimestampMs), QString::number(timestamp));
    else if (!allStored)
        qCWarning(lcSync) << "pull cursor kept: not every change was stored";

    if (!written.isEmpty()) {
        m_runChangedData = true;
        // One announcement for the whole pull: views refresh once, not once per note or slice.
        m_applying = true;
        emit m_notes->notesChanged();
        m_applying = false;
        emit notesReplaced(written);
    }
    if (!kept.isEmpty())
        emit localEditsKept(kept);
    pullNotebooks();
}

// ---- pull notebooks ----

void SyncEngine::pullNotebooks()
{
    reportProgress(tr("Downloading notebooks"), 0, 0);
    QPointer<SyncEngine> self(this);
    m_api->get(QStringLiteral("/notebooks"), [self](bool ok, int status, const QJsonObject& body) {
        if (!self)
            return;
        if (!ok) {
            self->fail(QStringLiteral("Notebook list failed (HTTP %1)").arg(status), status);
            return;
        }
        if (!isPresent(body, "notebooks", QJsonValue::Array)) {
            self->fail(QStringLiteral("Notebook list failed (unreadable answer)"), status);
            return;
        }
        self->applyNotebooks(body.value(QLatin1String("notebooks")).toArray());
        self->pullAttachmentList();
    });
}

void SyncEngine::applyNotebooks(const QJsonArray& list)
{
    bool wrote = false;
    QSet<QString> listed;
    QSqlDatabase db = m_notes->database()->db();
    const bool inTransaction = db.transaction();
    {
        const QSignalBlocker block(m_notebooks);
        for (const QJsonValue& v : list) {
            const auto remote = v.isObject() ? notebookFromJson(v.toObject()) : std::nullopt;
            if (!remote)
                continue;
            listed.insert(remote->id);
            const auto local = m_notebooks->notebookById(remote->id);
            if (!local) {
                wrote |= m_notebooks->insert(*remote);
            } else if (local->syncStatus == SyncStatus::Synced) {
                const bool same = local->name == remote->name && local->version == remote->version &&
                                  local->isShared == remote->isShared && local->isDefault == remote->isDefault &&
                                  !local->deletedAt && local->ownerId.isEmpty() &&
                                  local->updatedAt.toMSecsSinceEpoch() == remote->updatedAt.toMSecsSinceEpoch();
                if (!same)
                    wrote |= m_notebooks->update(*remote);
            }
        }
        // A notebook this device had in step with the server and the server no longer lists was
        // deleted elsewhere. Pending ones (created or renamed here) stay.
        for (const Notebook& nb : m_notebooks->allNotebooks()) {
            if (nb.syncStatus == SyncStatus::Synced && !listed.contains(nb.id)) {
                Notebook gone = nb;
                gone.deletedAt = Clock::nowUtc();
                wrote |= m_notebooks->update(gone);
            }
        }
    }
    if (inTransaction && !db.commit()) {
        db.rollback();
        wrote = false;
    }
    if (wrote) {
        m_runChangedData = true;
        emit m_notebooks->notebooksChanged();
    }
}

// ---- attachments ----

void SyncEngine::pullAttachmentList()
{
    reportProgress(tr("Checking attachments"), 0, 0);
    QUrlQuery query;
    const auto cursor = m_preferences->value(QLatin1String(PrefKey::LastAttachmentSyncMs));
    if (cursor && !cursor->isEmpty())
        query.addQueryItem(QStringLiteral("since"), *cursor);
    QPointer<SyncEngine> self(this);
    m_api->get(
        QStringLiteral("/attachments"),
        [self](bool ok, int status, const QJsonObject& body) {
            if (!self)
                return;
            if (!ok || !isPresent(body, "attachments", QJsonValue::Array)) {
                qCWarning(lcSync) << "attachment list failed" << status;
                self->noteLeftBehind(tr("Attachments could not be checked (HTTP %1)").arg(status));
                self->finish();
                return;
            }
            self->m_downloadQueue.clear();
            const QJsonObject purges = self->purgeLedger();
            const QJsonArray list = body.value(QLatin1String("attachments")).toArray();
            const int total = int(list.size());
            for (int i = 0; i < total; ++i) {
                const auto a = list.at(i).isObject() ? attachmentFromJson(list.at(i).toObject()) : std::nullopt;
                if (a) {
                    const bool have = self->m_attachments->attachmentById(a->id).has_value() &&
                                      QFileInfo::exists(self->m_attachments->filePath(a->id));
                    if (!have && self->m_notes->noteById(a->noteId)) {
                        self->m_downloadQueue.append(*a);
                    } else if (!have && !purges.contains(a->noteId)) {
                        // Its note has not arrived (yet): keep the cursor so the list brings it again.
                        // The files of notes deleted for good are not fetched at all.
                        qCWarning(lcSync) << "attachment of an unknown note skipped" << a->id;
                        self->m_downloadFailed = true;
                    }
                }
                if (self->progressDue()) {
                    self->reportProgress(tr("Checking attachments"), i + 1, total);
                    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
                    if (!self)
                        return;
                }
            }
            self->m_pendingAttachmentCursor = integerFromJson(body.value(QLatin1String("timestamp")), 0);
            self->m_downloadTotal = int(self->m_downloadQueue.size());
            self->m_downloadDone = 0;
            if (self->m_downloadTotal > 0)
                self->reportProgress(tr("Downloading attachments"), 0, self->m_downloadTotal);
            self->downloadNextAttachment();
        },
        query);
}

void SyncEngine::downloadNextAttachment()
{
    if (m_downloadQueue.isEmpty()) {
        // The cursor moves only when every file arrived, so a failed one is listed again next time.
        if (!m_downloadFailed && m_pendingAttachmentCursor > 0)
            m_preferences->setValue(QLatin1String(PrefKey::LastAttachmentSyncMs),
                                    QString::number(m_pendingAttachmentCursor));
        if (m_downloadedAny) {
            emit attachmentsChanged();
            m_runChangedData = true;
        }
        finish();
        return;
    }
    const Attachment a = m_downloadQueue.takeFirst();
    QPointer<SyncEngine> self(this);
    m_api->getBinary(
        QStringLiteral("/attachments/%1").arg(a.id), [self, a](bool ok, int status, const QByteArray& data) {
            if (!self)
                return;
            ++self->m_downloadDone;
            self->reportProgress(tr("Downloading attachments"), self->m_downloadDone, self->m_downloadTotal);
            if (ok && !data.isEmpty()) {
                if (!self->m_notes->noteById(a.noteId)) {
                    // Its note is not here (yet); the row could not refer to it.
                    qCWarning(lcSync) << "attachment of an unknown note skipped" << a.id;
                    self->m_downloadFailed = true;
                } else if (self->m_attachments->saveFile(a.id, data)) {
                    if (!self->m_attachments->attachmentById(a.id)) {
                        Attachment row = a;
                        row.sizeBytes = data.size();
                        if (!self->m_attachments->insert(row))
                            self->m_downloadFailed = true;
                    }
                    self->m_downloadedAny = true;
                } else {
                    qCWarning(lcSync) << "attachment save failed" << a.id;
                    self->m_downloadFailed = true;
                }
            } else {
                qCWarning(lcSync) << "attachment download failed" << a.id << status;
                self->m_downloadFailed = true;
                self->noteLeftBehind(tr("Attachment \"%1\" waits to download (HTTP %2)")
                                         .arg(a.filename.isEmpty() ? a.id : a.filename)
                                         .arg(status));
            }
            self->downloadNextAttachment();
        });
}

// ---- finish ----

void SyncEngine::finish()
{
    const bool notesPending = !m_notes->pendingNotes().isEmpty();
    const bool attachmentsPending = !m_attachments->pendingAttachments().isEmpty();
    m_lastError.clear();
    m_offlineFailure = false;
    if (m_leftBehind != m_runLeftBehind) {
        m_leftBehind = m_runLeftBehind;
        emit leftBehindChanged();
    }
    setState(notesPending || attachmentsPending ? Pending : Idle);
    emit syncCompleted();
    if (m_runChangedData)
        emit dataChanged();
    if (m_resyncRequested) {
        m_resyncRequested = false;
        beginRun();
    }
}
