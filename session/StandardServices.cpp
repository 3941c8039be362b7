#include "session/StandardServices.h"

#include "export/FCPXMLExporter.h"
#include "media/MediaInspector.h"
#include "platform/QtFilePanels.h"
#include "platform/Workspace.h"
#include "preview/LivePreviewSession.h"
#include "preview/gl/LiveGLRenderer.h"

void completeWithStandardServices(SessionServices& services) {
    if (!services.inspect)
        services.inspect = [](const QUrl& url, std::stop_token stop) {
            return MediaInspector::inspect(url, std::move(stop));
        };
    if (!services.write)
        services.write = [](const QUrl& source, const ExportMediaInfo& info,
                            const QList<ExportView>& views, std::int64_t width, std::int64_t height,
                            const QString& name, const QString& layout, const QUrl& destination) {
            FCPXMLExporter::write(source, info, views, width, height, name, layout, destination);
        };
    if (!services.workspace) {
        // The system's workspace lives for the whole process; the pointer does not own it.
        services.workspace =
            std::shared_ptr<const Workspace>(std::shared_ptr<void>(), &Workspace::system());
    }
    if (!services.panels)
        services.panels = std::make_shared<QtFilePanels>();
    if (!services.preview)
        services.preview =
            std::make_unique<LivePreviewSession>([]() -> std::unique_ptr<PreviewRenderer> {
                return std::make_unique<LiveGLRenderer>();
            });
}
