#pragma once

#include "media/Track.h"

#include <cstdint>

class BoxReader;

// Reads the children of an "stbl" box whose payload the reader stands on into `track`, whose
// kind is known: the sample descriptions, the timing runs, and for timecode tracks where each
// sample lies. Every video sample's bytes must lie inside the file. The tables are streamed from
// the file, never held whole; inconsistent tables are a damaged file.
void readSampleTables(BoxReader& reader, Track& track);
