#pragma once

#include "session/SessionModel.h"

// Fills every empty member with the real service: the media inspector, the FCPXML writer with
// Final Cut Pro's installed DTD, the desktop's workspace, Qt's file dialogs and a preview
// engine that draws through OpenGL.
void completeWithStandardServices(SessionServices& services);
