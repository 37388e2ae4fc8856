#pragma once

#include <QLoggingCategory>

// Logging category of the account client ("norv.account"). Tokens never reach it: lines name the
// route and the status only.
Q_DECLARE_LOGGING_CATEGORY(lcAccount)
