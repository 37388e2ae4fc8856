#pragma once

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

// Conversion tables live in tests/data/document as a JSON array of cases, each named by "case".
// An empty result means the file is missing or unreadable; the caller's _data function fails then.
inline QJsonArray readCases(const char* file)
{
    QFile f(QStringLiteral(NORV_TEST_DATA "/document/") + QLatin1String(file));
    return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).array() : QJsonArray();
}

// A case's body or Delta: an array as the compact JSON text the app stores, a string as it stands.
inline QString caseText(const QJsonValue& value)
{
    return value.isString() ? value.toString()
                            : QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
}
