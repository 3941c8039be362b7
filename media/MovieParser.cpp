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

std::int64_t endOfTiming(const std::vector<TimingRun>& runs) {
    if (runs.empty())
        return 0;
    const TimingRun& last = runs.back();
    const Wide end = Wide(last.firstDecodeTime) + Wide(last.count) * last.duration;
    require(end <= int64Max);
    return std::int64_t(end);
}

} // namespace

Movie Movie::read(ByteSource& source, std::stop_token stop) {
    return MovieParser(source, std::move(stop)).parse();
}

MovieParser::MovieParser(ByteSource& source, std::stop_token stop)
    : source_(source), stop_(std::move(stop)), reader_(source), movie_(source) {}

Movie MovieParser::parse() {
    std::optional<BoxHeader> movieBox;
    std::vector<BoxHeader> fragments;
    while (auto box = reader_.nextBox()) {
        if (box->type == fourCC("moov")) {
            require(!movieBox);
            movieBox = box;
        } else if (box->type == fourCC("moof")) {
            require(movieBox.has_value()); // fragments extend a movie declared before them
            fragments.push_back(*box);
        }
        reader_.seek(box->end);
    }
    require(movieBox.has_value());
    reader_.enter(*movieBox, [&] { readMovieBox(); });
    for (const Track& track : movie_.tracks_)
        nextDecodeTime_[&track] = endOfTiming(track.timing);
    for (const BoxHeader& fragment : fragments) {
        if (stop_.stop_requested())
            throw CancellationError();
        reader_.enter(fragment, [&] { readFragment(fragment); });
    }
    return std::move(movie_);
}

void MovieParser::readMovieBox() {
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
                readTrackExtends();
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
}

void MovieParser::readTrack() {
    Track track;
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
        const bool wantLocations = track.kind == MediaKind::timecode;
        reader_.enter(*sampleTable, [&] {
            SampleTables tables = readSampleTables(reader_, track.kind, wantLocations);
            if (tables.formats)
                track.formats = std::move(*tables.formats);
            buildSamples(tables, track, source_.size(), wantLocations);
        });
    }
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

// Keeps only what places the media on the timeline: the leading empty edits and the start of
// the one media segment. Anything else makes the timing ambiguous.
void MovieParser::readEditList(Track& track, bool& seen) {
    EditPlacement& placement = track.edits;
    placement.ambiguous = placement.ambiguous || seen;
    seen = true;
    const std::uint8_t version = reader_.fullBoxHeader();
    const std::uint32_t count = reader_.u32();
    require(count <= reader_.remaining() / (version == 1 ? 20 : 12));
    bool sawMedia = false;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t duration = version == 1 ? reader_.u64() : reader_.u32();
        const std::int64_t mediaTime = version == 1 ? reader_.s64() : reader_.s32();
        const std::int16_t rate = reader_.s16();
        const std::int16_t rateFraction = reader_.s16();
        if (mediaTime == -1 && !sawMedia) {
            if (duration > std::uint64_t(int64Max) - placement.emptyDuration)
                placement.ambiguous = true;
            else
                placement.emptyDuration += duration;
        } else if (mediaTime >= 0 && !sawMedia && rate == 1 && rateFraction == 0) {
            sawMedia = true;
            placement.mediaStart = mediaTime;
        } else {
            placement.ambiguous = true;
        }
    }
    if (!sawMedia && count > 0)
        placement.ambiguous = true; // nothing of the media is shown
}

void MovieParser::readTrackExtends() {
    while (auto box = reader_.nextBox()) {
        reader_.enter(*box, [&] {
            if (box->type != fourCC("trex"))
                return;
            reader_.fullBoxHeader();
            const std::uint32_t id = reader_.u32();
            TrackDefaults defaults;
            defaults.descriptionIndex = reader_.u32();
            defaults.duration = reader_.u32();
            defaults.size = reader_.u32();
            defaults_[id] = defaults;
        });
    }
}

Track& MovieParser::trackWithID(std::uint32_t id) {
    Track* found = nullptr;
    for (Track& track : movie_.tracks_) {
        if (track.id == id) {
            require(found == nullptr); // two tracks claim the fragment
            found = &track;
        }
    }
    require(found != nullptr);
    return *found;
}

void MovieParser::readFragment(const BoxHeader& fragment) {
    // Where the previous track fragment's data ended: the default base of the next one.
    std::uint64_t previousDataEnd = fragment.start;
    while (auto box = reader_.nextBox()) {
        reader_.enter(*box, [&] {
            if (box->type != fourCC("traf"))
                return;
            Track* track = nullptr;
            TrackDefaults defaults;
            std::uint64_t base = previousDataEnd;
            std::optional<std::int64_t> baseDecodeTime;
            bool sawRun = false;
            std::uint64_t dataEnd = base;
            while (auto part = reader_.nextBox()) {
                reader_.enter(*part, [&] {
                    if (part->type == fourCC("tfhd")) {
                        require(track == nullptr);
                        std::uint32_t flags = 0;
                        reader_.fullBoxHeader(&flags);
                        track = &trackWithID(reader_.u32());
                        defaults =
                            defaults_.count(track->id) ? defaults_[track->id] : TrackDefaults{};
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
                    } else if (part->type == fourCC("tfdt")) {
                        require(track != nullptr && !sawRun);
                        const std::uint8_t version = reader_.fullBoxHeader();
                        const std::uint64_t time = version == 1 ? reader_.u64() : reader_.u32();
                        require(time <= std::uint64_t(int64Max));
                        baseDecodeTime = std::int64_t(time);
                    } else if (part->type == fourCC("trun")) {
                        require(track != nullptr);
                        if (!sawRun && baseDecodeTime)
                            nextDecodeTime_[track] = *baseDecodeTime;
                        sawRun = true;
                        std::uint32_t flags = 0;
                        // Composition offsets are read as signed in both versions.
                        reader_.fullBoxHeader(&flags);
                        const std::uint32_t count = reader_.u32();
                        std::uint64_t position = dataEnd;
                        if (flags & 0x1)
                            position = base + std::uint64_t(std::int64_t(reader_.s32()));
                        if (flags & 0x4)
                            reader_.skip(4);
                        const std::uint32_t perSample = 4 * std::popcount(flags & 0xF00u);
                        require(perSample == 0 || count <= reader_.remaining() / perSample);
                        require(count <=
                                source_.size() - std::min(source_.size(), track->sampleCount));
                        const bool wantLocations = track->kind == MediaKind::timecode;
                        std::int64_t decodeTime = nextDecodeTime_[track];
                        if (perSample == 0) {
                            appendRun(track->timing, {count, decodeTime, defaults.duration, 0,
                                                      defaults.descriptionIndex});
                            if (wantLocations)
                                appendLocations(track->locations, {position, count, defaults.size});
                            const Wide end = Wide(decodeTime) + Wide(count) * defaults.duration;
                            require(end <= int64Max);
                            decodeTime = std::int64_t(end);
                            position += std::uint64_t(count) * defaults.size;
                        }
                        for (std::uint32_t i = 0; perSample != 0 && i < count; ++i) {
                            const std::uint32_t duration =
                                flags & 0x100 ? reader_.u32() : defaults.duration;
                            const std::uint32_t size =
                                flags & 0x200 ? reader_.u32() : defaults.size;
                            if (flags & 0x400)
                                reader_.skip(4);
                            const std::int32_t offset = flags & 0x800 ? reader_.s32() : 0;
                            appendRun(track->timing,
                                      {1, decodeTime, duration, offset, defaults.descriptionIndex});
                            require(Wide(decodeTime) + duration <= int64Max);
                            decodeTime += duration;
                            if (wantLocations)
                                appendLocations(track->locations, {position, 1, size});
                            position += size;
                        }
                        nextDecodeTime_[track] = decodeTime;
                        track->sampleCount += count;
                        track->hasSampleTable = true;
                        dataEnd = position;
                    }
                });
            }
            previousDataEnd = dataEnd;
        });
    }
}
