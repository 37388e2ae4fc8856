#include "SyncRules.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QRegularExpression>
#include <cctype>
#include <cmath>
#include <limits>

namespace SyncRules {

namespace {

QString textOf(const QJsonValue& v)
{
    return v.isString() ? v.toString() : QString();
}

bool sameInstant(const QDateTime& a, const QDateTime& b)
{
    if (!a.isValid() || !b.isValid())
        return a.isValid() == b.isValid();
    return a.toMSecsSinceEpoch() == b.toMSecsSinceEpoch();
}

bool sameOptionalInstant(const std::optional<QDateTime>& a, const std::optional<QDateTime>& b)
{
    if (a.has_value() != b.has_value())
        return false;
    return !a || sameInstant(*a, *b);
}

bool sameContent(const Note& a, const Note& b)
{
    return a.body == b.body && a.notebookId == b.notebookId && sameOptionalInstant(a.deletedAt, b.deletedAt);
}

qint64 msOf(const QDateTime& t)
{
    return t.isValid() ? t.toMSecsSinceEpoch() : 0;
}

} // namespace

bool sameStoredNote(const Note& a, const Note& b)
{
    return sameContent(a, b) && sameInstant(a.createdAt, b.createdAt) && sameInstant(a.updatedAt, b.updatedAt) &&
           sameInstant(a.modifiedAt, b.modifiedAt) && a.version == b.version && a.opVersion == b.opVersion &&
           a.syncStatus == b.syncStatus && a.isSample == b.isSample && a.ownerId == b.ownerId &&
           a.isShared == b.isShared && a.permission == b.permission;
}

bool isPurgeTombstone(const Note& remote)
{
    return remote.deletedAt.has_value() && remote.body.trimmed() == kPurgedBody;
}

Note purgeTombstone(const QString& id, int baseVersion, const QDateTime& now)
{
    Note n;
    n.id = id;
    n.body = kPurgedBody;
    n.createdAt = n.updatedAt = n.modifiedAt = now;
    n.deletedAt = now;
    n.version = baseVersion + 1;
    n.opVersion = baseVersion;
    n.syncStatus = SyncStatus::Pending;
    return n;
}

PullDecision decidePull(const std::optional<Note>& local, const Note& remote)
{
    if (isPurgeTombstone(remote)) {
        if (!local)
            return {PullAction::Nothing, false};
        if (local->opVersion > 0 && remote.version < local->opVersion)
            return {PullAction::Keep, false}; // this device has seen the note after that deletion
        // An edit made here since the last sync outweighs a deletion made elsewhere; a note this
        // device also put in the trash goes.
        const bool editedHere = local->syncStatus == SyncStatus::Pending && !local->deletedAt &&
                                (local->opVersion == 0 || local->version > local->opVersion);
        return {editedHere ? PullAction::Rebase : PullAction::Purge, false};
    }
    if (!local)
        return {PullAction::Insert, false};
    const Note merged = mergedForStore(local, remote);
    if (sameStoredNote(*local, merged))
        return {PullAction::Nothing, false};

    if (local->syncStatus != SyncStatus::Pending) {
        if (remote.version >= local->version)
            return {PullAction::Overwrite, false};
        return {PullAction::Keep, false};
    }

    // Pending here. With a known base the question is whether the server moved past what this device
    // last saw; without one, the plain version comparison decides.
    const bool knownBase = local->opVersion > 0;
    const bool remoteWins = knownBase ? remote.version > local->opVersion : remote.version >= local->version;
    if (!remoteWins) {
        // The server already holds exactly this content (a push whose answer got lost): settle.
        if (sameContent(*local, remote) && remote.version >= local->version)
            return {PullAction::Overwrite, false};
        return {PullAction::Keep, false};
    }
    // Only a body edited here is worth keeping; a note made pending by a full resync (version equal
    // to its base) holds nothing new.
    const bool editedHere = !knownBase || local->version > local->opVersion;
    const bool keep = editedHere && local->body != remote.body && !local->body.trimmed().isEmpty();
    return {PullAction::Overwrite, keep};
}

Note mergedForStore(const std::optional<Note>& local, const Note& remote)
{
    Note n = remote;
    n.syncStatus = SyncStatus::Synced;
    n.opVersion = remote.version;
    if (local) {
        // The service knows nothing of the sample mark; a missing creation time keeps ours.
        n.isSample = local->isSample;
        if (!n.createdAt.isValid())
            n.createdAt = local->createdAt;
    }
    return n;
}

QDateTime dateFromJson(const QJsonValue& value, bool textAllowed)
{
    if (value.isDouble()) {
        const double d = value.toDouble();
        // Beyond this the value is no plausible date; QDateTime would accept it and print nonsense.
        if (!std::isfinite(d) || std::fabs(d) > 8.0e15)
            return {};
        return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(d), Qt::UTC);
    }
    if (textAllowed && value.isString()) {
        const QString text = value.toString();
        if (text.isEmpty())
            return {};
        QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs);
        return t.isValid() ? t.toUTC() : QDateTime();
    }
    return {};
}

int versionFromJson(const QJsonValue& value, int fallback)
{
    if (!value.isDouble())
        return fallback;
    const double d = value.toDouble();
    if (!std::isfinite(d) || d < std::numeric_limits<int>::min() || d > std::numeric_limits<int>::max())
        return fallback;
    return static_cast<int>(d);
}

qint64 integerFromJson(const QJsonValue& value, qint64 fallback)
{
    if (value.isDouble()) {
        const double d = value.toDouble();
        if (!std::isfinite(d) || std::fabs(d) > 9.0e15)
            return fallback;
        return static_cast<qint64>(d);
    }
    if (value.isString()) {
        bool ok = false;
        const qint64 v = value.toString().toLongLong(&ok);
        return ok ? v : fallback;
    }
    return fallback;
}

bool isSafeId(const QString& id)
{
    static const QRegularExpression re(QStringLiteral("^[A-Za-z0-9_-]{1,128}$"));
    return re.match(id).hasMatch();
}

std::optional<Note> noteFromJson(const QJsonObject& o)
{
    Note n;
    n.id = textOf(o.value(QLatin1String("id")));
    if (n.id.isEmpty())
        return std::nullopt;
    n.notebookId = textOf(o.value(QLatin1String("notebook_id")));
    n.body = textOf(o.value(QLatin1String("body")));
    n.version = versionFromJson(o.value(QLatin1String("version")), 0);
    n.opVersion = n.version;
    n.createdAt = dateFromJson(o.value(QLatin1String("created_at")));
    n.updatedAt = dateFromJson(o.value(QLatin1String("updated_at")));
    n.modifiedAt = dateFromJson(o.value(QLatin1String("modified_at")));
    if (!n.updatedAt.isValid())
        n.updatedAt = n.createdAt;
    if (!n.modifiedAt.isValid())
        n.modifiedAt = n.updatedAt;
    const QJsonValue deleted = o.value(QLatin1String("deleted_at"));
    if (!deleted.isUndefined() && !deleted.isNull()) {
        QDateTime t = dateFromJson(deleted);
        // A deletion mark we cannot read still means "in the trash".
        n.deletedAt = t.isValid() ? t : n.modifiedAt;
    }
    n.ownerId = textOf(o.value(QLatin1String("owner_id")));
    n.isShared = o.value(QLatin1String("is_shared")).toBool(false);
    n.permission = textOf(o.value(QLatin1String("permission")));
    n.syncStatus = SyncStatus::Synced;
    return n;
}

std::optional<Notebook> notebookFromJson(const QJsonObject& o)
{
    Notebook nb;
    nb.id = textOf(o.value(QLatin1String("id")));
    if (nb.id.isEmpty())
        return std::nullopt;
    nb.name = textOf(o.value(QLatin1String("name")));
    nb.isDefault = o.value(QLatin1String("is_default")).toBool(false);
    nb.isShared = o.value(QLatin1String("is_shared")).toBool(false);
    nb.version = versionFromJson(o.value(QLatin1String("version")), 1);
    nb.createdAt = dateFromJson(o.value(QLatin1String("created_at")), false);
    nb.updatedAt = dateFromJson(o.value(QLatin1String("updated_at")), false);
    if (!nb.createdAt.isValid())
        nb.createdAt = QDateTime::fromMSecsSinceEpoch(0, Qt::UTC);
    if (!nb.updatedAt.isValid())
        nb.updatedAt = nb.createdAt;
    nb.syncStatus = SyncStatus::Synced;
    return nb;
}

std::optional<Attachment> attachmentFromJson(const QJsonObject& o)
{
    Attachment a;
    a.id = textOf(o.value(QLatin1String("id")));
    a.noteId = textOf(o.value(QLatin1String("note_id")));
    if (!isSafeId(a.id) || a.noteId.isEmpty())
        return std::nullopt;
    a.filename = textOf(o.value(QLatin1String("filename")));
    a.mimeType = textOf(o.value(QLatin1String("mime_type")));
    a.sizeBytes = qMax<qint64>(0, integerFromJson(o.value(QLatin1String("size_bytes")), 0));
    a.createdAt = dateFromJson(o.value(QLatin1String("created_at")));
    if (!a.createdAt.isValid())
        a.createdAt = QDateTime::fromMSecsSinceEpoch(0, Qt::UTC);
    a.syncStatus = SyncStatus::Synced;
    return a;
}

namespace {

// A small JSON reader that only finds where values begin and end; the values themselves are left to
// QJsonDocument. Every step checks the end of the input.
struct Scanner
{
    const char* data;
    qsizetype size;
    qsizetype pos = 0;

    bool atEnd() const { return pos >= size; }
    char peek() const { return pos < size ? data[pos] : '\0'; }
    void skipSpace()
    {
        while (pos < size && (data[pos] == ' ' || data[pos] == '\n' || data[pos] == '\r' || data[pos] == '\t'))
            ++pos;
    }
    bool skipString()
    {
        if (peek() != '"')
            return false;
        for (++pos; pos < size; ++pos) {
            if (data[pos] == '\\')
                ++pos;
            else if (data[pos] == '"') {
                ++pos;
                return true;
            }
        }
        return false;
    }
    bool skipValue()
    {
        const char c = peek();
        if (c == '"')
            return skipString();
        if (c == '{' || c == '[') {
            QByteArray closers;
            while (pos < size) {
                const char d = data[pos];
                if (d == '"') {
                    if (!skipString())
                        return false;
                    continue;
                }
                if (d == '{' || d == '[') {
                    closers.append(d == '{' ? '}' : ']');
                } else if (d == '}' || d == ']') {
                    if (closers.isEmpty() || closers.back() != d)
                        return false;
                    closers.chop(1);
                    if (closers.isEmpty()) {
                        ++pos;
                        return true;
                    }
                }
                ++pos;
            }
            return false;
        }
        const qsizetype start = pos;
        while (pos < size && (std::isalnum(static_cast<unsigned char>(data[pos])) || data[pos] == '-' ||
                              data[pos] == '+' || data[pos] == '.'))
            ++pos;
        return pos > start;
    }
    // After a member of an object or an array: true past a comma (another member follows), false past
    // `close` (that was the last one), nothing on anything else.
    std::optional<bool> nextMember(char close)
    {
        skipSpace();
        if (peek() != ',' && peek() != close)
            return std::nullopt;
        return data[pos++] == ',';
    }
    // The value at [from, to) on its own, parsed by QJsonDocument.
    QJsonValue valueAt(qsizetype from, qsizetype to) const
    {
        const QByteArray wrapped = '[' + QByteArray(data + from, to - from) + ']';
        return QJsonDocument::fromJson(wrapped).array().at(0);
    }
};

} // namespace

std::optional<PullEnvelope> splitPullAnswer(const QByteArray& json)
{
    Scanner s{json.constData(), json.size()};
    PullEnvelope envelope;
    bool haveChanges = false;
    s.skipSpace();
    if (s.peek() != '{')
        return std::nullopt;
    ++s.pos;
    s.skipSpace();
    if (s.peek() == '}')
        return std::nullopt;
    for (;;) {
        s.skipSpace();
        const qsizetype keyStart = s.pos;
        if (!s.skipString())
            return std::nullopt;
        const QString key = s.valueAt(keyStart, s.pos).toString();
        s.skipSpace();
        if (s.peek() != ':')
            return std::nullopt;
        ++s.pos;
        s.skipSpace();
        const qsizetype valueStart = s.pos;
        if (key == QLatin1String("changes")) {
            if (s.peek() != '[')
                return std::nullopt;
            envelope.changes.clear();
            ++s.pos;
            s.skipSpace();
            if (s.peek() == ']') {
                ++s.pos;
            } else {
                for (;;) {
                    s.skipSpace();
                    const qsizetype from = s.pos;
                    if (!s.skipValue())
                        return std::nullopt;
                    envelope.changes.append({from, s.pos - from});
                    const std::optional<bool> more = s.nextMember(']');
                    if (!more)
                        return std::nullopt;
                    if (!*more)
                        break;
                }
            }
            haveChanges = true;
        } else {
            if (!s.skipValue())
                return std::nullopt;
            if (key == QLatin1String("timestamp"))
                envelope.timestamp = integerFromJson(s.valueAt(valueStart, s.pos), 0);
        }
        const std::optional<bool> more = s.nextMember('}');
        if (!more)
            return std::nullopt;
        if (!*more)
            break;
    }
    s.skipSpace();
    if (!s.atEnd() || !haveChanges)
        return std::nullopt;
    return envelope;
}

QJsonObject pushChange(const Note& note)
{
    QJsonObject data;
    data.insert(QLatin1String("body"), note.body);
    if (!note.notebookId.isEmpty())
        data.insert(QLatin1String("notebook_id"), note.notebookId);
    data.insert(QLatin1String("created_at"), msOf(note.createdAt));
    data.insert(QLatin1String("updated_at"), msOf(note.updatedAt));
    data.insert(QLatin1String("modified_at"), msOf(note.modifiedAt));
    if (note.deletedAt)
        data.insert(QLatin1String("deleted_at"), msOf(*note.deletedAt));

    QJsonObject change;
    change.insert(QLatin1String("entity_type"), QStringLiteral("note"));
    change.insert(QLatin1String("entity_id"), note.id);
    change.insert(QLatin1String("action"), note.deletedAt ? QStringLiteral("delete") : QStringLiteral("update"));
    change.insert(QLatin1String("version"), note.version);
    if (note.opVersion > 0)
        change.insert(QLatin1String("base_version"), note.opVersion);
    change.insert(QLatin1String("data"), data);
    return change;
}

qint64 pushChangeBytes(const Note& note)
{
    // The body dominates; JSON escaping can grow it, the rest is a few hundred bytes.
    return qint64(note.body.toUtf8().size()) * 11 / 10 + note.notebookId.size() + note.id.size() + 300;
}

QList<QList<int>> splitBatches(const QList<qint64>& sizes, int maxCount, qint64 maxBytes)
{
    QList<QList<int>> batches;
    QList<int> current;
    qint64 bytes = 0;
    for (int i = 0; i < sizes.size(); ++i) {
        const qint64 size = qMax<qint64>(0, sizes.at(i));
        const bool full = !current.isEmpty() && (current.size() >= qMax(1, maxCount) || bytes + size > maxBytes);
        if (full) {
            batches.append(current);
            current.clear();
            bytes = 0;
        }
        current.append(i);
        bytes += size;
    }
    if (!current.isEmpty())
        batches.append(current);
    return batches;
}

} // namespace SyncRules
