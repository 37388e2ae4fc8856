#include "Records.h"

#include <QUuid>

SyncStatus syncStatusFromString(const QString& text)
{
    if (text == QLatin1String("synced"))
        return SyncStatus::Synced;
    if (text == QLatin1String("conflict"))
        return SyncStatus::Conflict;
    return SyncStatus::Pending;
}

QString syncStatusToString(SyncStatus status)
{
    switch (status) {
    case SyncStatus::Synced:
        return QStringLiteral("synced");
    case SyncStatus::Conflict:
        return QStringLiteral("conflict");
    case SyncStatus::Pending:
        break;
    }
    return QStringLiteral("pending");
}

QString toDbTimestamp(const QDateTime& t)
{
    return t.toUTC().toString(Qt::ISODateWithMs);
}

QDateTime fromDbTimestamp(const QString& text)
{
    if (text.isEmpty())
        return {};
    return QDateTime::fromString(text, Qt::ISODateWithMs).toUTC();
}

QString newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}
