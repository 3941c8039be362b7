#include "model/ViewDraft.h"

#include "model/UserError.h"

#include <QSet>
#include <cmath>

namespace ViewDrafts {

QList<ViewDraft> from(const QList<AngleSettings*>& views, OutputFormat format) {
    QList<ViewDraft> drafts;
    drafts.reserve(views.size());
    for (const AngleSettings* view : views)
        drafts.append({view->id(), view->title().trimmed(), view->framing()[format]});
    return drafts;
}

void check(const QList<ViewDraft>& drafts, OutputFormat format) {
    for (const ViewDraft& draft : drafts)
        if (draft.name.isEmpty())
            throw ExportError(QStringLiteral("Give each camera view a name before exporting."));

    QSet<QString> seen;
    for (const ViewDraft& draft : drafts) {
        const QString lowered = draft.name.toLower();
        if (seen.contains(lowered))
            throw ExportError(QStringLiteral("Use a different name for each camera view so they "
                                             "are easy to identify in Final Cut Pro."));
        seen.insert(lowered);
    }

    const ClosedRange widths = format.viewWidthRange();
    for (const ViewDraft& draft : drafts) {
        const ViewAngles& a = draft.framing;
        const bool finite = std::isfinite(a.pan) && std::isfinite(a.tilt) &&
                            std::isfinite(a.roll) && std::isfinite(a.fov);
        if (!finite || std::abs(a.pan) > 180 || std::abs(a.tilt) > 90 || std::abs(a.roll) > 180 ||
            !widths.contains(a.fov)) {
            throw ExportError(
                draft.name +
                QStringLiteral(": set pan and roll from \u2212180\u00B0 to 180\u00B0, tilt from "
                               "\u221290\u00B0 to 90\u00B0, and view width from ") +
                QString::asprintf("%.1f", widths.lowerBound) + QStringLiteral(" to ") +
                QString::asprintf("%.1f", widths.upperBound) + QStringLiteral("."));
        }
    }
}

QList<ExportView> exportViews(const QList<ViewDraft>& drafts) {
    QList<ExportView> views;
    views.reserve(drafts.size());
    for (const ViewDraft& d : drafts)
        views.append({d.name, d.framing.pan, d.framing.tilt, d.framing.roll, d.framing.fov});
    return views;
}

} // namespace ViewDrafts
