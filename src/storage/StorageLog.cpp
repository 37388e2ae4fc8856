#include "StorageLog.h"

Q_LOGGING_CATEGORY(lcStorage, "norv.storage", QtInfoMsg)
