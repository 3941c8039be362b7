#include "media/SampleTables.h"

#include "media/BoxReader.h"
#include "media/FourCC.h"

#include <algorithm>
#include <limits>

namespace {

__extension__ typedef __int128 Wide;

std::uint32_t checkedCount(BoxReader& reader, std::uint64_t entrySize) {
    const std::uint32_t count = reader.u32();
    BoxReader::require(count <= reader.remaining() / entrySize);
    return count;
}

void readTimeToSample(BoxReader& reader, SampleTables& tables) {
    reader.fullBoxHeader();
    const std::uint32_t count = checkedCount(reader, 8);
    tables.timeToSample.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t samples = reader.u32();
        tables.timeToSample.push_back({samples, reader.u32()});
    }
    tables.hasTimeToSample = true;
}

void readCompositionOffsets(BoxReader& reader, SampleTables& tables) {
    // Version 0 declares the offsets unsigned, yet writers store negative ones there too;
    // reading both versions as signed matches what players do.
    reader.fullBoxHeader();
    const std::uint32_t count = checkedCount(reader, 8);
    std::vector<SampleTables::Offset> offsets;
    offsets.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t samples = reader.u32();
        offsets.push_back({samples, reader.s32()});
    }
    BoxReader::require(!tables.compositionOffsets);
    tables.compositionOffsets = std::move(offsets);
}

void readSizes(BoxReader& reader, SampleTables& tables, bool compact, bool wantLocations) {
    reader.fullBoxHeader();
    std::uint32_t fieldBits = 32;
    if (compact) {
        reader.skip(3);
        fieldBits = reader.u8();
        BoxReader::require(fieldBits == 4 || fieldBits == 8 || fieldBits == 16);
        tables.constantSize = 0;
    } else {
        tables.constantSize = reader.u32();
    }
    tables.sizeCount = reader.u32();
    tables.hasSizes = true;
    if (tables.constantSize != 0)
        return;
    BoxReader::require(tables.sizeCount <= reader.remaining() * 8 / fieldBits);
    if (!wantLocations)
        return;
    tables.sizes.reserve(tables.sizeCount);
    std::uint8_t pending = 0;
    for (std::uint64_t i = 0; i < tables.sizeCount; ++i) {
        switch (fieldBits) {
        case 4:
            if (i % 2 == 0)
                pending = reader.u8();
            tables.sizes.push_back(i % 2 == 0 ? pending >> 4 : pending & 0x0F);
            break;
        case 8:
            tables.sizes.push_back(reader.u8());
            break;
        case 16:
            tables.sizes.push_back(reader.u16());
            break;
        default:
            tables.sizes.push_back(reader.u32());
            break;
        }
    }
}

void readSampleToChunk(BoxReader& reader, SampleTables& tables) {
    reader.fullBoxHeader();
    const std::uint32_t count = checkedCount(reader, 12);
    tables.sampleToChunk.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        SampleTables::ChunkRun run{};
        run.firstChunk = reader.u32();
        run.samplesPerChunk = reader.u32();
        run.descriptionIndex = reader.u32();
        BoxReader::require(run.firstChunk >= 1 &&
                           (tables.sampleToChunk.empty() ||
                            run.firstChunk > tables.sampleToChunk.back().firstChunk));
        tables.sampleToChunk.push_back(run);
    }
}

void readChunkOffsets(BoxReader& reader, SampleTables& tables, bool wide) {
    reader.fullBoxHeader();
    const std::uint32_t count = checkedCount(reader, wide ? 8 : 4);
    tables.chunkOffsets.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i)
        tables.chunkOffsets.push_back(wide ? reader.u64() : reader.u32());
}

// Walks several run-length tables at once, one merged run at a time.
class DecodeOrderRuns {
public:
    DecodeOrderRuns(const SampleTables& tables,
                    std::vector<std::pair<std::uint64_t, std::uint32_t>> descriptions)
        : tables_(tables), descriptions_(std::move(descriptions)) {}

    void build(Track& track) {
        std::int64_t decodeTime = 0;
        std::uint64_t total = 0;
        std::uint64_t offsetLeft = 0, descriptionLeft = 0;
        std::size_t offsetIndex = 0, descriptionIndex = 0;
        for (const auto& entry : tables_.timeToSample) {
            std::uint64_t left = entry.count;
            while (left > 0) {
                std::uint64_t piece = left;
                std::int32_t offset = 0;
                if (tables_.compositionOffsets) {
                    const auto& offsets = *tables_.compositionOffsets;
                    while (offsetLeft == 0 && offsetIndex < offsets.size())
                        offsetLeft = offsets[offsetIndex++].count;
                    BoxReader::require(offsetLeft > 0);
                    offset = offsets[offsetIndex - 1].offset;
                    piece = std::min(piece, offsetLeft);
                }
                std::uint32_t description = 1;
                if (!descriptions_.empty()) {
                    while (descriptionLeft == 0 && descriptionIndex < descriptions_.size())
                        descriptionLeft = descriptions_[descriptionIndex++].first;
                    BoxReader::require(descriptionLeft > 0);
                    description = descriptions_[descriptionIndex - 1].second;
                    piece = std::min(piece, descriptionLeft);
                }
                appendRun(track.timing, {piece, decodeTime, entry.delta, offset, description});
                const Wide next = Wide(decodeTime) + Wide(piece) * entry.delta;
                BoxReader::require(next <= std::numeric_limits<std::int64_t>::max());
                decodeTime = std::int64_t(next);
                total += piece;
                left -= piece;
                if (tables_.compositionOffsets)
                    offsetLeft -= piece;
                if (!descriptions_.empty())
                    descriptionLeft -= piece;
            }
        }
        // Every table must describe exactly the same samples.
        if (tables_.compositionOffsets) {
            while (offsetIndex < tables_.compositionOffsets->size())
                offsetLeft += (*tables_.compositionOffsets)[offsetIndex++].count;
            BoxReader::require(offsetLeft == 0);
        }
        while (descriptionIndex < descriptions_.size())
            descriptionLeft += descriptions_[descriptionIndex++].first;
        BoxReader::require(descriptionLeft == 0);
        track.sampleCount = total;
    }

private:
    const SampleTables& tables_;
    std::vector<std::pair<std::uint64_t, std::uint32_t>> descriptions_;
};

} // namespace

SampleTables readSampleTables(BoxReader& reader, MediaKind kind, bool wantLocations) {
    SampleTables tables;
    while (auto box = reader.nextBox()) {
        reader.enter(*box, [&] {
            switch (box->type) {
            case fourCC("stsd"):
                BoxReader::require(!tables.formats);
                tables.formats = readSampleDescriptions(reader, kind);
                break;
            case fourCC("stts"):
                readTimeToSample(reader, tables);
                break;
            case fourCC("ctts"):
                readCompositionOffsets(reader, tables);
                break;
            case fourCC("stsz"):
                readSizes(reader, tables, false, wantLocations);
                break;
            case fourCC("stz2"):
                readSizes(reader, tables, true, wantLocations);
                break;
            case fourCC("stsc"):
                if (wantLocations)
                    readSampleToChunk(reader, tables);
                break;
            case fourCC("stco"):
            case fourCC("co64"):
                if (wantLocations)
                    readChunkOffsets(reader, tables, box->type == fourCC("co64"));
                break;
            default:
                break;
            }
        });
    }
    return tables;
}

void appendRun(std::vector<TimingRun>& runs, const TimingRun& run) {
    if (run.count == 0)
        return;
    if (!runs.empty()) {
        TimingRun& last = runs.back();
        const Wide lastEnd = Wide(last.firstDecodeTime) + Wide(last.count) * last.duration;
        if (last.duration == run.duration && last.compositionOffset == run.compositionOffset &&
            last.descriptionIndex == run.descriptionIndex && lastEnd == run.firstDecodeTime) {
            last.count += run.count;
            return;
        }
    }
    runs.push_back(run);
}

void appendLocations(std::vector<LocationRun>& runs, const LocationRun& run) {
    if (run.count == 0)
        return;
    if (!runs.empty()) {
        LocationRun& last = runs.back();
        if (last.size == run.size &&
            Wide(last.offset) + Wide(last.count) * last.size == Wide(run.offset)) {
            last.count += run.count;
            return;
        }
    }
    runs.push_back(run);
}

void buildSamples(const SampleTables& tables, Track& track, std::uint64_t sampleLimit,
                  bool wantLocations) {
    track.hasSampleTable = tables.hasTimeToSample && tables.hasSizes;
    if (!track.hasSampleTable)
        return;
    std::uint64_t declared = 0;
    for (const auto& entry : tables.timeToSample)
        declared += entry.count; // at most 2^32 entries of 2^32: no overflow
    BoxReader::require(declared == tables.sizeCount && declared <= sampleLimit);

    // Sample descriptions and locations come from the chunk tables.
    std::vector<std::pair<std::uint64_t, std::uint32_t>> descriptions;
    if (wantLocations) {
        const auto& chunks = tables.sampleToChunk;
        BoxReader::require(declared == 0 || (!chunks.empty() && chunks.front().firstChunk == 1));
        std::uint64_t sample = 0;
        for (std::size_t i = 0; i < chunks.size(); ++i) {
            const std::uint64_t lastChunk =
                i + 1 < chunks.size() ? chunks[i + 1].firstChunk - 1 : tables.chunkOffsets.size();
            BoxReader::require(lastChunk <= tables.chunkOffsets.size() &&
                               chunks[i].firstChunk <= lastChunk + 1);
            for (std::uint64_t chunk = chunks[i].firstChunk; chunk <= lastChunk; ++chunk) {
                std::uint64_t offset = tables.chunkOffsets[chunk - 1];
                const std::uint32_t samples = chunks[i].samplesPerChunk;
                BoxReader::require(samples <= declared - sample);
                if (tables.constantSize != 0) {
                    appendLocations(track.locations, {offset, samples, tables.constantSize});
                    sample += samples;
                    continue;
                }
                for (std::uint32_t k = 0; k < samples; ++k, ++sample) {
                    appendLocations(track.locations, {offset, 1, tables.sizes[sample]});
                    offset += tables.sizes[sample]; // past the file fails when it is read
                }
            }
            descriptions.emplace_back(std::uint64_t(lastChunk - chunks[i].firstChunk + 1) *
                                          chunks[i].samplesPerChunk,
                                      chunks[i].descriptionIndex);
        }
        BoxReader::require(sample == declared);
    }
    DecodeOrderRuns(tables, std::move(descriptions)).build(track);
}
