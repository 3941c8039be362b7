#pragma once

#include "model/ExportRequest.h"
#include "model/OutputFormat.h"
#include "model/ViewAngles.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>
#include <stdexcept>

// A command line that cannot be understood: exit status 2 with the usage.
class UsageError : public std::runtime_error {
public:
    explicit UsageError(const QString& reason);
    QString reason() const { return QString::fromUtf8(what()); }
};

struct NamedView {
    QString name;
    ViewAngles angles;
};

struct InspectCommand {
    QString file;
};

struct ExportCommand {
    QString file;
    QString output;
    // Absent: the number of --view options when three or four are given, else four.
    std::optional<int> viewCount;
    OutputFormat format = OutputFormat::landscape;
    OutputResolution resolution = OutputResolution::ultraHD;
    ExportLayout layout = ExportLayout::direct;
    std::optional<QString> name;
    QList<NamedView> views;
    std::optional<QString> dtd;
    std::optional<MacFolderMapping> macFolder;
};

struct RenderCommand {
    QString file;
    double time = 0;
    QString output;
    static constexpr int smallestSide = 16;
    static constexpr int largestSide = 8192;
    int width = 1920;
    int height = 1080;
    NamedView view{QStringLiteral("View"), {}};
    // Replace an existing picture (never the source video).
    bool overwrite = false;
};

struct InstallDTDCommand {
    QString file;
};

struct CliCommand {
    enum Kind { help, inspect, exportProject, render, installDTD } kind = help;
    InspectCommand inspectArgs;
    ExportCommand exportArgs;
    RenderCommand renderArgs;
    InstallDTDCommand installDTDArgs;
};

namespace CliArguments {

QString usage();

// Throws UsageError for anything that is not a complete, well-formed command. "-h" and "--help"
// ask for help only where an option may stand; as an option's value they are that value. "--"
// ends the options: what follows is a file.
CliCommand parse(const QStringList& arguments);

// "NAME:PAN:TILT:ROLL:WIDTH"; the name may itself contain colons.
NamedView parseView(const QString& text);

} // namespace CliArguments
