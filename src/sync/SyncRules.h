#pragma once

#include "Records.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <optional>

// The decisions of a sync run that need no network: how a pulled note meets the local one, how the
// notes-service JSON maps to records, and how pending notes are cut into push batches. Everything
// read from the server is untrusted: a missing or mistyped field takes its default, never asserts.
namespace SyncRules {

// What a pulled note does to the local database.
enum class PullAction
{
    Nothing,   // the local row already says the same: no write, no announcement
    Insert,    // no local note yet
    Overwrite, // the remote copy replaces the local row
    Keep,      // the local copy is newer than the remote one: leave it
    Purge,     // the note was deleted for good on another device: delete it here too
    Rebase,    // deleted for good elsewhere, but edited here since: keep it and send it again over the
               // deletion (its base becomes the remote version), so the edit survives everywhere
};

struct PullDecision
{
    PullAction action = PullAction::Nothing;
    // Before overwriting, the local body goes into the note's history: it holds an edit made here that
    // the server never took.
    bool keepLocalBody = false;
};

// local: the stored note with that id, if any. remote: the note built from the pull (Synced, its op
// version = its version). A pending local note that the server has moved past since this device last
// saw it (its op version) gives way to the remote copy, keeping its own body in history; without a
// known base the remote copy wins when its version is at least the local one.
PullDecision decidePull(const std::optional<Note>& local, const Note& remote);

// The service has no deletion for good. A purge travels as a note in the trash whose body is the
// empty Delta "[]", which no editor ever writes (a document always ends with a line break); the
// server keeps it in place of the text.
inline const QString kPurgedBody = QStringLiteral("[]");
bool isPurgeTombstone(const Note& remote);
// The change that announces a purge: the note at baseVersion + 1 over baseVersion, in the trash,
// with the empty body.
Note purgeTombstone(const QString& id, int baseVersion, const QDateTime& now);

// The remote note as it will be stored over `local`: fields the service does not carry stay local.
Note mergedForStore(const std::optional<Note>& local, const Note& remote);

// Same content, version and sync marks: writing the remote copy would change nothing.
bool sameStoredNote(const Note& a, const Note& b);

// A date-time of the service: integer milliseconds, or (when textAllowed) ISO 8601 text. Anything
// else gives an invalid date-time.
QDateTime dateFromJson(const QJsonValue& value, bool textAllowed = true);
// A 32-bit version; a missing or mistyped value gives fallback.
int versionFromJson(const QJsonValue& value, int fallback);
// A 64-bit integer (cursors, sizes); anything else gives fallback.
qint64 integerFromJson(const QJsonValue& value, qint64 fallback = 0);

// Notes of a pull. Absent for an object without an id.
std::optional<Note> noteFromJson(const QJsonObject& object);
// Notebooks of the list; integers only for dates.
std::optional<Notebook> notebookFromJson(const QJsonObject& object);
// Attachments of the list. Absent without an id or note id, or with an id that could leave the
// attachments folder as a file name.
std::optional<Attachment> attachmentFromJson(const QJsonObject& object);
// An id that is safe as a file name and a URL path segment.
bool isSafeId(const QString& id);

// A pull answer cut into its parts without building the whole document at once: the byte range of
// each element of "changes" (each parsed later, a slice at a time) and "timestamp". Absent when the
// text is no JSON object or has no "changes" array (a truncated answer, for one).
struct PullEnvelope
{
    QList<std::pair<qsizetype, qsizetype>> changes; // offset, length
    qint64 timestamp = 0;
};
std::optional<PullEnvelope> splitPullAnswer(const QByteArray& json);

// One element of "changes" of a push. base_version (the server version this device last saw) is
// sent when it is known, so the server can refuse a change made on an older copy.
QJsonObject pushChange(const Note& note);
// Rough size of a change on the wire, for batching.
qint64 pushChangeBytes(const Note& note);

// Splits items of the given sizes into consecutive batches of at most maxCount items and, where
// possible, maxBytes bytes. An item larger than maxBytes travels alone. Each batch is given as the
// indexes of its items.
QList<QList<int>> splitBatches(const QList<qint64>& sizes, int maxCount, qint64 maxBytes);

} // namespace SyncRules
