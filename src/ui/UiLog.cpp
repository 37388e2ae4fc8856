#include "UiLog.h"

Q_LOGGING_CATEGORY(lcUi, "norv.ui", QtInfoMsg)
