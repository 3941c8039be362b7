#pragma once

#include "session/SessionModel.h"

// The values a save takes when it starts; later edits in the window do not reach it, and a save
// run again after the user chose a DTD uses them unchanged.
struct SessionModel::SaveJob {
    ExportRequest request;
    QString keyInstruction;
    bool openAfterSaving = false;
};
