#include "model/OutputFormat.h"

#include "model/NativeProjection.h"

QString OutputDimensions::displayName() const {
    return QStringLiteral("%1 \u00D7 %2").arg(width).arg(height);
}

std::optional<OutputResolution> OutputResolution::fromRawValue(QStringView raw) {
    for (Case c : allCases)
        if (OutputResolution(c).rawValue() == raw)
            return OutputResolution(c);
    return std::nullopt;
}

QString OutputResolution::rawValue() const {
    return case_ == hd ? QStringLiteral("hd") : QStringLiteral("ultraHD");
}

QString OutputResolution::displayName() const {
    return case_ == hd ? QStringLiteral("HD") : QStringLiteral("4K");
}

std::optional<OutputFormat> OutputFormat::fromRawValue(QStringView raw) {
    for (Case c : allCases)
        if (OutputFormat(c).rawValue() == raw)
            return OutputFormat(c);
    return std::nullopt;
}

QString OutputFormat::rawValue() const {
    return case_ == landscape ? QStringLiteral("landscape") : QStringLiteral("portrait");
}

QString OutputFormat::displayName() const {
    return case_ == landscape ? QStringLiteral("Landscape 16:9") : QStringLiteral("Portrait 9:16");
}

double OutputFormat::aspectRatio() const {
    return case_ == landscape ? 16.0 / 9.0 : 9.0 / 16.0;
}

OutputDimensions OutputFormat::dimensions(OutputResolution resolution) const {
    const std::int64_t longSide = resolution == OutputResolution::hd ? 1920 : 3840;
    const std::int64_t shortSide = resolution == OutputResolution::hd ? 1080 : 2160;
    if (case_ == landscape)
        return {longSide, shortSide};
    return {shortSide, longSide};
}

Coverage OutputFormat::coverage(double viewWidth) const {
    return NativeProjection::coverage(viewWidth, aspectRatio());
}
