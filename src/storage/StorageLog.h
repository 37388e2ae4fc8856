#pragma once

#include <QLoggingCategory>

// Logging category of the storage layer ("norv.storage").
Q_DECLARE_LOGGING_CATEGORY(lcStorage)
