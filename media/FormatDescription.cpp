#include "media/FormatDescription.h"

#include "media/BoxReader.h"
#include "media/FourCC.h"

#include <bit>
#include <limits>
#include <vector>

namespace {

constexpr std::uint64_t sampleEntryHeader = 8;  // reserved bytes and data reference index
constexpr std::uint64_t visualEntryFields = 70; // after the common header, up to child boxes
constexpr std::uint64_t audioEntryFields = 20;
constexpr std::uint64_t timecodeEntryFields = 18;

void readColor(BoxReader& reader, FormatDescription& format) {
    while (auto child = reader.nextBox()) {
        reader.enter(*child, [&] {
            if (child->type != fourCC("colr") || child->payloadSize() < 10)
                return;
            const std::uint32_t colorType = reader.u32();
            // Only the first stated colour counts, as decoders do.
            if ((colorType != fourCC("nclx") && colorType != fourCC("nclc")) ||
                format.color.primaries)
                return;
            format.color.primaries = reader.u16();
            format.color.transferFunction = reader.u16();
            format.color.matrix = reader.u16();
        });
    }
}

void readVideo(BoxReader& reader, FormatDescription& format) {
    if (reader.remaining() < visualEntryFields)
        return;
    reader.skip(16);
    VideoDimensions dimensions;
    dimensions.width = reader.u16();
    dimensions.height = reader.u16();
    format.dimensions = dimensions;
    reader.skip(visualEntryFields - 20);
    readColor(reader, format);
}

double fixed16(std::uint32_t value) {
    return double(value >> 16) + double(value & 0xFFFF) / 65536.0;
}

// ISO audio sample entries and QuickTime sound descriptions v0, v1 and v2. A version above 0 in a
// version-0 "stsd" is QuickTime's layout; ISO's own version 1 lives in a version-1 "stsd".
void readAudio(BoxReader& reader, FormatDescription& format, std::uint8_t stsdVersion) {
    if (reader.remaining() < audioEntryFields)
        return;
    const std::uint16_t version = reader.u16();
    reader.skip(6);
    AudioStreamDescription audio;
    audio.channelsPerFrame = reader.u16();
    reader.skip(6);
    audio.sampleRate = fixed16(reader.u32());
    if (stsdVersion == 0 && version == 1) {
        if (reader.remaining() < 16)
            return;
        reader.skip(16);
    } else if (stsdVersion == 0 && version == 2) {
        if (reader.remaining() < 36)
            return;
        reader.skip(4);
        audio.sampleRate = std::bit_cast<double>(reader.u64());
        audio.channelsPerFrame = reader.u32();
        reader.skip(20);
    } else if (stsdVersion == 0 && version != 0) {
        return; // a layout we do not know: no stream description
    }
    while (auto child = reader.nextBox()) {
        reader.enter(*child, [&] {
            // ISO's sampling-rate box carries rates that 16.16 cannot.
            if (child->type == fourCC("srat") && child->payloadSize() >= 8) {
                reader.fullBoxHeader();
                audio.sampleRate = reader.u32();
            }
        });
    }
    format.audio = audio;
}

void readTimecode(BoxReader& reader, FormatDescription& format) {
    if ((format.mediaSubtype != fourCC("tmcd") && format.mediaSubtype != fourCC("tc64")) ||
        reader.remaining() < timecodeEntryFields)
        return;
    reader.skip(8); // reserved, flags
    const std::uint32_t timescale = reader.u32();
    const std::uint32_t frameDuration = reader.u32();
    format.timecodeFrameDuration =
        timescale <= std::uint32_t(std::numeric_limits<std::int32_t>::max())
            ? MediaTime::make(frameDuration, std::int32_t(timescale))
            : MediaTime::invalid();
}

} // namespace

std::vector<FormatDescription> readSampleDescriptions(BoxReader& reader, MediaKind kind) {
    const std::uint8_t stsdVersion = reader.fullBoxHeader();
    const std::uint32_t count = reader.u32();
    // Each entry is at least a box header; a larger count cannot be true.
    BoxReader::require(count <= reader.remaining() / 8);
    std::vector<FormatDescription> formats;
    formats.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const auto entry = reader.nextBox();
        BoxReader::require(entry.has_value());
        FormatDescription format;
        format.mediaSubtype = entry->type;
        reader.enter(*entry, [&] {
            if (reader.remaining() < sampleEntryHeader)
                return;
            reader.skip(sampleEntryHeader);
            switch (kind) {
            case MediaKind::video:
                readVideo(reader, format);
                break;
            case MediaKind::audio:
                readAudio(reader, format, stsdVersion);
                break;
            case MediaKind::timecode:
                readTimecode(reader, format);
                break;
            case MediaKind::other:
                break;
            }
        });
        formats.push_back(format);
    }
    return formats;
}
