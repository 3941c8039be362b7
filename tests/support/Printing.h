#pragma once

#include <QString>
#include <optional>
#include <ostream>

// Readable texts in test failures.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const std::optional<QString>& text, std::ostream* out) {
    if (text)
        PrintTo(*text, out);
    else
        *out << "(none)";
}
