#pragma once

#include <QLoggingCategory>

namespace NorvUpdate {
Q_DECLARE_LOGGING_CATEGORY(lcUpdate)
} // namespace NorvUpdate
