#pragma once

#include "model/ViewAngles.h"
#include "preview/player/Player.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <qcoro/qcorotask.h>

#include <memory>

// One view of one exact frame of a source, drawn as the live preview draws it: for sharing a
// framing as a picture and for checking what the previews show. Needs a GUI application object
// and an OpenGL context (a desktop session or Xvfb).
namespace StillRenderer {

// Opens the source with the preview engine over `player`, lands exactly on `seconds` (which must
// lie within the source) and draws the view into an image of `size`. Throws PreviewError with
// the sentence to show.
QCoro::Task<QImage> render(QString sourcePath, double seconds, ViewAngles angles, QSize size,
                           std::unique_ptr<Player> player);

} // namespace StillRenderer
