#include "ui/LaunchArguments.h"

std::optional<QUrl> sourceArgument(const QStringList& arguments, const QDir& workingDirectory) {
    const qsizetype flag = arguments.indexOf(QStringLiteral("--source"));
    if (flag < 0 || flag + 1 >= arguments.size())
        return std::nullopt;
    return QUrl::fromLocalFile(workingDirectory.absoluteFilePath(arguments[flag + 1]));
}
