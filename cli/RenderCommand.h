#pragma once

#include "cli/CliArguments.h"

#include <QTextStream>

namespace Commands {

// Draws one view of the exact frame at a time into a PNG with the preview's renderer, written as
// a new file (or replacing one with --overwrite) whole or not at all. Needs a GUI application
// object (and so a display); returns the exit status and prints nothing on success.
int render(const RenderCommand& command, QTextStream& err);

// Whether a GUI application can be made here at all; without one, Qt would abort the process.
bool displayAvailable();

} // namespace Commands
