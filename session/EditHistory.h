#pragma once

#include "model/AngleFraming.h"
#include "model/OutputFormat.h"

#include <QList>
#include <QString>

#include <optional>
#include <vector>

// What undo and redo bring back: every view's name and framings, the number of views, the
// project's shape and size.
struct EditableState {
    QList<QString> titles;
    QList<AngleFraming> framings;
    int angleCount = 4;
    OutputFormat format = OutputFormat::landscape;
    OutputResolution resolution = OutputResolution::ultraHD;

    friend bool operator==(const EditableState&, const EditableState&) = default;
};

// The steps the user can undo and redo. Told of every edit with the state as it was just before
// it; edits inside an open group make one step, and typing into one view's name makes one step
// until something else is edited.
class EditHistory {
public:
    // What an edit touched, so that typing into one name coalesces.
    struct Touch {
        enum Kind { title, framing, angleCount, format, resolution } kind;
        int view = -1;
        friend bool operator==(const Touch&, const Touch&) = default;
    };

    void edited(const EditableState& before, Touch touch);
    void beginGroup();
    void endGroup();

    bool canUndo() const { return !undo_.empty(); }
    bool canRedo() const { return !redo_.empty(); }
    // The state to go back to, given the state now; nothing when there is no step.
    std::optional<EditableState> undo(const EditableState& now);
    std::optional<EditableState> redo(const EditableState& now);
    void clear();

private:
    std::vector<EditableState> undo_;
    std::vector<EditableState> redo_;
    std::optional<Touch> last_;
    int groupDepth_ = 0;
    bool groupRecorded_ = false;
};
