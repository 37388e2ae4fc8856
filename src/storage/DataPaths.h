#pragma once

#include <QString>

// Locations in the user's data directory. Each call recomputes its result (so a changed
// NOTES_DATA_DIR is honoured) and creates the directory it names when it is missing.

// NOTES_DATA_DIR when set and not empty, else the generic data location + "/Norvane/Notes".
QString dataDirectory();

// dataDirectory() + "/attachments".
QString attachmentsDirectory();

// The id stored in dataDirectory() + "/client_id"; a new one is made and stored when the file is
// missing or blank.
QString clientId();

// dataDirectory() + "/norvane_notes_<client id>.db".
QString databasePath();
