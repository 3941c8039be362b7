#pragma once

// Every preview surface, the renderer's upload context and the still renderer must live in one
// group of sharing OpenGL 3.3 core contexts, so that a frame uploaded once can be sampled by all
// of them. Qt only arranges that when told before the application object exists.
namespace OpenGLSetup {

// Call once in main(), before the QApplication or QGuiApplication is constructed.
void prepareSharedContexts();

} // namespace OpenGLSetup
