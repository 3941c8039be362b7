#include "platform/FinalCutSupport.h"

#include "platform/Workspace.h"

#include <QFileInfo>

namespace FinalCutSupport {

std::optional<QUrl> dtdURL(const Workspace& workspace) {
    QList<QUrl> bundles = workspace.applicationURLs(bundleIdentifier);
    bundles.append(QUrl::fromLocalFile(QStringLiteral("/Applications/Final Cut Pro.app")));
    for (const QUrl& bundle : bundles) {
        if (!bundle.isLocalFile())
            continue;
        for (const char* inside :
             {"Contents/Frameworks/Interchange.framework/Versions/A/Resources/FCPXMLv1_14.dtd",
              "Contents/Frameworks/Interchange.framework/Resources/FCPXMLv1_14.dtd"}) {
            const QFileInfo dtd(bundle.toLocalFile() + QLatin1Char('/') + QLatin1String(inside));
            if (dtd.isFile() && dtd.isReadable())
                return QUrl::fromLocalFile(dtd.absoluteFilePath());
        }
    }
    return std::nullopt;
}

} // namespace FinalCutSupport
