#pragma once

#include <QString>
#include <QUrl>
#include <optional>

class Workspace;

// What the program reads from Final Cut Pro without running it.
namespace FinalCutSupport {

inline const QString bundleIdentifier = QStringLiteral("com.apple.FinalCut");

// The FCPXML 1.14 document type definition every save is validated against: the first readable
// one inside an installed Final Cut Pro, or nothing. The program never ships its own.
std::optional<QUrl> dtdURL(const Workspace& workspace);

} // namespace FinalCutSupport
