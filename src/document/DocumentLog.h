#pragma once

#include <QLoggingCategory>

// The logging category of the document model (Delta bodies, conversion, export, rendering).
Q_DECLARE_LOGGING_CATEGORY(lcDocument)
