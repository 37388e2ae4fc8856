#pragma once

#include <QDir>
#include <QString>
#include <QTest>

// Export files written by other applications live beside the repository (../shared/fixtures/real-world), not in
// it. NORV_FIXTURES_DIR points elsewhere (the folder that holds real-world/). A fresh clone has neither, and the
// tests that need them skip instead of failing.
inline QString realWorldFixtures(const QString& sub = QString())
{
    const QString env = qEnvironmentVariable("NORV_FIXTURES_DIR");
    const QString root = env.isEmpty() ? QStringLiteral(NORV_SHARED_DIR "/fixtures") : env;
    const QString dir = QDir::cleanPath(root + QStringLiteral("/real-world"));
    return sub.isEmpty() ? dir : dir + QLatin1Char('/') + sub;
}

#define NORV_REQUIRE_FIXTURES()                                                                                       \
    do {                                                                                                              \
        if (!QDir(realWorldFixtures()).exists())                                                                      \
            QSKIP(qPrintable(QStringLiteral("real-world fixtures not found at %1; set NORV_FIXTURES_DIR to the "     \
                                            "folder holding real-world/")                                             \
                                 .arg(realWorldFixtures())));                                                         \
    } while (false)
