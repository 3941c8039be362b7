#include "model/ExportRequest.h"

#include "model/FileNames.h"
#include "model/UserError.h"

#include <QDir>

#include <QSet>
#include <cmath>

QString rawValue(ExportLayout layout) {
    return layout == ExportLayout::compound ? QStringLiteral("compound") : QStringLiteral("direct");
}

std::optional<ExportLayout> exportLayoutFromRawValue(QStringView raw) {
    if (raw == u"direct")
        return ExportLayout::direct;
    if (raw == u"compound")
        return ExportLayout::compound;
    return std::nullopt;
}

namespace ExportRequests {

namespace {

bool isWithinRanges(const ViewAngles& a, ClosedRange widths) {
    const bool finite = std::isfinite(a.pan) && std::isfinite(a.tilt) && std::isfinite(a.roll) &&
                        std::isfinite(a.fov);
    return finite && std::abs(a.pan) <= 180 && std::abs(a.tilt) <= 90 && std::abs(a.roll) <= 180 &&
           widths.contains(a.fov);
}

int titleCount(const ProjectSetup& setup) {
    return int(setup.views.size());
}

} // namespace

void checkViews(const QList<ExportView>& views, OutputFormat format) {
    for (const ExportView& view : views)
        if (view.name.trimmed().isEmpty())
            throw ExportError(QStringLiteral("Give each camera view a name before exporting."));

    QSet<QString> seen;
    for (const ExportView& view : views) {
        const QString lowered = view.name.trimmed().toLower();
        if (seen.contains(lowered))
            throw ExportError(QStringLiteral("Use a different name for each camera view so they "
                                             "are easy to identify in Final Cut Pro."));
        seen.insert(lowered);
    }

    const ClosedRange widths = format.viewWidthRange();
    for (const ExportView& view : views) {
        if (!isWithinRanges(view.angles, widths))
            throw ExportError(
                view.name.trimmed() +
                QStringLiteral(": set pan and roll from \u2212180\u00B0 to 180\u00B0, tilt from "
                               "\u221290\u00B0 to 90\u00B0, and view width from ") +
                QString::asprintf("%.1f", widths.lowerBound) + QStringLiteral(" to ") +
                QString::asprintf("%.1f", widths.upperBound) + QStringLiteral("."));
    }
}

ExportRequest make(const QUrl& source, const ProjectSetup& setup) {
    checkViews(setup.views, setup.format);
    ExportRequest request;
    request.source = source;
    for (const ExportView& view : setup.views)
        request.views.append({view.name.trimmed(), view.angles});
    request.size = setup.format.dimensions(setup.resolution);
    request.name = setup.naming.title(titleCount(setup), setup.format, setup.resolution, true);
    request.layout = setup.layout;
    request.macFolder = setup.macFolder;
    return request;
}

QString proposedFilename(const ProjectSetup& setup) {
    return setup.naming.filename(titleCount(setup), setup.format, setup.resolution, true);
}

QString mediaPath(const ExportRequest& request) {
    const QString path = FileNames::resolvedPath(request.source);
    if (!request.macFolder)
        return path;
    QString folder = FileNames::resolvedPath(QUrl::fromLocalFile(request.macFolder->localFolder));
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return QDir::cleanPath(request.macFolder->macFolder + QLatin1Char('/') +
                           path.mid(folder.size()));
}

} // namespace ExportRequests
