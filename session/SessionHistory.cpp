// Undo and redo of what the user edits in the window.
#include "session/SessionModel.h"

EditableState SessionModel::editableState() const {
    EditableState state;
    for (const AngleSettings* view : angles_) {
        state.titles.append(view->title());
        state.framings.append(view->framing());
    }
    state.angleCount = angleCount_;
    state.format = outputFormat_;
    state.resolution = outputResolution_;
    return state;
}

void SessionModel::noteEdit(EditHistory::Touch touch) {
    const EditableState now = editableState();
    if (now == editedState_)
        return;
    if (!restoring_)
        history_.edited(editedState_, touch);
    editedState_ = now;
    emit historyChanged();
}

void SessionModel::beginEdit() {
    history_.beginGroup();
}

void SessionModel::endEdit() {
    history_.endGroup();
}

void SessionModel::undo() {
    if (const std::optional<EditableState> previous = history_.undo(editableState()))
        restore(*previous);
}

void SessionModel::redo() {
    if (const std::optional<EditableState> next = history_.redo(editableState()))
        restore(*next);
}

// Everything goes back as it was, the portrait framings' "prepared" marks included, with the
// usual notifications so that the window follows.
void SessionModel::restore(const EditableState& state) {
    restoring_ = true;
    for (qsizetype i = 0; i < angles_.size() && i < state.titles.size(); ++i) {
        angles_[i]->setTitle(state.titles[i]);
        angles_[i]->setFraming(state.framings[i]);
    }
    if (state.format != outputFormat_) {
        outputFormat_ = state.format;
        emit outputFormatChanged();
    }
    setOutputResolution(state.resolution);
    setAngleCount(state.angleCount);
    restoring_ = false;
    editedState_ = editableState();
    emit historyChanged();
}
