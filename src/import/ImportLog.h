#pragma once

#include <QLoggingCategory>

// Logging category of the importers and the backup archive ("norv.import"). Note bodies never go here.
Q_DECLARE_LOGGING_CATEGORY(lcImport)
