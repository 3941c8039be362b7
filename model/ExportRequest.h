#pragma once

#include "model/ExportMediaInfo.h"
#include "model/ExportView.h"
#include "model/OutputFormat.h"
#include "model/ProjectNaming.h"

#include <QList>
#include <QString>
#include <QStringView>
#include <QUrl>
#include <optional>

// How each angle of the multicam clip holds its view: the source clip itself, or a compound clip
// per view.
enum class ExportLayout { direct, compound };

QString rawValue(ExportLayout layout);
std::optional<ExportLayout> exportLayoutFromRawValue(QStringView raw);

// Where the media is for Final Cut Pro on a Mac: the document points at the source under
// macFolder instead of under localFolder, the folder of this computer it lies in.
struct MacFolderMapping {
    QString localFolder;
    QString macFolder;

    friend bool operator==(const MacFolderMapping&, const MacFolderMapping&) = default;
};

// Everything one save writes: the source with the facts inspection measured, the views, the
// project's size and name, the layout and the new file's location.
struct ExportRequest {
    QUrl source;
    ExportMediaInfo info;
    QList<ExportView> views;
    OutputDimensions size;
    QString name;
    ExportLayout layout = ExportLayout::direct;
    QUrl destination;
    // Absent: the document points at the source where it is on this computer.
    std::optional<MacFolderMapping> macFolder;
};

// A project as the user set it up in the window or on the command line.
struct ProjectSetup {
    // The active views in order, named as typed.
    QList<ExportView> views;
    OutputFormat format = OutputFormat::landscape;
    OutputResolution resolution = OutputResolution::ultraHD;
    ProjectNaming naming;
    ExportLayout layout = ExportLayout::direct;
    std::optional<MacFolderMapping> macFolder;
};

namespace ExportRequests {

// Refuses nameless views, names equal when lower-cased, and framings outside the ranges the
// Normal mapping supports, naming the first view that fails. Names are taken trimmed. Throws
// ExportError.
void checkViews(const QList<ExportView>& views, OutputFormat format);

// The request a save of the setup makes, after checkViews: names trimmed, the size of the shape
// and resolution, the project title. The inspection's facts and the destination are the save's
// to fill in.
ExportRequest make(const QUrl& source, const ProjectSetup& setup);

// The file name a save proposes for the setup.
QString proposedFilename(const ProjectSetup& setup);

// The path the document gives for the source: where it is, symbolic links resolved, or the same
// file under the Mac folder when the request maps one (the export checks that it lies inside).
QString mediaPath(const ExportRequest& request);

} // namespace ExportRequests
