#include "DocumentLog.h"

Q_LOGGING_CATEGORY(lcDocument, "norv.document", QtInfoMsg)
