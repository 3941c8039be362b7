#include "ui/AnglePreviewFactory.h"

#include "preview/gl/LiveAnglePreview.h"

AnglePreviewFactory liveAnglePreviewFactory() {
    return [](LivePreviewSession& session, const ViewAngles& angles) {
        auto* surface = new LiveAnglePreview(&session, angles);
        return AnglePreviewSurface{surface,
                                   [surface](const ViewAngles& a) { surface->setAngles(a); }};
    };
}
