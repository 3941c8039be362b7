#include "model/AngleSettings.h"

#include "model/ViewPresets.h"

#include <algorithm>

AngleSettings::AngleSettings(QString id, QString title, QString key, double pan, double tilt,
                             QObject* parent)
    : QObject(parent), id_(std::move(id)), title_(std::move(title)), key_(std::move(key)),
      framing_(ViewAngles{pan, tilt, 0, 90}) {}

void AngleSettings::setTitle(const QString& title) {
    if (title == title_)
        return;
    title_ = title;
    emit titleChanged();
}

void AngleSettings::setFraming(const AngleFraming& framing) {
    if (framing == framing_)
        return;
    framing_ = framing;
    emit framingChanged();
}

QList<AngleSettings*> AngleSettings::startingViews(QObject* parent) {
    QList<AngleSettings*> views;
    for (const ViewPreset& preset : ViewPresets::starting)
        views.append(
            new AngleSettings(QString::fromUtf16(preset.id), QString::fromUtf16(preset.title),
                              QString::fromUtf16(preset.key), preset.pan, preset.tilt, parent));
    return views;
}

QList<ExportView> framedViews(const QList<AngleSettings*>& views, OutputFormat format) {
    QList<ExportView> result;
    result.reserve(views.size());
    for (const AngleSettings* view : views)
        result.append({view->title(), view->framing()[format]});
    return result;
}

QList<AngleSettings*> activeAngles(const QList<AngleSettings*>& angles, int angleCount) {
    const auto count = std::clamp<qsizetype>(angleCount, 0, angles.size());
    return angles.first(count);
}

QString keyInstruction(int angleCount) {
    return angleCount == 4 ? QStringLiteral("1, 2, 3, and 4") : QStringLiteral("1, 2, and 3");
}
