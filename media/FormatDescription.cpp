#include "media/FormatDescription.h"

#include "media/AudioConfiguration.h"
#include "media/BoxReader.h"
#include "media/FourCC.h"
#include "media/Track.h"

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

// Configuration boxes are a few bytes; anything longer is not one we could read.
constexpr std::uint64_t largestConfiguration = 4096;

void readAudioChildren(BoxReader& reader, AudioEntryBoxes& boxes) {
    while (auto child = reader.nextBox()) {
        reader.enter(*child, [&] {
            const auto keep = [&](std::optional<QByteArray>& slot) {
                if (!slot && child->payloadSize() <= largestConfiguration)
                    slot = reader.bytes(std::size_t(child->payloadSize()));
            };
            switch (child->type) {
            case fourCC("wave"): // QuickTime's decompression parameters
                readAudioChildren(reader, boxes);
                break;
            case fourCC("esds"):
                keep(boxes.esds);
                break;
            case fourCC("dOps"):
                keep(boxes.dOps);
                break;
            case fourCC("dac3"):
                keep(boxes.dac3);
                break;
            case fourCC("dec3"):
                keep(boxes.dec3);
                break;
            case fourCC("dfLa"):
                keep(boxes.dfLa);
                break;
            case fourCC("alac"):
                keep(boxes.alac);
                break;
            case fourCC("chnl"):
                keep(boxes.chnl);
                break;
            case fourCC("chan"):
                keep(boxes.chan);
                break;
            case fourCC("srat"): // ISO's sampling rate, for rates that 16.16 cannot carry
                if (child->payloadSize() >= 8) {
                    reader.fullBoxHeader();
                    boxes.samplingRate = reader.u32();
                }
                break;
            default:
                break;
            }
        });
    }
}

// ISO audio sample entries and QuickTime sound descriptions v0, v1 and v2. A version above 0 in a
// version-0 "stsd" is QuickTime's layout; ISO's own version 1 lives in a version-1 "stsd".
void readAudio(BoxReader& reader, FormatDescription& format, std::uint8_t stsdVersion) {
    if (reader.remaining() < audioEntryFields)
        return;
    SoundDescription description;
    description.subtype = format.mediaSubtype;
    const std::uint16_t version = reader.u16();
    reader.skip(6);
    description.channels = reader.u16();
    reader.skip(6);
    description.sampleRate = fixed16(reader.u32());
    if (stsdVersion == 0 && version == 1) {
        if (reader.remaining() < 16)
            return;
        reader.skip(16);
        description.quickTime = true;
    } else if (stsdVersion == 0 && version == 2) {
        if (reader.remaining() < 36)
            return;
        reader.skip(4);
        description.sampleRate = std::bit_cast<double>(reader.u64());
        description.channels = reader.u32();
        reader.skip(20);
        description.quickTime = true;
    } else if (stsdVersion == 0 && version != 0) {
        return; // a layout we do not know: no stream description
    }
    AudioEntryBoxes boxes;
    readAudioChildren(reader, boxes);
    format.audio = decodedAudio(description, boxes);
}

void readTimecode(BoxReader& reader, FormatDescription& format) {
    if ((format.mediaSubtype != fourCC("tmcd") && format.mediaSubtype != fourCC("tc64")) ||
        reader.remaining() < timecodeEntryFields)
        return;
    reader.skip(4);
    TimecodeFormat timecode;
    timecode.flags = reader.u32();
    const std::uint32_t timescale = reader.u32();
    const std::uint32_t frameDuration = reader.u32();
    timecode.framesPerSecond = reader.u8();
    timecode.frameDuration = timescale <= std::uint32_t(std::numeric_limits<std::int32_t>::max())
                                 ? MediaTime::make(frameDuration, std::int32_t(timescale))
                                 : MediaTime::invalid();
    format.timecode = timecode;
}

} // namespace

std::uint32_t readSampleDescriptions(BoxReader& reader, MediaKind kind,
                                     std::vector<FormatDescription>& kept) {
    const std::uint8_t stsdVersion = reader.fullBoxHeader();
    const std::uint32_t count = reader.u32();
    // Each entry is at least a box header; a larger count cannot be true.
    BoxReader::require(count <= reader.remaining() / 8);
    for (std::uint32_t i = 0; i < count; ++i) {
        const auto entry = reader.nextBox();
        BoxReader::require(entry.has_value());
        if (kept.size() >= Track::keptFormats) {
            reader.seek(entry->end);
            continue;
        }
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
        kept.push_back(format);
    }
    return count;
}
