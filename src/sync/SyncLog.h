#pragma once

#include <QLoggingCategory>

// Logging category of the sync engine ("norv.sync").
Q_DECLARE_LOGGING_CATEGORY(lcSync)
