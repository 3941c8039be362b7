#pragma once

#include <QString>

// Sentences the export shows the user, each used by more than one step.
namespace ExportMessages {

inline QString controlCharacters() {
    return QStringLiteral("Names cannot contain XML control characters.");
}
inline QString inexactTiming() {
    return QStringLiteral("Media timing must be a finite, exact rational value.");
}
inline QString localFilesOnly() {
    return QStringLiteral("Choose local source and export files.");
}

} // namespace ExportMessages
