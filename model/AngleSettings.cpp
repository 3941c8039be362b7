#include "model/AngleSettings.h"

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
    return {
        new AngleSettings(QStringLiteral("self"), QStringLiteral("Self"), QStringLiteral("1"), 180,
                          -12, parent),
        new AngleSettings(QStringLiteral("wing"), QStringLiteral("Wing"), QStringLiteral("2"), 0, 0,
                          parent),
        new AngleSettings(QStringLiteral("front"), QStringLiteral("Front"), QStringLiteral("3"),
                          110, 0, parent),
        new AngleSettings(QStringLiteral("fourth"), QStringLiteral("Rear"), QStringLiteral("4"),
                          -90, 0, parent),
    };
}

QList<AngleSettings*> activeAngles(const QList<AngleSettings*>& angles, int angleCount) {
    const auto count = std::clamp<qsizetype>(angleCount, 0, angles.size());
    return angles.first(count);
}

QString keyInstruction(int angleCount) {
    return angleCount == 4 ? QStringLiteral("1, 2, 3, and 4") : QStringLiteral("1, 2, and 3");
}
