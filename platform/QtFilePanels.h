#pragma once

#include "platform/FilePanels.h"

// The open and save panels as Qt file dialogs, modal over the active window. QFileDialog has no
// message line, so the request's message becomes the dialog's title.
class QtFilePanels final : public FilePanels {
public:
    std::optional<QUrl> runOpenPanel(const OpenPanelRequest& request) override;
    std::optional<QUrl> runSavePanel(const SavePanelRequest& request) override;
};
