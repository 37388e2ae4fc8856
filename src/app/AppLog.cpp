#include "AppLog.h"

Q_LOGGING_CATEGORY(lcApp, "norv.app", QtInfoMsg)
