#pragma once

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QTest>

// The shared real-world fixtures: NORV_FIXTURES_DIR when set, otherwise ../shared/fixtures beside
// the source tree. A fresh clone has no such folder; tests that need it skip with a hint.
inline QString fixturesDir()
{
    const QString fromEnvironment = qEnvironmentVariable("NORV_FIXTURES_DIR");
    return QDir::cleanPath(fromEnvironment.isEmpty() ? QStringLiteral(NORV_SHARED_DIR "/fixtures") : fromEnvironment);
}

// The path of one fixture file below the fixtures folder ("real-world/jex/a.jex").
inline QString fixturePath(const QString& relative)
{
    return fixturesDir() + QLatin1Char('/') + relative;
}

// Skips the running test (or data row) when the fixture is not there.
#define NORV_REQUIRE_FIXTURE(path)                                                                                     \
    do {                                                                                                               \
        if (!QFileInfo::exists(path))                                                                                  \
            QSKIP(qPrintable(QStringLiteral("Fixture %1 not found; set NORV_FIXTURES_DIR to the folder holding "       \
                                            "real-world/ (the shared fixtures) to run this test")                      \
                                 .arg(path)));                                                                         \
    } while (false)
