#include "PreferencesRepository.h"

#include "Database.h"

#include <QSqlQuery>

PreferencesRepository::PreferencesRepository(Database* db, QObject* parent)
    : QObject(parent)
    , m_db(db)
{
}

std::optional<QString> PreferencesRepository::value(const QString& key) const
{
    QSqlQuery q(m_db->db());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT value FROM preferences WHERE key = ?"));
    q.addBindValue(key);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return q.value(0).toString();
}

QString PreferencesRepository::stringValue(const QString& key, const QString& defaultValue) const
{
    return value(key).value_or(defaultValue);
}

bool PreferencesRepository::boolValue(const QString& key, bool defaultValue) const
{
    const auto v = value(key);
    if (!v)
        return defaultValue;
    return *v == QLatin1String("1") || *v == QLatin1String("true") || *v == QLatin1String("yes");
}

int PreferencesRepository::intValue(const QString& key, int defaultValue) const
{
    const auto v = value(key);
    if (!v)
        return defaultValue;
    bool ok = false;
    const int parsed = v->toInt(&ok, 10);
    return ok ? parsed : defaultValue;
}

void PreferencesRepository::setValue(const QString& key, const QString& value)
{
    const auto current = this->value(key);
    if (current && *current == value)
        return;
    QSqlQuery q(m_db->db());
    q.prepare(QStringLiteral("INSERT INTO preferences (key, value) VALUES (?, ?) "
                             "ON CONFLICT(key) DO UPDATE SET value = excluded.value"));
    q.addBindValue(key);
    q.addBindValue(value);
    if (q.exec())
        emit changed(key);
}

void PreferencesRepository::setBool(const QString& key, bool value)
{
    setValue(key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void PreferencesRepository::setInt(const QString& key, int value)
{
    setValue(key, QString::number(value));
}

void PreferencesRepository::remove(const QString& key)
{
    QSqlQuery q(m_db->db());
    q.prepare(QStringLiteral("DELETE FROM preferences WHERE key = ?"));
    q.addBindValue(key);
    if (q.exec())
        emit changed(key);
}
