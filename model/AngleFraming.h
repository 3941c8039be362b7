#pragma once

#include "model/OutputFormat.h"
#include "model/ViewAngles.h"

// A view's framing, kept separately for each frame shape so that switching never loses either.
struct AngleFraming {
    ViewAngles landscape;
    ViewAngles portrait;
    // True once the portrait framing has been prepared for use or edited.
    bool hasSelectedPortrait = false;

    // Portrait starts from the same direction at view width 90, not yet selected.
    explicit AngleFraming(ViewAngles landscapeAngles = {});

    ViewAngles operator[](OutputFormat format) const;
    // Writing the portrait framing marks it selected, so a later first switch keeps it.
    void set(OutputFormat format, ViewAngles angles);
    // On the first selection of portrait, derive it from the current landscape direction.
    void prepareForSelection(OutputFormat format);

    friend bool operator==(const AngleFraming&, const AngleFraming&) = default;
};
