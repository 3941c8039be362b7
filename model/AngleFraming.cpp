#include "model/AngleFraming.h"

namespace {
ViewAngles portraitStart(const ViewAngles& landscape) {
    return ViewAngles{landscape.pan, landscape.tilt, landscape.roll, 90};
}
} // namespace

AngleFraming::AngleFraming(ViewAngles landscapeAngles)
    : landscape(landscapeAngles), portrait(portraitStart(landscapeAngles)) {}

ViewAngles AngleFraming::operator[](OutputFormat format) const {
    return format == OutputFormat::landscape ? landscape : portrait;
}

void AngleFraming::set(OutputFormat format, ViewAngles angles) {
    if (format == OutputFormat::landscape) {
        landscape = angles;
    } else {
        portrait = angles;
        hasSelectedPortrait = true;
    }
}

void AngleFraming::prepareForSelection(OutputFormat format) {
    if (format == OutputFormat::portrait && !hasSelectedPortrait) {
        portrait = portraitStart(landscape);
        hasSelectedPortrait = true;
    }
}
