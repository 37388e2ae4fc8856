#pragma once

#include <QString>
#include <compare>

// A release version as (major, minor, patch). Text that is not one to three dot-separated decimal
// integers reads as 0.0.0, so an empty or damaged stored version always counts as older.
struct VersionTriple
{
    int major = 0;
    int minor = 0;
    int patch = 0;

    auto operator<=>(const VersionTriple&) const = default;
};

VersionTriple parseVersion(const QString& text);

// Negative when a < b, zero when equal, positive when a > b.
int compareVersions(const QString& a, const QString& b);
