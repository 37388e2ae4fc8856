#include "FontScale.h"

#include <algorithm>
#include <atomic>

namespace {
std::atomic<int> g_percent{FontScale::kDefault};
}

namespace FontScale {

int percent()
{
    return g_percent.load(std::memory_order_relaxed);
}

int setPercent(int p)
{
    const int clamped = std::clamp(p, kMin, kMax);
    g_percent.store(clamped, std::memory_order_relaxed);
    return clamped;
}

} // namespace FontScale
