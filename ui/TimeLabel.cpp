#include "ui/TimeLabel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

QString timeLabel(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0)
        seconds = 0;
    // Beyond the range of a 64-bit count no real video exists; show the largest count instead of
    // converting out of range.
    constexpr double limit = 9.2e18;
    const auto whole = static_cast<std::int64_t>(std::min(std::trunc(seconds), limit));
    if (whole < 3600)
        return QString::asprintf("%d:%02d", int(whole / 60), int(whole % 60));
    return QString::asprintf("%lld:%02d:%02d", static_cast<long long>(whole / 3600),
                             int((whole / 60) % 60), int(whole % 60));
}
