#pragma once

#include <QString>
#include <optional>

// libxml2 must set up its global tables once before several threads use it, and its loader of
// outside resources is replaced for the whole program, so that no document type definition can
// make it open another file or a network connection. Safe to call any number of times.
void initialiseLibxml();

// For as long as it lives, notes the first outside resource libxml2 asked for on this thread (and
// was refused), so that a parse that needed one fails with a reason.
class RefusedResourceWatch {
public:
    RefusedResourceWatch();
    ~RefusedResourceWatch();
    RefusedResourceWatch(const RefusedResourceWatch&) = delete;
    RefusedResourceWatch& operator=(const RefusedResourceWatch&) = delete;

    // "The document type definition refers to an outside resource (URL), which is never loaded."
    const std::optional<QString>& reason() const { return reason_; }
    void note(const char* url);

private:
    RefusedResourceWatch* previous_;
    std::optional<QString> reason_;
};
