#include "ImportLog.h"

Q_LOGGING_CATEGORY(lcImport, "norv.import", QtInfoMsg)
