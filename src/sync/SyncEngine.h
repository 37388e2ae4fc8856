#pragma once

#include "Records.h"

#include <QElapsedTimer>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QSet>
#include <QStringList>

class AttachmentRepository;
class NoteRepository;
class NotebookRepository;
class PreferencesRepository;
class SnapshotRepository;
class QTimer;

namespace NorvAccount {
class ApiClient;
}

// Keeps the local library in step with the user's copy on the notes service. A run is a fixed chain
// of asynchronous phases (push notebooks, notes, attachments; pull notes, notebooks, the attachment
// list; download files; finish), each started from the completion of the one before, so a run never
// has two requests out at once. Runs come from the periodic timer, the debounce after local edits and
// explicit commands; a request during a run asks for one more run afterwards.
//
// Nothing a user wrote is lost on the way: a pending local body that a pulled change replaces is kept
// in the note's history first, and the pull cursors never move past a change that was not stored.
class SyncEngine : public QObject
{
    Q_OBJECT
public:
    enum SyncState
    {
        Idle = 0,
        Pending = 1,
        Syncing = 2,
        Error = 3,
        Offline = 4,
    };
    Q_ENUM(SyncState)

    static constexpr int kDebounceMs = 2000;
    static constexpr int kDefaultIntervalMs = 300000;
    // Push batches stay well below any sensible request limit; a 413 halves them further.
    static constexpr int kMaxBatchNotes = 200;
    static constexpr qint64 kMaxBatchBytes = 4 * 1024 * 1024;
    // While a pulled batch is stored, the window gets to paint at least this often.
    static constexpr int kProgressIntervalMs = 50;
    // A pull is stored in slices of about this long, each its own transaction, with the event loop
    // running between them; within a slice, notes are looked up in chunks of this many.
    static constexpr int kSliceBudgetMs = 30;
    static constexpr int kPullChunk = 128;

    SyncEngine(NorvAccount::ApiClient* api, NoteRepository* notes, NotebookRepository* notebooks,
               AttachmentRepository* attachments, PreferencesRepository* preferences, QObject* parent = nullptr);

    // Where replaced local bodies are kept. Without it a pending local note is never overwritten by a
    // pull (it stays pending until a later run can keep it).
    void setSnapshots(SnapshotRepository* snapshots) { m_snapshots = snapshots; }
    // Batch limits, for tests and the benchmark.
    void setBatchLimits(int maxNotes, qint64 maxBytes);

    void start(int intervalMs);
    void stop();
    // A new period for the running timer (the settings changed); a stopped timer stays stopped.
    void setInterval(int intervalMs);
    bool isTimerActive() const;
    int timerInterval() const;

    // Returns the number of notes marked pending.
    int fullResync();

    SyncState state() const { return m_state; }
    QString lastError() const { return m_lastError; }
    // Items the last run went past (a notebook, an attachment, a note too large to send), one line
    // each, for the sync tooltip. Empty when nothing was left behind.
    QStringList leftBehind() const { return m_leftBehind; }
    // The last stopping failure had no answer at all (no network), as opposed to a server refusal.
    bool lastFailureWasOffline() const { return m_offlineFailure; }
    static QString stateText(SyncState state);

public slots:
    void syncNow();
    void scheduleSync();

signals:
    void stateChanged(SyncEngine::SyncState state);
    void syncCompleted();
    void syncFailed(const QString& error);
    void dataChanged();
    void syncProgress(const QString& label, int current, int total);
    void attachmentsChanged();
    // A pull replaced pending local bodies of these notes; each was kept in its note's history first.
    void localEditsKept(const QStringList& noteIds);
    // A pull wrote these notes (open editors reload them).
    void notesReplaced(const QStringList& noteIds);
    // leftBehind() changed.
    void leftBehindChanged();

private:
    void setState(SyncState state);
    void beginRun();
    void fail(const QString& error, int status);
    void noteLeftBehind(const QString& line);

    void pushNotebooks();
    void pushNextNotebook();
    void markNotebookSynced(const QString& id, int version);

    // Purges of notes the server holds, kept until the server took them, and purges already settled
    // (so their attachments are not fetched again): note id -> base version still to send, or -1.
    QJsonObject purgeLedger() const;
    void setPurgeLedger(const QJsonObject& ledger);
    void recordPurge(const QString& noteId, int serverVersion);

    void pushNotes();
    void pushNextBatch();
    void onPushAnswer(const QList<Note>& batch, bool ok, int status, const QJsonObject& body);

    void pushAttachments();
    void pushNextAttachment();
    void uploadAttachment(const Attachment& attachment, bool afterRefresh);
    void onUploadAnswer(const Attachment& attachment, bool afterRefresh, bool ok, int status);

    bool noteStillPending(const QString& noteId) const;
    void pullNotes();
    void applyPullSlice();
    void finishPull();
    void pullNotebooks();
    void applyNotebooks(const QJsonArray& list);
    void pullAttachmentList();
    void downloadNextAttachment();
    void finish();

    void reportProgress(const QString& label, int current, int total);
    bool progressDue();

    NorvAccount::ApiClient* m_api;
    NoteRepository* m_notes;
    NotebookRepository* m_notebooks;
    AttachmentRepository* m_attachments;
    PreferencesRepository* m_preferences;
    SnapshotRepository* m_snapshots = nullptr;
    QTimer* m_periodicTimer;
    QTimer* m_debounceTimer;
    SyncState m_state = Idle;
    QString m_lastError;
    QList<Notebook> m_notebookQueue;
    QList<Attachment> m_downloadQueue;
    QList<Attachment> m_uploadQueue;
    int m_uploadTotal = 0;
    int m_uploadDone = 0;
    int m_downloadTotal = 0;
    int m_downloadDone = 0;
    bool m_downloadedAny = false;
    bool m_resyncRequested = false;
    bool m_runChangedData = false;

    // Pending push batches of this run; a batch answered 413 comes back as two halves.
    QList<QList<Note>> m_pushQueue;
    int m_pushTotal = 0;
    int m_pushDone = 0;
    // Notes the server answered "conflict" this run, settled (or not) by the pull that follows.
    // id -> the version the server holds, as its answer said.
    QHash<QString, int> m_conflicts;
    // Purge announcements in the push of this run.
    QSet<QString> m_purgesSent;
    int m_maxBatchNotes = kMaxBatchNotes;
    qint64 m_maxBatchBytes = kMaxBatchBytes;
    // A failed download keeps the attachment cursor where it was, so the next list brings it again.
    bool m_downloadFailed = false;
    qint64 m_pendingAttachmentCursor = 0;
    bool m_applying = false;
    bool m_offlineFailure = false;
    QStringList m_leftBehind;
    QStringList m_runLeftBehind;
    QElapsedTimer m_progressClock;

    // The pull being stored, slice by slice.
    struct PullRun
    {
        QByteArray bytes;
        QList<std::pair<qsizetype, qsizetype>> ranges;
        qint64 timestamp = 0;
        int next = 0;
        int sliceRows = kPullChunk;
        bool allStored = true;
        QStringList written;
        QStringList kept;
        QStringList purged; // deleted for good elsewhere, to purge here
        QStringList gone;   // deleted for good elsewhere, never here
    };
    PullRun m_pull;
    QString m_pullSince;
};
