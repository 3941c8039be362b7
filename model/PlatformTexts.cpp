#include "model/PlatformTexts.h"

namespace PlatformTexts {

namespace {

struct Row {
    Text which;
    const char16_t* macWords;
    const char16_t* linuxWords;
};

// The one table: the original words and this platform's.
constexpr Row rows[] = {
    {Text::gpuUnavailable, u"Metal is unavailable on this Mac.",
     u"OpenGL 3.3 is unavailable on this display."},
    {Text::rendererNotCreated, u"This Mac could not create a Metal preview renderer.",
     u"This computer could not create an OpenGL preview renderer."},
    {Text::frameShareFailedPrefix, u"Could not share the decoded video frame with Metal (",
     u"Could not share the decoded video frame with OpenGL ("},
    {Text::finalCutMissingMessage,
     u"Your XML is saved, but Final Cut Pro could not be found on this Mac. You can show the "
     u"file in Finder and import it later.",
     u"Your XML is saved, but Final Cut Pro could not be found on this computer. You can show the "
     u"file in the file manager and import it later on a Mac."},
    {Text::finalCutMissingStatus, u"XML saved. Final Cut Pro is not available on this Mac.",
     u"XML saved. Final Cut Pro is not available on this computer."},
    {Text::revealButton, u"Show exported XML in Finder", u"Show exported XML in file manager"},
    {Text::dtdMissing,
     u"Final Cut Pro's FCPXML 1.14 support files could not be found. Install or update Final "
     u"Cut Pro, then try again.",
     u"Final Cut Pro's FCPXML 1.14 document type definition was not found. Copy "
     u"FCPXMLv1_14.dtd from Final Cut Pro on a Mac (inside the app, in "
     u"Contents/Frameworks/Interchange.framework/Resources), then choose it here."},
};

} // namespace

QString text(Text which) {
    for (const Row& row : rows) {
        if (row.which != which)
            continue;
#ifdef __APPLE__
        return QString::fromUtf16(row.macWords);
#else
        return QString::fromUtf16(row.linuxWords);
#endif
    }
    return {};
}

} // namespace PlatformTexts
