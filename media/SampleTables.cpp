#include "media/SampleTables.h"

#include "media/BoxReader.h"
#include "media/FourCC.h"
#include "media/TableStream.h"

#include <optional>

namespace {

__extension__ typedef __int128 Wide;

void require(bool condition) {
    BoxReader::require(condition);
}

// Where each table lies; they are read once all are known, in the order combining them needs.
struct TableBoxes {
    std::optional<BoxHeader> timeToSample, compositionOffsets, sizes, sampleToChunk, chunkOffsets;
    bool compactSizes = false;
    bool wideOffsets = false;
};

// A full box's entry count, checked against the bytes there are for entries of `entrySize`.
std::uint32_t entryCount(TableStream& stream, const BoxHeader& box, std::uint64_t headerBytes,
                         std::uint64_t entrySize) {
    stream.u32(); // version and flags
    const std::uint32_t count = stream.u32();
    require(box.payloadSize() >= headerBytes &&
            count <= (box.payloadSize() - headerBytes) / entrySize);
    return count;
}

// The decode-order runs of "stts" merged with the composition offsets of "ctts", which must
// describe exactly the same samples.
void readTiming(ByteSource& source, const TableBoxes& boxes, Track& track) {
    TableStream durations(source, boxes.timeToSample->payloadStart, boxes.timeToSample->end);
    const std::uint32_t entries = entryCount(durations, *boxes.timeToSample, 8, 8);
    std::optional<TableStream> offsets;
    std::uint32_t offsetEntries = 0;
    if (boxes.compositionOffsets) {
        offsets.emplace(source, boxes.compositionOffsets->payloadStart,
                        boxes.compositionOffsets->end);
        offsetEntries = entryCount(*offsets, *boxes.compositionOffsets, 8, 8);
    }
    std::uint64_t offsetLeft = 0;
    std::int32_t offset = 0;
    for (std::uint32_t i = 0; i < entries; ++i) {
        std::uint64_t left = durations.u32();
        const std::uint32_t delta = durations.u32();
        while (left > 0) {
            std::uint64_t piece = left;
            if (offsets) {
                // Version 0 declares the offsets unsigned, yet writers store negative ones there
                // too; reading both versions as signed matches what players do.
                while (offsetLeft == 0 && offsetEntries > 0) {
                    offsetLeft = offsets->u32();
                    offset = std::int32_t(offsets->u32());
                    --offsetEntries;
                }
                require(offsetLeft > 0);
                piece = std::min(piece, offsetLeft);
                offsetLeft -= piece;
            }
            track.timing.append(piece, delta, offset);
            left -= piece;
        }
    }
    require(offsetLeft == 0);
    for (; offsetEntries > 0; --offsetEntries) {
        require(offsets->u32() == 0);
        offsets->u32();
    }
}

// Walks the chunks in order with the sizes of their samples. Every video sample must lie inside
// the file; a timecode track keeps where its samples are, to read them later.
void readLocations(ByteSource& source, const TableBoxes& boxes, Track& track) {
    const std::uint64_t count = track.timing.sampleCount();
    require(boxes.sampleToChunk && boxes.chunkOffsets);
    TableStream sizes(source, boxes.sizes->payloadStart, boxes.sizes->end);
    sizes.u32();
    std::uint32_t constantSize = 0;
    unsigned fieldBits = 32;
    if (boxes.compactSizes) {
        fieldBits = sizes.u32() & 0xFF;
    } else {
        constantSize = sizes.u32();
    }
    sizes.u32(); // the count, already checked
    TableStream chunks(source, boxes.sampleToChunk->payloadStart, boxes.sampleToChunk->end);
    const std::uint32_t chunkRuns = entryCount(chunks, *boxes.sampleToChunk, 8, 12);
    TableStream offsets(source, boxes.chunkOffsets->payloadStart, boxes.chunkOffsets->end);
    const std::uint32_t chunkCount =
        entryCount(offsets, *boxes.chunkOffsets, 8, boxes.wideOffsets ? 8 : 4);
    const bool keep = track.kind == MediaKind::timecode;

    std::uint64_t sample = 0;
    std::uint32_t firstChunk = 0, perChunk = 0, description = 0;
    for (std::uint32_t run = 0; run < chunkRuns; ++run) {
        if (run == 0) {
            firstChunk = chunks.u32();
            perChunk = chunks.u32();
            description = chunks.u32();
            require(firstChunk == 1);
        }
        std::uint64_t lastChunk = chunkCount;
        std::uint32_t nextFirst = 0, nextPerChunk = 0, nextDescription = 0;
        if (run + 1 < chunkRuns) {
            nextFirst = chunks.u32();
            nextPerChunk = chunks.u32();
            nextDescription = chunks.u32();
            require(nextFirst > firstChunk);
            lastChunk = nextFirst - 1;
        }
        require(lastChunk <= chunkCount && firstChunk <= lastChunk + 1);
        for (std::uint64_t chunk = firstChunk; chunk <= lastChunk; ++chunk) {
            const std::uint64_t offset = boxes.wideOffsets ? offsets.u64() : offsets.u32();
            require(perChunk <= count - sample);
            Wide end = offset;
            if (constantSize != 0) {
                end += Wide(perChunk) * constantSize;
                if (keep)
                    appendLocations(track.locations, {offset, perChunk, constantSize});
            } else {
                for (std::uint32_t k = 0; k < perChunk; ++k) {
                    const std::uint32_t size = sizes.field(fieldBits);
                    if (keep)
                        appendLocations(track.locations, {std::uint64_t(end), 1, size});
                    end += size;
                }
            }
            require(keep || end <= Wide(source.size()));
            sample += perChunk;
        }
        if (keep)
            appendDescriptions(track.descriptions, (lastChunk + 1 - firstChunk) * perChunk,
                               description);
        firstChunk = nextFirst;
        perChunk = nextPerChunk;
        description = nextDescription;
    }
    require(sample == count);
}

} // namespace

void readSampleTables(BoxReader& reader, Track& track) {
    TableBoxes boxes;
    while (auto box = reader.nextBox()) {
        const auto keep = [&](std::optional<BoxHeader>& slot) {
            require(!slot);
            slot = box;
        };
        switch (box->type) {
        case fourCC("stsd"):
            require(track.formatCount == 0 && track.formats.empty());
            reader.enter(*box, [&] {
                track.formatCount = readSampleDescriptions(reader, track.kind, track.formats);
            });
            break;
        case fourCC("stts"):
            keep(boxes.timeToSample);
            break;
        case fourCC("ctts"):
            keep(boxes.compositionOffsets);
            break;
        case fourCC("stz2"):
            boxes.compactSizes = true;
            [[fallthrough]];
        case fourCC("stsz"):
            keep(boxes.sizes);
            break;
        case fourCC("stsc"):
            keep(boxes.sampleToChunk);
            break;
        case fourCC("co64"):
            boxes.wideOffsets = true;
            [[fallthrough]];
        case fourCC("stco"):
            keep(boxes.chunkOffsets);
            break;
        default:
            break;
        }
        reader.seek(box->end);
    }
    track.hasSampleTable = boxes.timeToSample && boxes.sizes;
    if (!track.hasSampleTable)
        return;
    ByteSource& source = reader.source();
    readTiming(source, boxes, track);

    TableStream sizes(source, boxes.sizes->payloadStart, boxes.sizes->end);
    sizes.u32();
    std::uint32_t constantSize = 0;
    std::uint64_t fieldBits = 32;
    if (boxes.compactSizes) {
        fieldBits = sizes.u32() & 0xFF;
        require(fieldBits == 4 || fieldBits == 8 || fieldBits == 16);
    } else {
        constantSize = sizes.u32();
    }
    const std::uint64_t count = sizes.u32();
    require(count == track.timing.sampleCount());
    require(constantSize != 0 || count <= (boxes.sizes->payloadSize() - 12) * 8 / fieldBits);
    const bool timecodeToRead =
        track.kind == MediaKind::timecode && count <= Track::maximumTimecodeSamples;
    if (count > 0 && (track.kind == MediaKind::video || timecodeToRead))
        readLocations(source, boxes, track);
}
