#pragma once

#include "media/BoxReader.h"
#include "media/Movie.h"

#include <map>
#include <stop_token>

// Reads the box tree of a movie into a Movie in one pass over the top-level boxes: "moov" with
// its tracks, then every movie fragment ("moof") as it comes.
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

    void readMovieBox(const BoxHeader& movieBox);
    void readTrack();
    void keepTrack(Track track);
    void readMediaBox(Track& track, std::optional<BoxHeader>& sampleTable);
    void readEditList(Track& track, bool& seen);
    void readTrackExtends();
    void readFragment(const BoxHeader& fragment);
    void readTrackRun(Track& track, const TrackDefaults& defaults, std::uint64_t base,
                      std::uint64_t& dataEnd);
    Track* trackWithID(std::uint32_t id);

    ByteSource& source_;
    std::stop_token stop_;
    BoxReader reader_;
    Movie movie_;
    std::map<std::uint32_t, TrackDefaults> defaults_; // of the kept tracks only
    std::size_t maximumRuns_ = 0;
};
