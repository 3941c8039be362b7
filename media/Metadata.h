#pragma once

#include "media/MetadataItem.h"

#include <vector>

class BoxReader;
struct BoxHeader;

// Appends the items of a "udta" box (classic QuickTime text items and any "meta" inside) whose
// payload the reader stands on, in file order.
void readUserData(BoxReader& reader, std::vector<MetadataItem>& items);

// Appends the items of a "meta" box (QuickTime "mdta" keys or iTunes "mdir" items) whose
// payload the reader stands on.
void readMetaBox(BoxReader& reader, std::vector<MetadataItem>& items);
