#include "media/FourCC.h"
#include "media/MediaInspector.h"
#include "media/Movie.h"
#include "media/TrackTimeline.h"
#include "model/UserError.h"

#include <QRegularExpression>
#include <cmath>
#include <limits>

namespace MediaInspector {

namespace {

__extension__ typedef __int128 Wide;

const QString multipleTracksText =
    QStringLiteral("The source contains multiple timecode tracks. Export a source with one "
                   "unambiguous timecode origin first.");
const QString discontinuousText =
    QStringLiteral("The source timecode is discontinuous. Export a source with a continuous "
                   "timecode track first.");
const QString uninterpretableText =
    QStringLiteral("Cannot interpret the source timecode unambiguously. Export a source with "
                   "standard continuous timecode first.");

[[noreturn]] void uninterpretable() {
    throw ExportError(uninterpretableText);
}

std::int64_t bigEndian(const QByteArray& bytes) {
    std::uint64_t value = 0;
    for (const char byte : bytes)
        value = value << 8 | std::uint8_t(byte);
    // A 4-byte frame number is a signed 32-bit value.
    return bytes.size() == 4 ? std::int64_t(std::int32_t(std::uint32_t(value)))
                             : std::int64_t(value);
}

// Where each sample lies and which description it uses, in decode order.
class SampleWalk {
public:
    explicit SampleWalk(const Track& track) : track_(track) {}

    // Offset and size of the next sample; nothing past the last run or past 64 bits.
    std::optional<std::pair<std::uint64_t, std::uint32_t>> nextLocation() {
        if (location_ >= track_.locations.size())
            return std::nullopt;
        const LocationRun& run = track_.locations[location_];
        const Wide offset = Wide(run.offset) + Wide(locationIndex_) * run.size;
        if (++locationIndex_ == run.count) {
            ++location_;
            locationIndex_ = 0;
        }
        if (offset > Wide(std::numeric_limits<std::uint64_t>::max()))
            return std::nullopt;
        return std::pair(std::uint64_t(offset), run.size);
    }

    // The next sample's description, or nothing when it names none there is.
    const FormatDescription* nextFormat() {
        if (description_ >= track_.descriptions.size())
            return nullptr;
        const DescriptionRun& run = track_.descriptions[description_];
        if (++descriptionIndex_ == run.count) {
            ++description_;
            descriptionIndex_ = 0;
        }
        if (run.index < 1 || run.index > track_.formats.size())
            return nullptr;
        return &track_.formats[run.index - 1];
    }

private:
    const Track& track_;
    std::size_t location_ = 0, description_ = 0;
    std::uint64_t locationIndex_ = 0, descriptionIndex_ = 0;
};

// How many frames a timecode counts in a day: whole seconds at the nominal rate, less the labels
// that drop-frame counting skips (two or four a minute, except every tenth minute).
std::optional<std::int64_t> framesPerDay(const TimecodeFormat& format) {
    const std::int64_t rate = format.framesPerSecond;
    if (rate == 0)
        return std::nullopt;
    if (!(format.flags & TimecodeFormat::dropFrame))
        return rate * 86400;
    if (rate != 30 && rate != 60)
        return std::nullopt;
    return 144 * (600 * rate - 9 * (rate / 15));
}

// The time brought into [0, day), for counters that wrap at 24 hours.
std::optional<MediaTime> withinDay(MediaTime time, const MediaTime& day) {
    const double days = std::floor(time.seconds() / day.seconds());
    if (!(std::abs(days) < 1e15))
        return std::nullopt;
    const auto whole = multiplied(day, std::int64_t(days));
    if (!whole)
        return std::nullopt;
    time = time - *whole;
    // The floating-point estimate is off by at most one day either way.
    if (time.isExactNumeric() && time < MediaTime::zero())
        time = time + day;
    if (time.isExactNumeric() && time >= day)
        time = time - day;
    if (!time.isExactNumeric() || time < MediaTime::zero() || time >= day)
        return std::nullopt;
    return reduced(time);
}

// The timecode of the first presented frame implied by one sample's frame number, stamped at
// `stamp`. A counter that wraps at 24 hours is read within the day; any other must not name a
// time before its zero.
MediaTime sampleOrigin(std::int64_t frameNumber, const TimecodeFormat& format,
                       const MediaTime& frameDuration, const MediaTime& stamp,
                       const MediaTime& firstVideoPTS) {
    std::optional<MediaTime> day;
    if (format.flags & TimecodeFormat::wrapsAt24Hours) {
        const auto frames = framesPerDay(format);
        day = frames ? multiplied(frameDuration, *frames) : std::nullopt;
        if (!day)
            uninterpretable();
        frameNumber = (frameNumber % *frames + *frames) % *frames;
    } else if (frameNumber < 0) {
        uninterpretable();
    }
    const auto time = multiplied(frameDuration, frameNumber);
    if (!time)
        uninterpretable();
    MediaTime origin = reduced(*time - (stamp - firstVideoPTS));
    if (!origin.isExactNumeric())
        throw ExportError(discontinuousText);
    if (day) {
        const auto wrapped = withinDay(origin, *day);
        if (!wrapped)
            throw ExportError(discontinuousText);
        origin = *wrapped;
    } else if (origin < MediaTime::zero()) {
        uninterpretable(); // the first frame would come before the counter's zero
    }
    return origin;
}

// The timecode of the first presented frame implied by each sample of the one timecode track;
// every sample must imply the same.
MediaTime readTimecodeTrack(Movie& movie, const Track& timecode, const MediaTime& frameDuration,
                            const MediaTime& firstVideoPTS, std::stop_token stop) {
    const TrackTimeline timeline(timecode, movie.timescale());
    if (!timeline.isExact() || timecode.timing.sampleCount() > Track::maximumTimecodeSamples)
        uninterpretable();
    std::optional<MediaTime> origin;
    SampleWalk samples(timecode);
    timecode.timing.forEachRun([&](const TimingRun& run, std::int64_t decodeTime) {
        for (std::uint64_t i = 0; i < run.count; ++i) {
            if (stop.stop_requested())
                throw CancellationError();
            const FormatDescription* format = samples.nextFormat();
            if (!format || !format->timecode || format->timecode->frameDuration != frameDuration)
                uninterpretable();
            std::uint32_t sampleSize = 0;
            if (format->mediaSubtype == fourCC("tmcd"))
                sampleSize = 4;
            else if (format->mediaSubtype == fourCC("tc64"))
                sampleSize = 8;
            else
                uninterpretable();
            const auto location = samples.nextLocation();
            const auto bytes = location
                                   ? movie.readSample(location->first, location->second, sampleSize)
                                   : std::nullopt;
            if (!bytes)
                uninterpretable();
            const MediaTime stamp = timeline.time(timeline.value(decodeTime, run, i));
            if (!stamp.isExactNumeric())
                uninterpretable();
            const MediaTime sample = sampleOrigin(bigEndian(*bytes), *format->timecode,
                                                  frameDuration, stamp, firstVideoPTS);
            if (origin && sample != *origin)
                throw ExportError(discontinuousText);
            origin = sample;
        }
    });
    if (!origin)
        uninterpretable(); // a timecode track without samples
    return *origin;
}

// Track labels first, then the movie's; all must name the same time.
MediaTime readTimecodeMetadata(const Movie& movie, const Track& video,
                               const MediaTime& frameDuration) {
    std::optional<MediaTime> start;
    for (const TimecodeLabels* labels : {&video.metadata, &movie.metadata()}) {
        if (labels->unusable)
            uninterpretable();
        for (const QString& label : labels->labels) {
            const MediaTime time = parseTimecode(label, frameDuration);
            if (start && time != *start)
                uninterpretable();
            start = time;
        }
    }
    return start.value_or(MediaTime::zero());
}

} // namespace

MediaTime inspectTimecode(Movie& movie, const Track& video, const MediaTime& frameDuration,
                          const MediaTime& firstVideoPTS, std::stop_token stop) {
    if (movie.trackCount(MediaKind::timecode) > 1)
        throw ExportError(multipleTracksText);
    if (const Track* timecode = movie.track(MediaKind::timecode))
        return readTimecodeTrack(movie, *timecode, frameDuration, firstVideoPTS, std::move(stop));
    return readTimecodeMetadata(movie, video, frameDuration);
}

MediaTime parseTimecode(const QString& label, const MediaTime& frameDuration) {
    static const QRegularExpression pattern(
        QStringLiteral("\\A[0-9]{2,}:[0-9]{2}:[0-9]{2}[:;][0-9]{2}\\z"));
    if (!pattern.match(label).hasMatch())
        uninterpretable();
    static const QRegularExpression separators(QStringLiteral("[:;]"));
    const QStringList parts = label.split(separators);
    if (parts.size() != 4)
        uninterpretable();
    std::int64_t fields[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        fields[i] = parts[i].toLongLong(&ok);
        if (!ok)
            uninterpretable();
    }
    const auto [hours, minutes, seconds, frames] = fields;
    const MediaTime& f = frameDuration;
    if (!f.isExactNumeric() || f.value < 1)
        uninterpretable();
    const double rate = std::round(1.0 / f.seconds()); // halves away from zero
    if (!(rate >= 1 && rate <= 1000))
        uninterpretable();
    const auto r = std::int64_t(rate);
    if (hours >= 100000 || minutes >= 60 || seconds >= 60 || frames >= r)
        uninterpretable();
    std::int64_t number = (hours * 3600 + minutes * 60 + seconds) * r + frames;

    if (label.contains(QLatin1Char(';'))) {
        std::int64_t dropped = 0;
        if (f == MediaTime::make(1001, 30000))
            dropped = 2;
        else if (f == MediaTime::make(1001, 60000))
            dropped = 4;
        else
            uninterpretable();
        // Drop-frame counting skips these labels at the start of most minutes.
        if (minutes % 10 != 0 && seconds == 0 && frames < dropped)
            uninterpretable();
        const std::int64_t wholeMinutes = hours * 60 + minutes;
        number -= dropped * (wholeMinutes - wholeMinutes / 10);
    }
    const auto time = multiplied(f, number);
    if (!time)
        uninterpretable();
    return reduced(*time);
}

} // namespace MediaInspector
