#pragma once

#include <QString>

// Every key of the preferences table, with the default its readers pass.
namespace PrefKey {

// "system", "light" or "dark".
inline constexpr char ThemeMode[] = "theme_mode";
inline constexpr char ThemeModeDefault[] = "system";

// Percent of the base font size; stored only, clamped before it is written.
inline constexpr char FontScale[] = "fontScale";
inline constexpr int FontScaleMin = 70;
inline constexpr int FontScaleMax = 160;

// Oldest note first and the search bar at the bottom.
inline constexpr char StenoMode[] = "steno_mode";
inline constexpr bool StenoModeDefault = false;

inline constexpr char CloseToTray[] = "close_to_tray";
inline constexpr bool CloseToTrayDefault = false;

inline constexpr char StartMinimized[] = "start_minimized";
inline constexpr bool StartMinimizedDefault = false;

inline constexpr char AutoSync[] = "auto_sync";
inline constexpr bool AutoSyncDefault = true;

// 1 to 120.
inline constexpr char SyncIntervalMinutes[] = "sync_interval_minutes";
inline constexpr int SyncIntervalMinutesDefault = 5;

inline constexpr char ShowOfflineNotification[] = "show_offline_notification";
inline constexpr bool ShowOfflineNotificationDefault = true;

// The welcome notes were created.
inline constexpr char HasSeenWelcome[] = "has_seen_welcome";
inline constexpr bool HasSeenWelcomeDefault = false;

// Current notebook (empty: all notes) and current note; absent until first set.
inline constexpr char LastNotebookId[] = "lastNotebookId";
inline constexpr char LastNoteId[] = "lastNoteId";

// Version for which What's New was last shown; empty by default.
inline constexpr char LastWhatsNewVersion[] = "last_whats_new_version";

// Written at quit, read once at the next start and then deleted. Note ids joined with ",".
inline constexpr char RestoreNoteWindows[] = "restore_note_windows";
inline constexpr char RestoreTodosWindow[] = "restore_todos_window";
inline constexpr bool RestoreTodosWindowDefault = false;

// Base64 of QWidget::saveGeometry() per note window; %1 = note id.
inline constexpr char NoteWindowGeometry[] = "note_window_geom/%1";
inline QString noteWindowGeometry(const QString& noteId)
{
    return QString::fromLatin1(NoteWindowGeometry).arg(noteId);
}

// Pull cursors of the sync engine (server milliseconds); absent until the first pull, deleted by a
// full resync.
inline constexpr char LastSyncTimestampMs[] = "lastSyncTimestampMs";
inline constexpr char LastAttachmentSyncMs[] = "lastAttachmentSyncMs";

// The account this library last synced with (the session's subject); absent until a first sync.
// Signing in to another one asks before anything is uploaded.
inline constexpr char SyncAccount[] = "sync_account";

} // namespace PrefKey
