#include "platform/FilePanels.h"

#include <QMimeDatabase>

namespace FileTypes {

QStringList movieMimeTypes() {
    QStringList types{QStringLiteral("video/mp4"), QStringLiteral("video/quicktime"),
                      QStringLiteral("video/x-m4v")};
    const QList<QMimeType> known = QMimeDatabase().allMimeTypes();
    QStringList others;
    for (const QMimeType& type : known)
        if (type.name().startsWith(QLatin1String("video/")) && !types.contains(type.name()))
            others.append(type.name());
    others.sort();
    return types + others;
}

} // namespace FileTypes
