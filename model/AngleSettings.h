#pragma once

#include "model/AngleFraming.h"
#include "model/ExportView.h"

#include <QList>
#include <QObject>
#include <QString>

// One of the session's four camera views: a stable identity, a fixed number key, a name the
// user edits and a framing per frame shape. Setters notify only on a real change.
class AngleSettings : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString title READ title WRITE setTitle NOTIFY titleChanged)

public:
    AngleSettings(QString id, QString title, QString key, double pan, double tilt,
                  QObject* parent = nullptr);

    const QString& id() const { return id_; }
    const QString& key() const { return key_; }

    const QString& title() const { return title_; }
    void setTitle(const QString& title);

    const AngleFraming& framing() const { return framing_; }
    void setFraming(const AngleFraming& framing);

    // The four starting views in list order: Self, Wing, Front and the Rear placeholder.
    static QList<AngleSettings*> startingViews(QObject* parent);

signals:
    void titleChanged();
    void framingChanged();

private:
    QString id_;
    QString title_;
    QString key_;
    AngleFraming framing_;
};

// The first angleCount views, in order (all of them when the list is shorter).
QList<AngleSettings*> activeAngles(const QList<AngleSettings*>& angles, int angleCount);

// The views' names as typed and their framing for the format, in order.
QList<ExportView> framedViews(const QList<AngleSettings*>& views, OutputFormat format);

// How the cut keys are described: "1, 2, 3, and 4" with four views, "1, 2, and 3" otherwise.
QString keyInstruction(int angleCount);
