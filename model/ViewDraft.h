#pragma once

#include "model/AngleSettings.h"
#include "model/ExportView.h"
#include "model/OutputFormat.h"
#include "model/ViewAngles.h"

#include <QList>
#include <QString>

// One active view as a save takes it when it starts: later edits do not reach the save.
struct ViewDraft {
    QString id;
    // The title trimmed of white space at both ends.
    QString name;
    ViewAngles framing;
};

namespace ViewDrafts {

// Copies the given views' names and their framing for the format, in order.
QList<ViewDraft> from(const QList<AngleSettings*>& views, OutputFormat format);

// Refuses nameless views, names that differ only in case, and framings outside the ranges the
// Normal mapping supports, naming the first view that fails. Throws ExportError.
void check(const QList<ViewDraft>& drafts, OutputFormat format);

QList<ExportView> exportViews(const QList<ViewDraft>& drafts);

} // namespace ViewDrafts
