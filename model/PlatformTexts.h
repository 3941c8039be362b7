#pragma once

#include <QString>

// The sentences that name the computer's platform (the Mac, Finder, Metal). They are untrue on
// Linux, so each has this platform's wording; a macOS build keeps the original words.
namespace PlatformTexts {

enum class Text {
    gpuUnavailable,         // no GPU renderer at all
    rendererNotCreated,     // making the preview renderer failed
    frameShareFailedPrefix, // + status + ")."
    finalCutMissingMessage, // the hand-off found no Final Cut Pro
    finalCutMissingStatus,  // the status line after that
    revealButton,           // the button that shows the saved file
    dtdMissing,             // no FCPXML 1.14 document type definition anywhere
};

QString text(Text which);

} // namespace PlatformTexts
