#pragma once

#include <libxml/parser.h>
#include <mutex>

// libxml2 must set up its global tables once before several threads use it.
inline void initialiseLibxml() {
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
}
