#pragma once

#include "model/UserError.h"

// The file is not an ISO base media movie (MP4, MOV, M4V), or its structure is damaged or cut
// short. One sentence for every such case: the user's remedy is the same.
class MovieFormatError : public MessageError {
public:
    MovieFormatError();
};
