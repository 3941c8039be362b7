#include "session/EditHistory.h"

void EditHistory::edited(const EditableState& before, Touch touch) {
    const bool coalesces =
        groupDepth_ > 0 ? groupRecorded_ : touch.kind == Touch::title && last_ == touch;
    last_ = touch;
    if (coalesces)
        return;
    undo_.push_back(before);
    redo_.clear();
    groupRecorded_ = groupDepth_ > 0;
}

void EditHistory::beginGroup() {
    if (groupDepth_++ == 0)
        groupRecorded_ = false;
}

void EditHistory::endGroup() {
    if (groupDepth_ > 0 && --groupDepth_ == 0) {
        groupRecorded_ = false;
        // What follows a group is a step of its own, even more typing into the same name.
        last_.reset();
    }
}

std::optional<EditableState> EditHistory::undo(const EditableState& now) {
    if (undo_.empty())
        return std::nullopt;
    EditableState previous = undo_.back();
    undo_.pop_back();
    redo_.push_back(now);
    last_.reset();
    return previous;
}

std::optional<EditableState> EditHistory::redo(const EditableState& now) {
    if (redo_.empty())
        return std::nullopt;
    EditableState next = redo_.back();
    redo_.pop_back();
    undo_.push_back(now);
    last_.reset();
    return next;
}

void EditHistory::clear() {
    undo_.clear();
    redo_.clear();
    last_.reset();
}
