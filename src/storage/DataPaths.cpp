#include "DataPaths.h"

#include "Records.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

QString dataDirectory()
{
    const QByteArray fromEnv = qgetenv("NOTES_DATA_DIR");
    if (!fromEnv.isEmpty()) {
        const QString dir = QString::fromUtf8(fromEnv);
        // Failure is not reported here: opening the database in it fails and says so.
        QDir().mkpath(dir);
        return dir;
    }
    const QString dir =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Norvane/Notes");
    if (!QDir(dir).exists())
        QDir().mkpath(dir);
    return dir;
}

QString attachmentsDirectory()
{
    const QString dir = dataDirectory() + QStringLiteral("/attachments");
    if (!QDir(dir).exists())
        QDir().mkpath(dir);
    return dir;
}

QString clientId()
{
    const QString path = dataDirectory() + QStringLiteral("/client_id");
    {
        QFile file(path);
        if (file.exists() && file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            const QString stored = QString::fromUtf8(file.readAll()).trimmed();
            if (!stored.isEmpty())
                return stored;
        }
    }
    const QString id = newId();
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        file.write(id.toUtf8());
    return id;
}

QString databasePath()
{
    return dataDirectory() + QStringLiteral("/norvane_notes_%1.db").arg(clientId());
}
