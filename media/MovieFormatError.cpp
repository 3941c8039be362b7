#include "media/MovieFormatError.h"

MovieFormatError::MovieFormatError()
    : MessageError(QStringLiteral(
          "This file could not be read as a movie; it may be damaged or incomplete.")) {}

MovieTooLargeError::MovieTooLargeError()
    : MessageError(QStringLiteral("There is not enough memory to inspect this movie.")) {}
