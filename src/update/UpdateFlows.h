#pragma once

#include "UpdateConfig.h"

#include <QPointer>
#include <QWidget>
#include <functional>

namespace NorvUpdate {

// How a command the user started reports on itself, for example in a window's status bar.
struct StatusCallbacks
{
    std::function<void(const QString& text)> showProgress;
    std::function<void()> clearProgress;
    std::function<void(const QString& text, int milliseconds)> showMessage;
};

// The quiet check shortly after start-up: an available update opens the update dialog over window; a
// failure is only logged.
void checkAtStartup(const UpdateConfig& config, const QString& displayName, QPointer<QWidget> window);

// Help > Check for Updates: progress while it runs, then the update dialog or a message that says why not.
void checkInteractively(const UpdateConfig& config, const QString& displayName, QPointer<QWidget> window,
                        const StatusCallbacks& status);

// The running version's notes in a What's New dialog over window; nothing when there are none. shown runs
// once the dialog is on screen, so the caller can remember that this version's notes were seen.
void showWhatsNewAtStartup(const UpdateConfig& config, const QString& displayName, QPointer<QWidget> window,
                           const std::function<void()>& shown = {});

// Help > What's New: the running version's notes, or those of a newer release with its download when the
// running version has none.
void showWhatsNewInteractively(const UpdateConfig& config, const QString& displayName, QPointer<QWidget> window,
                               const StatusCallbacks& status);

} // namespace NorvUpdate
