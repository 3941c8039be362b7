#pragma once

#include <QString>
#include <algorithm>
#include <optional>
#include <vector>

// The text values of the timecode items in a track's or a movie's metadata, each different label
// once, in the order first seen. Repeated items cost nothing, so metadata cannot grow memory.
struct TimecodeLabels {
    // More different labels than this cannot name one start: leading zeros aside, two labels
    // agree only as a drop-frame and a non-drop-frame spelling of the same frame.
    static constexpr std::size_t maximum = 16;

    std::vector<QString> labels;
    bool unusable = false; // an item without a text value, or too many different labels

    void add(const std::optional<QString>& value) {
        if (!value) {
            unusable = true;
        } else if (std::find(labels.begin(), labels.end(), *value) == labels.end()) {
            if (labels.size() == maximum)
                unusable = true;
            else
                labels.push_back(*value);
        }
    }
    bool empty() const { return labels.empty() && !unusable; }
};
