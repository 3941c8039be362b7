#pragma once

#include <QString>
#include <QUrl>
#include <optional>

class Workspace;

// What the program reads from Final Cut Pro without running it.
namespace FinalCutSupport {

inline const QString bundleIdentifier = QStringLiteral("com.apple.FinalCut");

// The FCPXML 1.14 document type definition every save is validated against, the first readable
// one of: inside an installed Final Cut Pro; the user's copy (userDTDPath); a copy in a system
// data folder ($XDG_DATA_DIRS, by default /usr/local/share and /usr/share, under tessaly/).
// The program never ships its own.
std::optional<QUrl> dtdURL(const Workspace& workspace);

// Where the user's copy lives: $XDG_DATA_HOME/tessaly/FCPXMLv1_14.dtd, by default under
// ~/.local/share.
QString userDTDPath();

} // namespace FinalCutSupport
