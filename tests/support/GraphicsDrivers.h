#pragma once

#include <cstddef>
#include <cstring>
#include <dlfcn.h>
#include <link.h>

namespace TestSupport {

// Mesa unloads its driver with the last context; its allocations that live for the whole
// process would then be reported as leaks from an unknown module, beyond the suppressions that
// name the driver. Keeping it loaded keeps them attributable. Call before the last context goes.
inline void keepGraphicsDriversLoaded() {
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void*) {
            const char* name = info->dlpi_name;
            if (name && (std::strstr(name, "/dri/") || std::strstr(name, "libgallium") ||
                         std::strstr(name, "libLLVM") || std::strstr(name, "libGLX_mesa")))
                dlopen(name, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
            return 0;
        },
        nullptr);
}

} // namespace TestSupport
