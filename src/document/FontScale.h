#pragma once

// The process-wide font scale, in percent of the base size (70 to 160, default 100).
// The document model and every self-painting widget read it while laying out and painting,
// so it lives here, below the widget layer; the theme manager is the one writer.
namespace FontScale {

constexpr int kMin = 70;
constexpr int kMax = 160;
constexpr int kDefault = 100;

int percent();
// Clamps to kMin..kMax and returns the stored value.
int setPercent(int percent);

// max(1, percent * base / 100) with integer division: the one rule for scaled pixel and point sizes.
inline int scaled(int base, int percentValue)
{
    const int v = percentValue * base / 100;
    return v < 1 ? 1 : v;
}
inline int scaled(int base)
{
    return scaled(base, percent());
}

} // namespace FontScale
