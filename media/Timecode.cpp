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

// Where each sample lies, in decode order.
class SampleLocations {
public:
    explicit SampleLocations(const std::vector<LocationRun>& runs) : runs_(runs) {}

    // Offset and size of the next sample; nothing past the last run or past 64 bits.
    std::optional<std::pair<std::uint64_t, std::uint32_t>> next() {
        if (run_ >= runs_.size())
            return std::nullopt;
        const LocationRun& run = runs_[run_];
        const Wide offset = Wide(run.offset) + Wide(index_) * run.size;
        if (++index_ == run.count) {
            ++run_;
            index_ = 0;
        }
        if (offset > Wide(std::numeric_limits<std::uint64_t>::max()))
            return std::nullopt;
        return std::pair(std::uint64_t(offset), run.size);
    }

private:
    const std::vector<LocationRun>& runs_;
    std::size_t run_ = 0;
    std::uint64_t index_ = 0;
};

// The timecode of the first presented frame implied by each sample of the one timecode track;
// every sample must imply the same.
MediaTime readTimecodeTrack(Movie& movie, const Track& timecode, const MediaTime& frameDuration,
                            const MediaTime& firstVideoPTS, std::stop_token stop) {
    const TrackTimeline timeline(timecode, movie.timescale());
    if (!timeline.isExact())
        uninterpretable();
    std::optional<MediaTime> origin;
    SampleLocations locations(timecode.locations);
    for (const TimingRun& run : timecode.timing) {
        for (std::uint64_t i = 0; i < run.count; ++i) {
            if (stop.stop_requested())
                throw CancellationError();
            if (run.descriptionIndex < 1 || run.descriptionIndex > timecode.formats.size())
                uninterpretable();
            const FormatDescription& format = timecode.formats[run.descriptionIndex - 1];
            std::uint32_t sampleSize = 0;
            if (format.mediaSubtype == fourCC("tmcd"))
                sampleSize = 4;
            else if (format.mediaSubtype == fourCC("tc64"))
                sampleSize = 8;
            else
                uninterpretable();
            if (!format.timecodeFrameDuration || *format.timecodeFrameDuration != frameDuration)
                uninterpretable();
            const auto location = locations.next();
            const auto bytes = location
                                   ? movie.readSample(location->first, location->second, sampleSize)
                                   : std::nullopt;
            if (!bytes)
                uninterpretable();
            const auto time = multiplied(frameDuration, bigEndian(*bytes));
            if (!time)
                uninterpretable();
            const auto value = timeline.presentationValue(run, i);
            if (!value)
                uninterpretable();
            const MediaTime stamp = timeline.time(*value);
            if (!stamp.isExactNumeric())
                uninterpretable();
            const MediaTime sampleOrigin = reduced(*time - (stamp - firstVideoPTS));
            if (!sampleOrigin.isExactNumeric() || (origin && sampleOrigin != *origin))
                throw ExportError(discontinuousText);
            origin = sampleOrigin;
        }
    }
    if (!origin)
        uninterpretable(); // a timecode track without samples
    return *origin;
}

bool isTimecodeItem(const MetadataItem& item) {
    return item.key.toLower() == QLatin1String("timecode") ||
           item.identifier.toLower().endsWith(QLatin1String(".timecode"));
}

// Track items first, then the movie's; all timecode labels must name the same time.
MediaTime readTimecodeMetadata(const Movie& movie, const Track& video,
                               const MediaTime& frameDuration) {
    std::optional<MediaTime> start;
    for (const auto* items : {&video.metadata, &movie.metadata()}) {
        for (const MetadataItem& item : *items) {
            if (!isTimecodeItem(item))
                continue;
            if (!item.stringValue)
                uninterpretable();
            const MediaTime time = parseTimecode(*item.stringValue, frameDuration);
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
    const auto tracks = movie.tracks(MediaKind::timecode);
    if (tracks.size() > 1)
        throw ExportError(multipleTracksText);
    if (tracks.size() == 1)
        return readTimecodeTrack(movie, *tracks.front(), frameDuration, firstVideoPTS,
                                 std::move(stop));
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
