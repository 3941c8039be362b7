#pragma once

#include <QDir>
#include <QStringList>
#include <QUrl>

#include <optional>

// The video named on the command line: the argument after the first "--source", a relative
// path taken from the working directory. Nothing when "--source" is absent or comes last.
std::optional<QUrl> sourceArgument(const QStringList& arguments,
                                   const QDir& workingDirectory = QDir::current());
