#include "export/ExportMessages.h"
#include "export/FCPXMLExporter.h"
#include "model/FileNames.h"
#include "model/UserError.h"

#include <QSet>
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numeric>

namespace FCPXMLExporter {

namespace {

constexpr std::int64_t int32Max = std::numeric_limits<std::int32_t>::max();

[[noreturn]] void refuse(const QString& message) {
    throw ExportError(message);
}

bool isXMLChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

std::uint64_t magnitude(std::int64_t v) {
    return v < 0 ? 0 - std::uint64_t(v) : std::uint64_t(v);
}

bool isEvenPixelCount(std::int64_t n) {
    return n >= 2 && n <= int32Max && n % 2 == 0;
}

bool isSixteenByNine(std::int64_t width, std::int64_t height) {
    return height * 9 == width * 16 || width * 9 == height * 16;
}

void checkView(const ExportView& view, QSet<QString>& foldedNames, bool sixteenByNine) {
    const QString trimmed = view.name.trimmed();
    if (trimmed.isEmpty())
        refuse(QStringLiteral("Give each camera view a name."));
    checkXMLText(view.name);
    const QString folded = trimmed.toCaseFolded();
    if (foldedNames.contains(folded))
        refuse(QStringLiteral("Use a different name for each camera view."));
    foldedNames.insert(folded);

    const ViewAngles& a = view.angles;
    const std::array angles{a.pan, a.tilt, a.roll, a.fov};
    const bool finite =
        std::all_of(angles.begin(), angles.end(), [](double x) { return std::isfinite(x); });
    if (!finite || std::abs(a.pan) > 180 || std::abs(a.tilt) > 90 || std::abs(a.roll) > 180 ||
        a.fov < 10 || a.fov >= 180)
        refuse(QStringLiteral(
            "Camera directions and view width must be finite values within the supported ranges."));
    if (sixteenByNine && (a.fov < 45 || a.fov > 125))
        refuse(QStringLiteral(
            "Final Cut Normal mapping supports view width settings from 45 to 125."));
}

// The Mac folder must be a full path, and the source must lie inside the folder it replaces.
void checkMacFolder(const QUrl& source, const MacFolderMapping& mapping) {
    if (!mapping.macFolder.startsWith(QLatin1Char('/')))
        refuse(QStringLiteral("Give the folder on the Mac as a full path, such as "
                              "/Volumes/Footage/Trip."));
    const QString folder = FileNames::resolvedPath(QUrl::fromLocalFile(mapping.localFolder));
    const QString path = FileNames::resolvedPath(source);
    if (!path.startsWith(folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/')))
        refuse(QStringLiteral("The source video is not inside \u201C") +
               FileNames::displayText(mapping.localFolder) +
               QStringLiteral("\u201D, the folder to point at the Mac."));
}

} // namespace

void checkXMLText(const QString& text) {
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text.at(i);
        char32_t scalar = c.unicode();
        if (c.isHighSurrogate() && i + 1 < size && text.at(i + 1).isLowSurrogate())
            scalar = QChar::surrogateToUcs4(c, text.at(++i));
        else if (c.isSurrogate())
            scalar = 0; // a lone half of a pair is no character at all
        if (!isXMLChar(scalar))
            refuse(ExportMessages::controlCharacters());
    }
}

bool frameAligned(const MediaTime& t, const MediaTime& f) {
    std::array<std::uint64_t, 2> numerator{magnitude(t.value), magnitude(f.timescale)};
    std::array<std::uint64_t, 2> denominator{magnitude(t.timescale), magnitude(f.value)};
    for (std::uint64_t d : denominator) {
        if (d == 0)
            return false;
    }
    for (std::uint64_t& n : numerator) {
        for (std::uint64_t& d : denominator) {
            const std::uint64_t g = std::gcd(n, d);
            n /= g;
            d /= g;
        }
    }
    return denominator[0] == 1 && denominator[1] == 1;
}

QString seconds(const MediaTime& time) {
    if (!time.isExactNumeric() || time.hasBeenRounded() ||
        time.value == std::numeric_limits<std::int64_t>::min())
        refuse(ExportMessages::inexactTiming());
    const MediaTime r = reduced(time);
    QString text = QString::number(r.value);
    if (r.timescale != 1)
        text += QLatin1Char('/') + QString::number(r.timescale);
    return text + QLatin1Char('s');
}

void check(const ExportRequest& request) {
    const QUrl& source = request.source;
    const ExportMediaInfo& info = request.info;
    const QList<ExportView>& views = request.views;
    const std::int64_t width = request.size.width;
    const std::int64_t height = request.size.height;
    if (!source.isLocalFile() ||
        !FileNames::isAcceptedMovieExtension(FileNames::pathExtension(source)))
        refuse(QStringLiteral("Choose a stitched MP4 or MOV exported as a full 360° video."));
    if (views.size() < 3 || views.size() > 4)
        refuse(QStringLiteral("Exactly three or four views are required."));
    if (request.layout != ExportLayout::direct && request.layout != ExportLayout::compound)
        refuse(QStringLiteral("Unknown multicam layout."));
    if (!isEvenPixelCount(width) || !isEvenPixelCount(height))
        refuse(QStringLiteral("Output dimensions must be positive even pixel counts."));
    if (info.height < 1 || info.height > int32Max || info.width != 2 * info.height)
        refuse(QStringLiteral("Choose a full monoscopic 2:1 equirectangular video."));
    if (info.channels < 0 || (info.channels > 0 && info.sampleRate < 1))
        refuse(QStringLiteral("Could not determine the source audio format."));
    seconds(info.frameDuration);
    seconds(info.duration);
    seconds(info.sourceStart);
    if (info.frameDuration.value < 1 || info.duration.value < 1 ||
        !frameAligned(info.duration, info.frameDuration))
        refuse(QStringLiteral(
            "The source duration must contain a positive whole number of video frames."));
    if (request.name.trimmed().isEmpty())
        refuse(QStringLiteral("Give the project a name."));
    checkXMLText(request.name);
    checkXMLText(FileNames::displayText(FileNames::lastPathComponent(source)));
    if (info.colorSpace)
        checkXMLText(*info.colorSpace);

    QSet<QString> foldedNames;
    const bool sixteenByNine = isSixteenByNine(width, height);
    for (const ExportView& view : views)
        checkView(view, foldedNames, sixteenByNine);
    if (request.macFolder)
        checkMacFolder(source, *request.macFolder);
}

} // namespace FCPXMLExporter
