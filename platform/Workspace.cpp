#include "platform/Workspace.h"

#include "platform/LinuxWorkspace.h"

const Workspace& Workspace::system() {
    static const LinuxWorkspace workspace;
    return workspace;
}
