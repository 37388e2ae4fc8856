#pragma once

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

// Case tables live in tests/data/document as a JSON array of cases: one row per case, named by its
// "case", and the test reads the fields from column "c". A missing or unreadable file fails the test.
inline void addCaseRows(const char* file)
{
    QTest::addColumn<QJsonObject>("c");
    QFile f(QStringLiteral(NORV_TEST_DATA "/document/") + QLatin1String(file));
    const QJsonArray cases = f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).array() : QJsonArray();
    QVERIFY2(!cases.isEmpty(), file);
    for (const QJsonValue& c : cases)
        QTest::newRow(qPrintable(c[QLatin1String("case")].toString())) << c.toObject();
}

// A case's body or Delta: an array as the compact JSON text the app stores, a string as it stands.
inline QString caseText(const QJsonValue& value)
{
    return value.isString() ? value.toString()
                            : QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
}
