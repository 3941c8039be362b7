#pragma once

#include "platform/Workspace.h"
#include "session/SessionModel.h"
#include "ui/AnglePreviewFactory.h"
#include "ui/MainView.h"

#include <QStringList>

#include <memory>

class QApplication;

// The application: one window titled "Tessaly" whose content is the main view. It keeps no
// state; main() and the tests build the window through the same calls. This is the one place
// where the real services are made and handed to the parts that use them.
namespace KorvaneApp {

inline constexpr int defaultWidth = 1320;
inline constexpr int defaultHeight = 900;

// What the window is built from.
struct Composition {
    SessionServices services;
    AnglePreviewFactory previews;
    OverviewFactory overview;
};

// The real services on the given desktop: the media inspector, the FCPXML writer validating
// against the DTD that desktop finds, Qt's file dialogs, a preview engine decoding with FFmpeg
// and drawing through OpenGL, and the surfaces that draw its frames.
Composition standardComposition(std::shared_ptr<const Workspace> workspace);
Composition standardComposition();

// Must run before the QApplication exists: the previews share one group of OpenGL 3.3 core
// contexts, which Qt arranges only when asked first.
void prepareProcess();

// Names the application for the desktop (its entry, icon and window grouping).
void configure(QApplication& application);

// The window, at its default size, not yet shown.
std::unique_ptr<MainView> makeWindow(Composition composition, const QStringList& arguments);

// The program's arguments, file paths kept byte for byte (see FileNames::decodedPath).
QStringList arguments(int argc, char** argv);

int run(int argc, char** argv);

} // namespace KorvaneApp
