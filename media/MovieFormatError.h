#pragma once

#include "model/UserError.h"

// The file is not an ISO base media movie (MP4, MOV, M4V), or its structure is damaged or cut
// short. One sentence for every such case: the user's remedy is the same.
class MovieFormatError : public MessageError {
public:
    MovieFormatError();
};

// Reading the movie's tables would take more memory than inspection may use, or the system
// refused an allocation.
class MovieTooLargeError : public MessageError {
public:
    MovieTooLargeError();
};
