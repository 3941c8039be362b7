#pragma once

#include "platform/FilePanels.h"

#include <QList>
#include <functional>

// File panels that answer from the test instead of a user, and remember what they were asked.
class ScriptedPanels final : public FilePanels {
public:
    std::function<std::optional<QUrl>(const OpenPanelRequest&)> onOpen;
    std::function<std::optional<QUrl>(const SavePanelRequest&)> onSave;
    QList<OpenPanelRequest> openRequests;
    QList<SavePanelRequest> saveRequests;

    std::optional<QUrl> runOpenPanel(const OpenPanelRequest& request) override {
        openRequests.append(request);
        return onOpen ? onOpen(request) : std::nullopt;
    }
    std::optional<QUrl> runSavePanel(const SavePanelRequest& request) override {
        saveRequests.append(request);
        return onSave ? onSave(request) : std::nullopt;
    }
};
