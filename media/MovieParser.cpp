#include "media/MovieParser.h"

#include "media/FourCC.h"
#include "media/Metadata.h"
#include "media/MovieFormatError.h"
#include "media/SampleTables.h"
#include "model/UserError.h"

#include <bit>
#include <limits>

namespace {

__extension__ typedef __int128 Wide;
constexpr Wide int64Max = std::numeric_limits<std::int64_t>::max();
// Timing runs any movie may keep beyond what its movie box pays for: 48 MB.
constexpr std::size_t runsWithoutTables = (48u << 20) / sizeof(TimingRun);
// A table entry describes a run of frames, yet a frame whose size, time and place nothing in the
// tables tells apart is no frame: beyond this many per byte of tables the counts are invented.
constexpr std::uint64_t framesPerTableByte = 64;

void require(bool condition) {
    BoxReader::require(condition);
}

MediaKind kindOfHandler(std::uint32_t handler) {
    switch (handler) {
    case fourCC("vide"):
        return MediaKind::video;
    case fourCC("soun"):
        return MediaKind::audio;
    case fourCC("tmcd"):
        return MediaKind::timecode;
    default:
        return MediaKind::other;
    }
}

// The timescale of "mvhd" and "mdhd", after the creation and modification times.
std::uint32_t readTimescale(BoxReader& reader) {
    const std::uint8_t version = reader.fullBoxHeader();
    reader.skip(version == 1 ? 16 : 8);
    return reader.u32();
}

void requirePlausibleFrames(const Track& track) {
    if (track.kind == MediaKind::video)
        require(track.timing.sampleCount() / framesPerTableByte <= track.tableBytes);
}

} // namespace

Movie Movie::read(ByteSource& source, std::stop_token stop) {
    return MovieParser(source, std::move(stop)).parse();
}

MovieParser::MovieParser(ByteSource& source, std::stop_token stop)
    : source_(source), stop_(std::move(stop)), reader_(source), movie_(source) {}

Movie MovieParser::parse() {
    bool sawMovie = false;
    while (auto box = reader_.nextBox()) {
        if (stop_.stop_requested())
            throw CancellationError();
        if (box->type == fourCC("moov")) {
            require(!sawMovie);
            sawMovie = true;
            reader_.enter(*box, [&] { readMovieBox(*box); });
        } else if (box->type == fourCC("moof")) {
            require(sawMovie); // fragments extend a movie declared before them
            reader_.enter(*box, [&] { readFragment(*box); });
        }
        reader_.seek(box->end);
    }
    require(sawMovie);
    return std::move(movie_);
}

void MovieParser::readMovieBox(const BoxHeader& movieBox) {
    maximumRuns_ = runsWithoutTables + std::size_t(movieBox.payloadSize() / 8);
    std::optional<BoxHeader> extends;
    while (auto box = reader_.nextBox()) {
        reader_.enter(*box, [&] {
            switch (box->type) {
            case fourCC("mvhd"):
                movie_.timescale_ = readTimescale(reader_);
                break;
            case fourCC("trak"):
                readTrack();
                break;
            case fourCC("mvex"):
                extends = box;
                break;
            case fourCC("udta"):
                readUserData(reader_, movie_.metadata_);
                break;
            case fourCC("meta"):
                readMetaBox(reader_, movie_.metadata_);
                break;
            default:
                break;
            }
        });
    }
    // Defaults are kept for the tracks kept, so they are read once the tracks are known.
    if (extends)
        reader_.enter(*extends, [&] { readTrackExtends(); });
}

void MovieParser::readTrack() {
    Track track;
    track.timing.limitRuns(maximumRuns_);
    std::optional<BoxHeader> sampleTable;
    bool sawEditList = false;
    while (auto box = reader_.nextBox()) {
        reader_.enter(*box, [&] {
            switch (box->type) {
            case fourCC("tkhd"): {
                const std::uint8_t version = reader_.fullBoxHeader();
                reader_.skip(version == 1 ? 16 : 8);
                track.id = reader_.u32();
                break;
            }
            case fourCC("edts"):
                while (auto edit = reader_.nextBox())
                    reader_.enter(*edit, [&] {
                        if (edit->type == fourCC("elst"))
                            readEditList(track, sawEditList);
                    });
                break;
            case fourCC("mdia"):
                readMediaBox(track, sampleTable);
                break;
            case fourCC("udta"):
                readUserData(reader_, track.metadata);
                break;
            case fourCC("meta"):
                readMetaBox(reader_, track.metadata);
                break;
            default:
                break;
            }
        });
    }
    track.kind = kindOfHandler(track.handler);
    // The sample tables are read once the handler is known, wherever it stood in the box.
    if (sampleTable) {
        track.tableBytes = sampleTable->payloadSize();
        reader_.enter(*sampleTable, [&] { readSampleTables(reader_, track); });
        requirePlausibleFrames(track);
    }
    keepTrack(std::move(track));
}

// Inspection refuses a second track of a kind by its count alone, so only the first is kept.
void MovieParser::keepTrack(Track track) {
    const std::size_t count = ++movie_.counts_[std::size_t(track.kind)];
    if (count > 1 || track.kind == MediaKind::other)
        return;
    for (const Track& kept : movie_.tracks_)
        require(kept.id != track.id); // fragments could not tell them apart
    movie_.tracks_.push_back(std::move(track));
}

void MovieParser::readMediaBox(Track& track, std::optional<BoxHeader>& sampleTable) {
    while (auto box = reader_.nextBox()) {
        reader_.enter(*box, [&] {
            switch (box->type) {
            case fourCC("mdhd"):
                track.timescale = readTimescale(reader_);
                break;
            case fourCC("hdlr"):
                reader_.fullBoxHeader();
                reader_.skip(4); // QuickTime's component type
                track.handler = reader_.u32();
                break;
            case fourCC("minf"):
                while (auto info = reader_.nextBox()) {
                    if (info->type == fourCC("stbl")) {
                        require(!sampleTable);
                        sampleTable = info;
                    }
                    reader_.seek(info->end);
                }
                break;
            default:
                break;
            }
        });
    }
}

// Keeps what places the media on the timeline: the leading empty edits and the one media
// segment. Anything else makes the timing ambiguous.
void MovieParser::readEditList(Track& track, bool& seen) {
    EditPlacement& placement = track.edits;
    placement.ambiguous = placement.ambiguous || seen;
    seen = true;
    const std::uint8_t version = reader_.fullBoxHeader();
    const std::uint32_t count = reader_.u32();
    require(count <= reader_.remaining() / (version == 1 ? 20 : 12));
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t duration = version == 1 ? reader_.u64() : reader_.u32();
        const std::int64_t mediaTime = version == 1 ? reader_.s64() : reader_.s32();
        const std::int16_t rate = reader_.s16();
        const std::int16_t rateFraction = reader_.s16();
        if (mediaTime == -1 && !placement.hasSegment) {
            if (duration > std::uint64_t(int64Max) - placement.emptyDuration)
                placement.ambiguous = true;
            else
                placement.emptyDuration += duration;
        } else if (mediaTime >= 0 && !placement.hasSegment && rate == 1 && rateFraction == 0) {
            placement.hasSegment = true;
            placement.mediaStart = mediaTime;
            placement.segmentDuration = duration;
        } else {
            placement.ambiguous = true;
        }
    }
    if (!placement.hasSegment && count > 0)
        placement.ambiguous = true; // nothing of the media is shown
}

void MovieParser::readTrackExtends() {
    while (auto box = reader_.nextBox()) {
        reader_.enter(*box, [&] {
            if (box->type != fourCC("trex"))
                return;
            reader_.fullBoxHeader();
            const std::uint32_t id = reader_.u32();
            if (!trackWithID(id))
                return;
            TrackDefaults defaults;
            defaults.descriptionIndex = reader_.u32();
            defaults.duration = reader_.u32();
            defaults.size = reader_.u32();
            defaults_[id] = defaults;
        });
    }
}

Track* MovieParser::trackWithID(std::uint32_t id) {
    for (Track& track : movie_.tracks_)
        if (track.id == id)
            return &track;
    return nullptr;
}

void MovieParser::readFragment(const BoxHeader& fragment) {
    // Where the previous track fragment's data ended: the default base of the next one.
    std::uint64_t previousDataEnd = fragment.start;
    while (auto box = reader_.nextBox()) {
        reader_.enter(*box, [&] {
            if (box->type != fourCC("traf"))
                return;
            Track* track = nullptr;
            bool sawHeader = false, sawRun = false;
            TrackDefaults defaults;
            std::uint64_t base = previousDataEnd;
            std::uint64_t dataEnd = base;
            while (auto part = reader_.nextBox()) {
                reader_.enter(*part, [&] {
                    if (part->type == fourCC("tfhd")) {
                        require(!sawHeader);
                        sawHeader = true;
                        std::uint32_t flags = 0;
                        reader_.fullBoxHeader(&flags);
                        const std::uint32_t id = reader_.u32();
                        track = trackWithID(id); // fragments of tracks not kept are skipped
                        defaults = defaults_.count(id) ? defaults_[id] : TrackDefaults{};
                        if (flags & 0x1)
                            base = reader_.u64();
                        else if (flags & 0x20000)
                            base = fragment.start;
                        if (flags & 0x2)
                            defaults.descriptionIndex = reader_.u32();
                        if (flags & 0x8)
                            defaults.duration = reader_.u32();
                        if (flags & 0x10)
                            defaults.size = reader_.u32();
                        dataEnd = base;
                    } else if (part->type == fourCC("tfdt") && track) {
                        require(!sawRun);
                        const std::uint8_t version = reader_.fullBoxHeader();
                        const std::uint64_t time = version == 1 ? reader_.u64() : reader_.u32();
                        require(time <= std::uint64_t(int64Max));
                        track->timing.restartAt(std::int64_t(time));
                    } else if (part->type == fourCC("trun")) {
                        require(sawHeader);
                        sawRun = true;
                        if (track)
                            readTrackRun(*track, defaults, base, dataEnd);
                    }
                });
            }
            if (track) {
                track->tableBytes += box->payloadSize();
                track->hasSampleTable = true;
                requirePlausibleFrames(*track);
            }
            previousDataEnd = dataEnd;
        });
    }
}

void MovieParser::readTrackRun(Track& track, const TrackDefaults& defaults, std::uint64_t base,
                               std::uint64_t& dataEnd) {
    std::uint32_t flags = 0;
    // Composition offsets are read as signed in both versions.
    reader_.fullBoxHeader(&flags);
    const std::uint32_t count = reader_.u32();
    Wide position = dataEnd;
    if (flags & 0x1)
        position = Wide(base) + reader_.s32();
    if (flags & 0x4)
        reader_.skip(4);
    const std::uint32_t perSample = 4 * std::popcount(flags & 0xF00u);
    require(perSample == 0 || count <= reader_.remaining() / perSample);
    const bool timecode = track.kind == MediaKind::timecode;
    const bool keepLocations =
        timecode && track.timing.sampleCount() + count <= Track::maximumTimecodeSamples;
    if (timecode)
        appendDescriptions(track.descriptions, count, defaults.descriptionIndex);
    if (perSample == 0) {
        track.timing.append(count, defaults.duration, 0);
        if (keepLocations && position >= 0)
            appendLocations(track.locations, {std::uint64_t(position), count, defaults.size});
        position += Wide(count) * defaults.size;
    }
    for (std::uint32_t i = 0; perSample != 0 && i < count; ++i) {
        const std::uint32_t duration = flags & 0x100 ? reader_.u32() : defaults.duration;
        const std::uint32_t size = flags & 0x200 ? reader_.u32() : defaults.size;
        if (flags & 0x400)
            reader_.skip(4);
        const std::int32_t offset = flags & 0x800 ? reader_.s32() : 0;
        track.timing.append(1, duration, offset);
        if (keepLocations && position >= 0)
            appendLocations(track.locations, {std::uint64_t(position), 1, size});
        position += size;
    }
    // Every video frame's bytes must be in the file, never past its end.
    if (track.kind == MediaKind::video)
        require(position >= 0 && position <= Wide(source_.size()));
    dataEnd = position >= 0 && position <= Wide(std::numeric_limits<std::uint64_t>::max())
                  ? std::uint64_t(position)
                  : 0;
}
