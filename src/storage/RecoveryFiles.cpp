#include "RecoveryFiles.h"

#include "Clock.h"
#include "Records.h"
#include "StorageLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <algorithm>

namespace {

// A note id names the file; anything that could leave the folder is refused.
bool isPlainName(const QString& id)
{
    return !id.isEmpty() && !id.contains(QLatin1Char('/')) && !id.contains(QLatin1Char('\\')) &&
           !id.startsWith(QLatin1Char('.')) && !id.contains(QChar(0));
}

QString canonicalDatabase(const QString& databasePath)
{
    return QFileInfo(databasePath).absoluteFilePath();
}

QString writeInto(const QString& directory, const QByteArray& content, const QString& noteId)
{
    if (!QDir().mkpath(directory))
        return {};
    QSaveFile file(directory + QLatin1Char('/') + noteId + QStringLiteral(".json"));
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit())
        return {};
    return file.fileName();
}

void collect(const QString& directory, const QString& database, QList<RecoveredText>& out)
{
    const QFileInfoList files =
        QDir(directory).entryInfoList({QStringLiteral("*.json")}, QDir::Files | QDir::NoDotAndDotDot);
    for (const QFileInfo& info : files) {
        QFile file(info.absoluteFilePath());
        // A recovery file is one note's text; anything large is not ours.
        if (info.size() > 256LL * 1024 * 1024 || !file.open(QIODevice::ReadOnly))
            continue;
        const QJsonObject object = QJsonDocument::fromJson(file.readAll()).object();
        if (object.value(QStringLiteral("database")).toString() != database)
            continue;
        RecoveredText text;
        text.path = info.absoluteFilePath();
        text.noteId = object.value(QStringLiteral("noteId")).toString();
        text.body = object.value(QStringLiteral("body")).toString();
        text.savedAt = fromDbTimestamp(object.value(QStringLiteral("savedAt")).toString());
        if (isPlainName(text.noteId) && !text.body.isEmpty())
            out.append(text);
    }
}

} // namespace

namespace RecoveryFiles {

QString directoryFor(const QString& databasePath)
{
    return QFileInfo(databasePath).absolutePath() + QStringLiteral("/recovery");
}

QString temporaryDirectory()
{
    return QDir::tempPath() + QStringLiteral("/norvane-notes-recovery");
}

QString write(const QString& databasePath, const QString& noteId, const QString& body)
{
    if (!isPlainName(noteId))
        return {};
    const QJsonObject object{
        {QStringLiteral("database"), canonicalDatabase(databasePath)},
        {QStringLiteral("noteId"), noteId},
        {QStringLiteral("body"), body},
        {QStringLiteral("savedAt"), toDbTimestamp(Clock::nowUtc())},
    };
    const QByteArray content = QJsonDocument(object).toJson(QJsonDocument::Compact);
    QString path = writeInto(directoryFor(databasePath), content, noteId);
    if (path.isEmpty())
        path = writeInto(temporaryDirectory(), content, noteId);
    if (path.isEmpty())
        qCWarning(lcStorage).noquote() << "RecoveryFiles::write failed for note" << noteId;
    else
        qCWarning(lcStorage).noquote() << "Unsaved text of note" << noteId << "kept in" << path;
    return path;
}

QList<RecoveredText> pending(const QString& databasePath)
{
    const QString database = canonicalDatabase(databasePath);
    QList<RecoveredText> out;
    collect(directoryFor(databasePath), database, out);
    collect(temporaryDirectory(), database, out);
    std::sort(out.begin(), out.end(),
              [](const RecoveredText& a, const RecoveredText& b) { return a.savedAt < b.savedAt; });
    return out;
}

bool remove(const RecoveredText& text)
{
    return QFile::remove(text.path);
}

} // namespace RecoveryFiles
