#pragma once

#include <QString>

// A playback position as the player bar shows it: "1:05" below an hour, "1:12:03" from one hour
// on. Negative and non-finite positions read as 0:00; fractions of a second are dropped.
QString timeLabel(double seconds);
