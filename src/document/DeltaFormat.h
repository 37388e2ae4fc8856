#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

// The Delta body notation: a JSON array of insert operations that spell a note line by line.
// These helpers read bodies without building a document; DeltaDocument is the editable form.

// The body of a new note: one empty line.
inline constexpr char kEmptyBody[] = R"([{"insert":"\n"}])";

// Attachments are referenced by URL in bodies, exports and imports.
inline constexpr char kAttachmentUrlPrefix[] = "norvane-notes://attachment/";

// Embed keys (the single key of an embed insert).
inline constexpr char kAttachmentEmbedKey[] = "norvane-notes-attachment";
inline constexpr char kImageEmbedKey[] = "image";
inline constexpr char kDividerEmbedKey[] = "divider";
inline constexpr char kTableEmbedKey[] = "table";

struct DeltaOp
{
    enum Kind
    {
        InsertText = 0,
        InsertEmbed = 1,
        Retain = 2,
        Delete = 3,
    };

    Kind kind = InsertText;
    QString text;           // InsertText
    QJsonObject embed;      // InsertEmbed
    QJsonObject attributes; // empty when absent
    qint32 length = 0;      // Retain and Delete
};

// Elements that are not objects are skipped; an object without "insert", "retain" or "delete"
// becomes an empty text insert.
// The body's JSON array, or nothing when the text is not a JSON array.
std::optional<QJsonArray> parseBodyArray(const QString& body);

QList<DeltaOp> parseDelta(const QJsonArray& delta);
// Empty text, invalid JSON or JSON that is not an array give an empty list.
QList<DeltaOp> parseDelta(const QString& body);

// The texts of all text inserts in order, newlines included; embeds add nothing.
QString deltaToPlainText(const QList<DeltaOp>& ops);

// Plain text of a stored body for titles and previews. A body that is not a JSON array is
// returned unchanged (old or foreign bodies are plain text).
QString bodyPlainText(const QString& body);

// True when the body holds no visible content: no text other than white space and no embed.
bool isBodyBlank(const QString& body);

// "norvane-notes://attachment/<id>".
QString attachmentUrl(const QString& attachmentId);
