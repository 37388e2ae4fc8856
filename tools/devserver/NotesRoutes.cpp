// The notes service: notebooks, note push and pull with a cursor, attachments.
#include "Multipart.h"
#include "ServiceHost.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSaveFile>

namespace {

const QString EmptyBody = QStringLiteral("[{\"insert\":\"\\n\"}]");

int rank(const QString& permission)
{
    if (permission == QLatin1String("owner"))
        return 3;
    if (permission == QLatin1String("edit"))
        return 2;
    return permission == QLatin1String("view") ? 1 : 0;
}

QJsonValue msOrNull(const QVariant& v)
{
    return v.isNull() ? QJsonValue() : QJsonValue(v.toLongLong());
}

// Milliseconds from a change's data; absent gives the fallback, anything but an integer is an error.
std::optional<qint64> msField(const QJsonObject& data, const char* key, qint64 fallback)
{
    const QJsonValue v = data.value(QLatin1String(key));
    if (v.isUndefined() || v.isNull())
        return fallback;
    if (!Json::isInteger(v))
        return std::nullopt;
    return v.toInteger();
}

QString cleanMime(const QByteArray& type)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9!#$&^_.+-]{1,64}/[A-Za-z0-9!#$&^_.+-]{1,64}$"));
    const QString t = QString::fromLatin1(type).trimmed().toLower();
    return pattern.match(t).hasMatch() ? t : QStringLiteral("application/octet-stream");
}

QString cleanFilename(QString name)
{
    name.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QLatin1Char('\\'), QLatin1Char('_'));
    name.remove(QRegularExpression(QStringLiteral("[\\x00-\\x1f\\x7f]")));
    name = name.trimmed().left(255);
    return name.isEmpty() ? QStringLiteral("attachment") : name;
}

// The "since" query item of a feed route: 0 when absent, -1 when it is not a cursor.
qint64 sinceCursor(const Request& request)
{
    if (!request.query.hasQueryItem(QStringLiteral("since")))
        return 0;
    bool ok = false;
    const qint64 since = request.queryValue(QStringLiteral("since")).toLongLong(&ok);
    return ok && since >= 0 ? since : -1;
}

} // namespace

QString ServiceHost::notebookPermissionFor(const QString& accountId, const QString& notebookId)
{
    if (notebookId.isEmpty())
        return {};
    const auto nb =
        m_store.one(QStringLiteral("SELECT owner FROM notebooks WHERE id = ? AND deleted_at IS NULL"), {notebookId});
    if (!nb)
        return {};
    if (nb->value("owner").toString() == accountId)
        return QStringLiteral("owner");
    return m_store
        .scalar(QStringLiteral("SELECT permission FROM notebook_shares WHERE notebook_id = ? AND recipient = ?"),
                {notebookId, accountId})
        .toString();
}

QString ServiceHost::permissionFor(const QString& accountId, const QVariantMap& note)
{
    const QString owner = note.value("owner").toString();
    if (owner == accountId)
        return QStringLiteral("owner");
    QString best = m_store
                       .scalar(QStringLiteral("SELECT permission FROM note_shares WHERE note_id = ? AND recipient = ?"),
                               {note.value("id"), accountId})
                       .toString();
    // A shared notebook lends its notes only while they are still its owner's.
    const QString notebookId = note.value("notebook_id").toString();
    const auto nb =
        m_store.one(QStringLiteral("SELECT owner FROM notebooks WHERE id = ? AND deleted_at IS NULL"), {notebookId});
    if (nb && nb->value("owner").toString() == owner) {
        const QString viaNotebook = notebookPermissionFor(accountId, notebookId);
        if (rank(viaNotebook) > rank(best))
            best = viaNotebook;
    }
    return best;
}

QSet<QString> ServiceHost::audience(const QString& noteId)
{
    QSet<QString> who;
    const auto note = m_store.one(QStringLiteral("SELECT * FROM notes WHERE id = ?"), {noteId});
    if (!note)
        return who;
    const QString owner = note->value("owner").toString();
    who.insert(owner);
    for (const auto& row : m_store.all(QStringLiteral("SELECT recipient FROM note_shares WHERE note_id = ?"), {noteId}))
        who.insert(row.value("recipient").toString());
    for (const auto& row : m_store.all(QStringLiteral("SELECT s.recipient FROM notebook_shares s JOIN notebooks n ON"
                                                      " n.id = s.notebook_id WHERE n.id = ? AND n.owner = ? AND"
                                                      " n.deleted_at IS NULL"),
                                       {note->value("notebook_id"), owner}))
        who.insert(row.value("recipient").toString());
    return who;
}

void ServiceHost::announceNote(const QString& noteId, const QSet<QString>& extra)
{
    const QSet<QString> who = audience(noteId) | extra;
    const auto attachments = m_store.all(QStringLiteral("SELECT id FROM attachments WHERE note_id = ?"), {noteId});
    for (const QString& account : who) {
        m_store.announce(account, QStringLiteral("note"), noteId);
        for (const auto& a : attachments)
            m_store.announce(account, QStringLiteral("attachment"), a.value("id").toString());
    }
}

QJsonObject ServiceHost::noteJson(const QVariantMap& note, const QString& accountId, qint64 revokedAt,
                                  std::optional<bool> ownShared)
{
    const QString permission = ownShared ? QStringLiteral("owner") : permissionFor(accountId, note);
    const QString owner = note.value("owner").toString();
    const QString ownerId = owner == accountId ? QString() : owner;
    if (permission.isEmpty()) {
        // The person lost access: the note reaches them once more, emptied and in the trash.
        return QJsonObject{{"id", note.value("id").toString()},
                           {"notebook_id", ""},
                           {"body", EmptyBody},
                           {"version", note.value("version").toLongLong()},
                           {"created_at", note.value("created_at").toLongLong()},
                           {"updated_at", revokedAt},
                           {"modified_at", revokedAt},
                           {"deleted_at", revokedAt},
                           {"owner_id", ownerId},
                           {"is_shared", false},
                           {"permission", ""}};
    }
    const bool own = permission == QLatin1String("owner");
    // Someone else's notebook id is only useful to a person who can see that notebook.
    QString notebookId = note.value("notebook_id").toString();
    if (!own && notebookPermissionFor(accountId, notebookId).isEmpty())
        notebookId.clear();
    const bool shared = !own || (ownShared ? *ownShared : audience(note.value("id").toString()).size() > 1);
    return QJsonObject{{"id", note.value("id").toString()},
                       {"notebook_id", notebookId},
                       {"body", note.value("body").toString()},
                       {"version", note.value("version").toLongLong()},
                       {"created_at", note.value("created_at").toLongLong()},
                       {"updated_at", note.value("updated_at").toLongLong()},
                       {"modified_at", note.value("modified_at").toLongLong()},
                       {"deleted_at", msOrNull(note.value("deleted_at"))},
                       {"owner_id", ownerId},
                       {"is_shared", shared},
                       {"permission", own ? QString() : permission}};
}

QJsonObject ServiceHost::notebookJson(const QVariantMap& nb, const QString& accountId)
{
    const bool own = nb.value("owner").toString() == accountId;
    const bool shared =
        !own ||
        m_store.scalar(QStringLiteral("SELECT COUNT(*) FROM notebook_shares WHERE notebook_id = ?"), {nb.value("id")})
                .toInt() > 0;
    return QJsonObject{{"id", nb.value("id").toString()},
                       {"name", nb.value("name").toString()},
                       {"is_default", nb.value("is_default").toInt() != 0},
                       {"is_shared", shared},
                       {"version", nb.value("version").toLongLong()},
                       {"created_at", nb.value("created_at").toLongLong()},
                       {"updated_at", nb.value("updated_at").toLongLong()}};
}

QJsonObject ServiceHost::attachmentJson(const QVariantMap& a)
{
    return QJsonObject{{"id", a.value("id").toString()},
                       {"note_id", a.value("note_id").toString()},
                       {"filename", a.value("filename").toString()},
                       {"mime_type", a.value("mime_type").toString()},
                       {"size_bytes", a.value("size_bytes").toLongLong()},
                       {"created_at", a.value("created_at").toLongLong()}};
}

QString ServiceHost::attachmentPath(const QString& fileKey) const
{
    return m_store.dataDir() + QStringLiteral("/attachments/") + fileKey;
}

void ServiceHost::registerNotesRoutes()
{
    const QString base = QStringLiteral("/notes/v1");
    const auto authed = [this](std::function<Response(const Caller&, const Request&, const Params&)> handler) {
        return [this, handler](const Request& request, const Params& params) {
            Response refusal;
            const auto caller = authenticate(request, &refusal);
            if (!caller)
                return refusal;
            if (request.body.size() > HttpLayer::JsonBodyCap &&
                !request.header("content-type").toLower().startsWith("multipart/"))
                return Response::error(413, QStringLiteral("request body too large"));
            return handler(*caller, request, params);
        };
    };

    m_http->route("GET", base + QStringLiteral("/notebooks"),
                  authed([this](const Caller& c, const Request&, const Params&) {
                      QJsonArray list;
                      const QString me = c.account.accountId;
                      for (const auto& nb :
                           m_store.all(QStringLiteral("SELECT * FROM notebooks WHERE deleted_at IS NULL AND (owner = ?"
                                                      " OR id IN (SELECT notebook_id FROM notebook_shares WHERE"
                                                      " recipient = ?)) ORDER BY created_at, id"),
                                       {me, me}))
                          list.append(notebookJson(nb, me));
                      return Response::json(200, {{"notebooks", list}});
                  }));

    m_http->route(
        "PUT", base + QStringLiteral("/notebooks/{}"),
        authed([this](const Caller& c, const Request& request, const Params& p) {
            const auto body = Json::parseObject(request.body);
            if (!body || !body->value("name").isString() || !Json::isInteger(body->value("version")))
                return Response::error(400, QStringLiteral("body must be {\"name\": text, \"version\": integer}"));
            const QString name = body->value("name").toString().trimmed();
            if (name.isEmpty() || name.size() > 200)
                return Response::error(400, QStringLiteral("name must have 1 to 200 characters"));
            const auto nb =
                m_store.one(QStringLiteral("SELECT * FROM notebooks WHERE id = ? AND deleted_at IS NULL"), {p[0]});
            const QString permission = notebookPermissionFor(c.account.accountId, p[0]);
            if (!nb || permission.isEmpty())
                return Response::error(404, QStringLiteral("no such notebook"));
            if (permission != QLatin1String("owner"))
                return Response::error(403, QStringLiteral("only the owner can rename this notebook"));
            const qint64 stored = nb->value("version").toLongLong();
            const qint64 version = body->value("version").toInteger();
            if (version < stored)
                return Response::json(409, {{"error", "conflict"}, {"version", stored}});
            const qint64 next = version > stored ? version : stored + 1;
            m_store.exec(QStringLiteral("UPDATE notebooks SET name = ?, version = ?, updated_at = ? WHERE id = ?"),
                         {name, next, nowMs(), p[0]});
            return Response::json(200, notebookJson(*m_store.one(QStringLiteral("SELECT * FROM notebooks"
                                                                                " WHERE id = ?"),
                                                                 {p[0]}),
                                                    c.account.accountId));
        }));

    m_http->route("POST", base + QStringLiteral("/notebooks"),
                  authed([this](const Caller& c, const Request& request, const Params&) {
                      const auto body = Json::parseObject(request.body);
                      if (!body || !body->value("id").isString() || !body->value("name").isString())
                          return Response::error(400, QStringLiteral("body must be {\"id\": text, \"name\": text}"));
                      const QString id = body->value("id").toString();
                      const QString name = body->value("name").toString().trimmed();
                      if (!isValidId(id) || name.isEmpty() || name.size() > 200)
                          return Response::error(400, QStringLiteral("bad id or name"));
                      const auto nb = m_store.one(QStringLiteral("SELECT * FROM notebooks WHERE id = ?"), {id});
                      const qint64 now = nowMs();
                      if (nb && nb->value("owner").toString() != c.account.accountId)
                          return Response::error(409, QStringLiteral("the id is taken"));
                      if (nb && nb->value("deleted_at").isNull()) // a repeated create answers like the first
                          return Response::json(200, notebookJson(*nb, c.account.accountId));
                      if (nb) {
                          m_store.exec(QStringLiteral("UPDATE notebooks SET name = ?, version = version + 1,"
                                                      " updated_at = ?, deleted_at = NULL WHERE id = ?"),
                                       {name, now, id});
                      } else {
                          m_store.exec(QStringLiteral("INSERT INTO notebooks (id, owner, name, version, created_at,"
                                                      " updated_at) VALUES (?, ?, ?, 1, ?, ?)"),
                                       {id, c.account.accountId, name, now, now});
                      }
                      return Response::json(201, notebookJson(*m_store.one(QStringLiteral("SELECT * FROM notebooks"
                                                                                          " WHERE id = ?"),
                                                                           {id}),
                                                              c.account.accountId));
                  }));

    m_http->route(
        "DELETE", base + QStringLiteral("/notebooks/{}"),
        authed([this](const Caller& c, const Request&, const Params& p) {
            if (notebookPermissionFor(c.account.accountId, p[0]) != QLatin1String("owner"))
                return Response::error(404, QStringLiteral("no such notebook"));
            const auto notes = m_store.all(QStringLiteral("SELECT id FROM notes WHERE notebook_id = ?"), {p[0]});
            QHash<QString, QSet<QString>> before;
            for (const auto& n : notes)
                before.insert(n.value("id").toString(), audience(n.value("id").toString()));
            m_store.transaction();
            m_store.exec(QStringLiteral("UPDATE notebooks SET deleted_at = ?, version = version + 1 WHERE id = ?"),
                         {nowMs(), p[0]});
            for (auto it = before.cbegin(); it != before.cend(); ++it)
                announceNote(it.key(), it.value());
            m_store.commit();
            return Response::noContent();
        }));

    m_http->route(
        "POST", base + QStringLiteral("/sync/push"),
        authed([this](const Caller& c, const Request& request, const Params&) {
            const auto body = Json::parseObject(request.body);
            if (!body || !body->value("changes").isArray())
                return Response::error(400, QStringLiteral("body must be {\"changes\": [...]}"));
            const QString me = c.account.accountId;
            QJsonArray results;
            m_store.transaction();
            for (const QJsonValue& value : body->value("changes").toArray()) {
                const QJsonObject change = value.toObject();
                const QString id = change.value("entity_id").toString();
                const auto result = [&](const char* status, qint64 version, const QString& message) {
                    results.append(
                        QJsonObject{{"entity_id", id}, {"status", status}, {"version", version}, {"message", message}});
                };
                if (change.value("entity_type").toString() != QLatin1String("note")) {
                    result("error", 0, QStringLiteral("only notes are pushed here"));
                    continue;
                }
                const QString action = change.value("action").toString();
                const QJsonObject data = change.value("data").toObject();
                if (!isValidId(id) || (action != QLatin1String("update") && action != QLatin1String("delete")) ||
                    !Json::isInteger(change.value("version")) || change.value("version").toInteger() < 1 ||
                    !data.value("body").isString() ||
                    (data.contains("notebook_id") && !data.value("notebook_id").isString()) ||
                    (change.contains("base_version") && !Json::isInteger(change.value("base_version")))) {
                    result("error", 0, QStringLiteral("malformed change"));
                    continue;
                }
                const qint64 now = nowMs();
                const auto created = msField(data, "created_at", now);
                const auto updated = msField(data, "updated_at", now);
                const auto modified = msField(data, "modified_at", now);
                const auto deletedGiven = msField(data, "deleted_at", 0);
                if (!created || !updated || !modified || !deletedGiven) {
                    result("error", 0, QStringLiteral("times must be integer milliseconds"));
                    continue;
                }
                QVariant deleted;
                if (action == QLatin1String("delete"))
                    deleted = *deletedGiven > 0 ? *deletedGiven : now;
                else if (data.contains("deleted_at") && !data.value("deleted_at").isNull())
                    deleted = *deletedGiven;
                const qint64 version = change.value("version").toInteger();
                const QString body = data.value("body").toString();
                const auto stored = m_store.one(QStringLiteral("SELECT * FROM notes WHERE id = ?"), {id});
                qint64 accepted = version;
                QString notebookId = data.value("notebook_id").toString();
                QSet<QString> before;
                bool written = false;
                if (!stored) {
                    written = m_store.exec(
                        QStringLiteral("INSERT INTO notes (id, owner, notebook_id, body, version, created_at,"
                                       " updated_at, modified_at, deleted_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                        {id, me, notebookId, body, version, *created, *updated, *modified, deleted});
                } else {
                    const QString permission = permissionFor(me, *stored);
                    if (permission.isEmpty()) {
                        result("forbidden", 0, QStringLiteral("the note belongs to another account"));
                        continue;
                    }
                    if (permission == QLatin1String("view")) {
                        result("forbidden", stored->value("version").toLongLong(),
                               QStringLiteral("the note is shared read-only"));
                        continue;
                    }
                    const qint64 current = stored->value("version").toLongLong();
                    if (change.contains("base_version")) {
                        if (change.value("base_version").toInteger() != current) {
                            result("conflict", current, QStringLiteral("the server holds version %1").arg(current));
                            continue;
                        }
                        accepted = qMax(version, current + 1);
                    } else if (version <= current) {
                        result("conflict", current, QStringLiteral("the server holds version %1").arg(current));
                        continue;
                    }
                    // Only the owner files a note in a notebook; others leave it where it is.
                    if (permission != QLatin1String("owner"))
                        notebookId = stored->value("notebook_id").toString();
                    before = audience(id);
                    written = m_store.exec(
                        QStringLiteral("UPDATE notes SET notebook_id = ?, body = ?, version = ?, updated_at = ?,"
                                       " modified_at = ?, deleted_at = ? WHERE id = ?"),
                        {notebookId, body, accepted, *updated, *modified, deleted, id});
                }
                written = written && m_store.exec(QStringLiteral("INSERT OR REPLACE INTO note_versions VALUES"
                                                                 " (?, ?, ?, ?, ?, ?, ?)"),
                                                  {id, accepted, body, notebookId, deleted, me, now});
                if (!written) {
                    result("error", 0, QStringLiteral("the change could not be stored"));
                    continue;
                }
                announceNote(id, before);
                result("ok", accepted, QString());
            }
            m_store.commit();
            return Response::json(200, {{"results", results}});
        }));

    m_http->route(
        "GET", base + QStringLiteral("/sync/pull"),
        authed([this](const Caller& c, const Request& request, const Params&) {
            const qint64 since = sinceCursor(request);
            if (since < 0)
                return Response::error(400, QStringLiteral("since must be a cursor from an earlier pull"));
            // One statement for the whole answer: a first pull of a large library must not cost a
            // few queries per note. Whether one's own note has an audience is worked out here too;
            // notes shared with the caller are rare and take the general path.
            QJsonArray changes;
            qint64 highest = since;
            for (const auto& row :
                 m_store.all(QStringLiteral(
                                 "SELECT n.*, f.stamp AS feed_stamp, f.at AS feed_at,"
                                 " (EXISTS (SELECT 1 FROM note_shares s WHERE s.note_id = n.id"
                                 "          AND s.recipient <> n.owner)"
                                 "  OR EXISTS (SELECT 1 FROM notebook_shares s JOIN notebooks b ON b.id = s.notebook_id"
                                 "             WHERE b.id = n.notebook_id AND b.owner = n.owner"
                                 "             AND b.deleted_at IS NULL AND s.recipient <> n.owner)) AS has_audience"
                                 " FROM (SELECT entity_id, MAX(stamp) AS stamp, MAX(created_at) AS at FROM feed"
                                 "       WHERE account_id = ? AND kind = 'note' AND stamp > ? GROUP BY entity_id) f"
                                 " LEFT JOIN notes n ON n.id = f.entity_id ORDER BY f.stamp"),
                             {c.account.accountId, since})) {
                highest = qMax(highest, row.value("feed_stamp").toLongLong());
                if (row.value("id").isNull())
                    continue;
                const std::optional<bool> ownShared = row.value("owner").toString() == c.account.accountId
                                                          ? std::optional<bool>(row.value("has_audience").toBool())
                                                          : std::nullopt;
                changes.append(noteJson(row, c.account.accountId, row.value("feed_at").toLongLong(), ownShared));
            }
            return Response::json(200, {{"changes", changes}, {"timestamp", highest}});
        }));

    m_http->route(
        "POST", base + QStringLiteral("/attachments"),
        authed([this](const Caller& c, const Request& request, const Params&) {
            const auto parts = parseMultipart(request.header("content-type"), request.body);
            if (!parts)
                return Response::error(400, QStringLiteral("body must be multipart/form-data"));
            QString noteId, id;
            const FormPart* file = nullptr;
            for (const FormPart& part : *parts) {
                if (part.name == QLatin1String("note_id"))
                    noteId = QString::fromUtf8(part.data).trimmed();
                else if (part.name == QLatin1String("id"))
                    id = QString::fromUtf8(part.data).trimmed();
                else if (part.name == QLatin1String("file"))
                    file = &part;
            }
            if (!isValidId(noteId) || !isValidId(id) || !file)
                return Response::error(400, QStringLiteral("parts note_id, id and file are required"));
            const auto note = m_store.one(QStringLiteral("SELECT * FROM notes WHERE id = ?"), {noteId});
            const QString permission = note ? permissionFor(c.account.accountId, *note) : QString();
            if (permission.isEmpty())
                return Response::error(404, QStringLiteral("no such note"));
            if (permission == QLatin1String("view"))
                return Response::error(403, QStringLiteral("the note is shared read-only"));
            const auto existing = m_store.one(QStringLiteral("SELECT * FROM attachments WHERE id = ?"), {id});
            if (existing && existing->value("note_id").toString() != noteId)
                return Response::error(409, QStringLiteral("the attachment id belongs to another note"));
            // The file name on disk comes from the id's hash, never from client text.
            const QString key =
                QString::fromLatin1(QCryptographicHash::hash(id.toUtf8(), QCryptographicHash::Sha256).toHex());
            QSaveFile out(attachmentPath(key));
            if (!out.open(QIODevice::WriteOnly) || out.write(file->data) != file->data.size() || !out.commit())
                return Response::error(500, QStringLiteral("cannot store the file"));
            const qint64 now = nowMs();
            m_store.transaction();
            m_store.exec(QStringLiteral("INSERT OR REPLACE INTO attachments VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
                         {id, noteId, note->value("owner"), cleanFilename(file->filename), cleanMime(file->contentType),
                          qint64(file->data.size()), existing ? existing->value("created_at").toLongLong() : now, key});
            for (const QString& account : audience(noteId))
                m_store.announce(account, QStringLiteral("attachment"), id);
            m_store.commit();
            return Response::json(
                201, attachmentJson(*m_store.one(QStringLiteral("SELECT * FROM attachments WHERE id = ?"), {id})));
        }));

    m_http->route(
        "GET", base + QStringLiteral("/attachments"),
        authed([this](const Caller& c, const Request& request, const Params&) {
            const qint64 since = sinceCursor(request);
            if (since < 0)
                return Response::error(400, QStringLiteral("since must be a cursor from an earlier list"));
            QJsonArray list;
            qint64 highest = since;
            for (const auto& row : m_store.all(QStringLiteral("SELECT entity_id, MAX(stamp) AS stamp FROM feed WHERE"
                                                              " account_id = ? AND kind = 'attachment' AND stamp > ?"
                                                              " GROUP BY entity_id ORDER BY stamp"),
                                               {c.account.accountId, since})) {
                highest = qMax(highest, row.value("stamp").toLongLong());
                const auto a =
                    m_store.one(QStringLiteral("SELECT * FROM attachments WHERE id = ?"), {row.value("entity_id")});
                const auto note =
                    a ? m_store.one(QStringLiteral("SELECT * FROM notes WHERE id = ?"), {a->value("note_id")})
                      : std::nullopt;
                if (note && !permissionFor(c.account.accountId, *note).isEmpty())
                    list.append(attachmentJson(*a));
            }
            return Response::json(200, {{"attachments", list}, {"timestamp", highest}});
        }));

    m_http->route("GET", base + QStringLiteral("/attachments/{}"),
                  authed([this](const Caller& c, const Request&, const Params& p) {
                      const auto a = m_store.one(QStringLiteral("SELECT * FROM attachments WHERE id = ?"), {p[0]});
                      const auto note =
                          a ? m_store.one(QStringLiteral("SELECT * FROM notes WHERE id = ?"), {a->value("note_id")})
                            : std::nullopt;
                      if (!note || permissionFor(c.account.accountId, *note).isEmpty())
                          return Response::error(404, QStringLiteral("no such attachment"));
                      QFile file(attachmentPath(a->value("file_key").toString()));
                      if (!file.open(QIODevice::ReadOnly))
                          return Response::error(404, QStringLiteral("the attachment's file is missing"));
                      return Response::raw(200, a->value("mime_type").toString().toLatin1(), file.readAll());
                  }));
}
