#pragma once

#include "AppState.h"
#include "Clock.h"
#include "NoteRepository.h"
#include "Records.h"

#include <QCoreApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <memory>

// A real library for widget tests: a database in a temporary directory opened through AppState,
// a fixed clock, and none of the first-start welcome notes, so each test starts empty.
struct UiTestLibrary
{
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<Clock::Fixed> clock;
    std::unique_ptr<AppState> state;

    // Window settings go to a test location and never touch a developer's own.
    static void useTestSettings(const char* applicationName)
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName(QStringLiteral("NorvaneTest"));
        QCoreApplication::setApplicationName(QString::fromLatin1(applicationName));
    }

    bool open(const QDateTime& now)
    {
        close();
        QSettings().clear();
        dir = std::make_unique<QTemporaryDir>();
        if (!dir->isValid())
            return false;
        qputenv("NOTES_DATA_DIR", dir->path().toUtf8());
        clock = std::make_unique<Clock::Fixed>(now);
        state = std::make_unique<AppState>();
        if (!state->initialize())
            return false;
        for (const Note& note : state->notes()->allNotes()) {
            if (!state->notes()->purge(note.id))
                return false;
        }
        state->setCurrentNote(QString());
        return true;
    }

    // The state goes before the clock, whose destructor restores the system clock.
    void close()
    {
        state.reset();
        clock.reset();
        dir.reset();
        QSettings().clear();
    }
};
