#pragma once

#include "session/SessionModel.h"
#include "ui/MainView.h"

#include <QStringList>

#include <memory>

class QApplication;

// The application: one window titled "Tessaly" whose content is the main view. It keeps no
// state; main() and the tests build the window through the same calls.
namespace KorvaneApp {

inline constexpr int defaultWidth = 1320;
inline constexpr int defaultHeight = 900;

// Must run before the QApplication exists: the previews share one group of OpenGL 3.3 core
// contexts, which Qt arranges only when asked first.
void prepareProcess();

// Names the application for the desktop (its entry, icon and window grouping).
void configure(QApplication& application);

// The window, at its default size, not yet shown.
std::unique_ptr<MainView> makeWindow(SessionServices services, const QStringList& arguments);

int run(int argc, char** argv);

} // namespace KorvaneApp
