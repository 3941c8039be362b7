#pragma once

#include "model/ViewAngles.h"
#include "preview/gl/LiveGLRenderer.h"

#include <QImage>
#include <QSize>

#include <memory>

// Draws a view the way a preview surface does, but into an image: for still frames and for
// checking the picture.
namespace OffscreenView {

// An RGB image of `size` pixels drawn in the renderer's own context. Throws PreviewError when
// no framebuffer of that size can be made.
QImage render(LiveGLRenderer& renderer, const std::shared_ptr<const LiveGLFrame>& frame,
              const ViewAngles& angles, QSize size);
// The whole source picture as the sphere overview draws it, with its overlay.
QImage renderWholeSphere(LiveGLRenderer& renderer, const std::shared_ptr<const LiveGLFrame>& frame,
                         QSize size, const QImage& overlay = {});

} // namespace OffscreenView
