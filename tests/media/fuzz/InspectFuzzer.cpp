// libFuzzer entry: inspects arbitrary bytes as a movie. Refusals and damaged-file errors are
// answers; anything else (a crash, a sanitizer report, another exception, a hang) is a fault.
#include "media/ByteSource.h"
#include "media/MediaInspector.h"
#include "model/UserError.h"

#include <cstddef>
#include <cstdint>
#include <system_error>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MemoryByteSource source(std::span<const std::uint8_t>(data, size));
    try {
        MediaInspector::inspect(source);
    } catch (const MessageError&) {
    } catch (const std::system_error&) {
    }
    return 0;
}
