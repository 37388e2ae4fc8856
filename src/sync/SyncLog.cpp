#include "SyncLog.h"

Q_LOGGING_CATEGORY(lcSync, "norv.sync", QtInfoMsg)
