#pragma once

#include "media/TimecodeLabels.h"

class BoxReader;

// Adds the timecode items of a "udta" box (and of any "meta" inside) whose payload the reader
// stands on. Other items are stepped over: inspection needs nothing else from metadata.
void readUserData(BoxReader& reader, TimecodeLabels& labels);

// Adds the timecode items of a "meta" box (QuickTime "mdta" keys or iTunes "mdir" items) whose
// payload the reader stands on. An item is a timecode item when its key, lower-cased, is
// "timecode" or ends with ".timecode".
void readMetaBox(BoxReader& reader, TimecodeLabels& labels);
