#pragma once

#include <QObject>
#include <QString>

#include <optional>

class Database;

// Settings and small pieces of state as text under text keys, kept in the same file as the notes.
// Every effective write and every deletion is announced through changed(key).
class PreferencesRepository : public QObject
{
    Q_OBJECT

public:
    explicit PreferencesRepository(Database* db, QObject* parent = nullptr);

    // Absent when no row exists (or the read fails).
    std::optional<QString> value(const QString& key) const;
    QString stringValue(const QString& key, const QString& defaultValue = QString()) const;
    // True for "1", "true" or "yes" exactly; any other stored text is false.
    bool boolValue(const QString& key, bool defaultValue = false) const;
    // The default when absent or not a decimal integer.
    int intValue(const QString& key, int defaultValue = 0) const;

    // Writing the value already stored is a no-op and emits nothing.
    void setValue(const QString& key, const QString& value);
    void setBool(const QString& key, bool value);
    void setInt(const QString& key, int value);
    // Emits changed(key) whenever the statement succeeds, also when nothing was stored.
    void remove(const QString& key);

signals:
    void changed(const QString& key);

private:
    Database* m_db;
};
