#pragma once

#include "media/BoxReader.h"
#include "media/Movie.h"

#include <map>
#include <stop_token>

// Reads the box tree of a movie into a Movie: "moov" with its tracks, then every movie fragment
// ("moof") in file order.
class MovieParser {
public:
    MovieParser(ByteSource& source, std::stop_token stop);
    Movie parse();

private:
    struct TrackDefaults {
        std::uint32_t descriptionIndex = 1;
        std::uint32_t duration = 0;
        std::uint32_t size = 0;
    };

    void readMovieBox();
    void readTrack();
    void readMediaBox(Track& track, std::optional<BoxHeader>& sampleTable);
    void readEditList(Track& track, bool& seen);
    void readTrackExtends();
    void readFragment(const BoxHeader& fragment);
    Track& trackWithID(std::uint32_t id);

    ByteSource& source_;
    std::stop_token stop_;
    BoxReader reader_;
    Movie movie_;
    std::map<std::uint32_t, TrackDefaults> defaults_;
    std::map<const Track*, std::int64_t> nextDecodeTime_;
};
