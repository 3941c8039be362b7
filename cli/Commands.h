#pragma once

#include "cli/CliArguments.h"
#include "model/ExportMediaInfo.h"

#include <QTextStream>

// The command-line tool's commands, on the same code paths as the window. Each returns the exit
// status: 0 done, 1 refused or failed (the message alone on one line of `err`).
namespace Commands {

int inspect(const InspectCommand& command, QTextStream& out, QTextStream& err);
// Print nothing on success.
int exportProject(const ExportCommand& command, QTextStream& err);
int installDTD(const InstallDTDCommand& command, QTextStream& err);

// The inspected facts as one JSON object, keys in a fixed order; times as FCPXML rationals.
QString mediaInfoJson(const ExportMediaInfo& info);

} // namespace Commands
