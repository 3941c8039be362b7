#pragma once

#include "preview/player/Player.h"

namespace TrackProbe {
// Lists a file's video and audio tracks from its header, without decoding. Blocking: run it off
// the main thread.
PlayerAssetTracks probe(const QString& path);
} // namespace TrackProbe
