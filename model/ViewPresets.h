#pragma once

#include "model/ExportView.h"
#include "model/OutputFormat.h"

#include <QList>
#include <QString>
#include <array>

// The session's four starting views, as plain values.
struct ViewPreset {
    const char16_t* id;
    const char16_t* title;
    const char16_t* key;
    double pan;
    double tilt;
};

namespace ViewPresets {

// In list order: Self, Wing, Front and the Rear placeholder for the fourth view.
inline constexpr std::array<ViewPreset, 4> starting{{
    {u"self", u"Self", u"1", 180, -12},
    {u"wing", u"Wing", u"2", 0, 0},
    {u"front", u"Front", u"3", 110, 0},
    {u"fourth", u"Rear", u"4", -90, 0},
}};

// The starting views as an untouched window would save them in the format: the landscape
// framing, or the portrait framing a first switch to portrait prepares from it.
QList<ExportView> views(OutputFormat format);

} // namespace ViewPresets
