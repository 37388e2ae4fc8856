#include "UpdateLog.h"

namespace NorvUpdate {
Q_LOGGING_CATEGORY(lcUpdate, "norvupdate.client", QtInfoMsg)
} // namespace NorvUpdate
