// Damaged, cut, sparse and crafted files, and the one answer each must give: a refusal in one of
// our sentences within a second, never a crash, a hang or a wrong result.
#include "ClipTools.h"
#include "SourceTestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <random>
#include <set>

using namespace MediaTest;

namespace {

// A file of `size` bytes that holds `head` and zeros after it, as a sparse file reads.
class SparseSource final : public ByteSource {
public:
    SparseSource(QByteArray head, std::uint64_t size) : head_(std::move(head)), size_(size) {}
    std::uint64_t size() const override { return size_; }

protected:
    void readAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] = offset + i < std::uint64_t(head_.size()) ? head_[qsizetype(offset + i)] : 0;
    }

private:
    QByteArray head_;
    std::uint64_t size_;
};

QString answerOf(ByteSource& source) {
    try {
        MediaInspector::inspect(source);
        return QStringLiteral("accepted");
    } catch (const MessageError& error) {
        return error.message(); // anything else escapes and fails the test
    }
}

QString answerOf(const QByteArray& bytes, std::uint64_t sparseSize = 0) {
    SparseSource source(bytes, std::max<std::uint64_t>(sparseSize, bytes.size()));
    return answerOf(source);
}

// Overwrites the 32-bit field `fieldOffset` bytes into the payload of the `nth` `type` box.
QByteArray patched(QByteArray bytes, const char* type, int fieldOffset, std::uint32_t value,
                   int nth = 0) {
    qsizetype at = -1;
    for (int i = 0; i <= nth; ++i)
        at = bytes.indexOf(QByteArray(type, 4), at + 1);
    for (int i = 0; i < 4; ++i)
        bytes[at + 4 + fieldOffset + i] = char(value >> (24 - 8 * i));
    return bytes;
}

const QByteArray& clip(const char* name, const QStringList& extra = {}) {
    static QTemporaryDir dir;
    static std::map<std::string, QByteArray> made;
    QByteArray& bytes = made[name];
    if (bytes.isEmpty()) {
        QFile file(
            makeClip(QDir(dir.path()), QString::fromLatin1(name),
                     QStringList{"-f", "lavfi", "-i", "testsrc2=size=64x32:rate=30000/1001", "-f",
                                 "lavfi", "-i", "sine=sample_rate=48000", "-t", "1", "-c:v",
                                 "libx264", "-c:a", "aac", "-timecode", "00:59:59;28"} +
                         extra));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        bytes = file.readAll();
    }
    return bytes;
}
const QByteArray& movieAtEnd() {
    return clip("end.mov");
}
const QByteArray& movieAtStart() {
    return clip("start.mp4", {"-movflags", "+faststart"});
}
const QByteArray& fragments() {
    return clip("fragments.mp4", {"-g", "10", "-movflags", "frag_keyframe+empty_moov"});
}

// Ends of the top-level boxes: cut there, a fragmented file is a shorter movie.
std::set<qsizetype> boxEnds(const QByteArray& bytes) {
    std::set<qsizetype> ends;
    for (qsizetype at = 0; at + 8 <= bytes.size();) {
        const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.constData() + at);
        at += qsizetype(std::uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]);
        ends.insert(at);
    }
    return ends;
}

// Cuts inside a box: every 4096 bytes, and every 7 bytes through the movie box.
std::vector<QByteArray> cutsInsideBoxes(const QByteArray& file) {
    const std::set<qsizetype> ends = boxEnds(file);
    const qsizetype moov = file.indexOf("moov") - 4;
    const qsizetype moovEnd = *ends.upper_bound(moov);
    std::vector<QByteArray> cuts;
    for (qsizetype length = 0; length < file.size(); ++length)
        if (!ends.count(length) &&
            (length % 4096 == 0 || (length >= moov && length < moovEnd && length % 7 == 0)))
            cuts.push_back(file.left(length));
    return cuts;
}

// 3000 changes of one to four bytes, three in four inside the movie box.
void checkMutations(const QByteArray& file, std::uint32_t seed) {
    std::mt19937 random(seed);
    const qsizetype moov = file.indexOf("moov") - 4;
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        QByteArray damaged = file;
        for (int i = 0, changes = 1 + int(random() % 4); i < changes; ++i) {
            const qsizetype at =
                random() % 4 != 0 ? moov + qsizetype(random() % std::uint32_t(file.size() - moov))
                                  : qsizetype(random() % std::uint32_t(file.size()));
            damaged[at] = char(random() % 2 ? random() : damaged[at] ^ (1 << (random() % 8)));
        }
        accepted += answerOf(damaged) == QStringLiteral("accepted");
    }
    // Most changes land in fields nobody checks; some must still be caught.
    EXPECT_GT(accepted, 0);
    EXPECT_LT(accepted, 3000);
}

Mp4::MoviePlan fiveFrames() {
    return equirectangularMovie(5);
}

} // namespace

TEST(DamagedFiles, EachGivesItsAnswer) {
    const QByteArray movie = Mp4::writeMovie(fiveFrames());
    const qsizetype moov = movie.indexOf("moov") - 4;
    Mp4::BoxWriter huge;
    huge.u32(1);
    huge.fourCC("free");
    huge.u64(~0ull);
    Mp4::MoviePlan spilling = fiveFrames();
    spilling.meta = QByteArray("\0\0\x10\0free", 8);
    Mp4::MoviePlan fewerOffsets = fiveFrames(), moreOffsets = fiveFrames();
    fewerOffsets.tracks[0].compositionOffsets = {{4, 0}};
    moreOffsets.tracks[0].compositionOffsets = {{6, 0}};
    Mp4::MoviePlan timecodeChunks = fiveFrames();
    timecodeChunks.tracks.push_back(Mp4::timecodeTrack("tmcd", 30000, 1001, 0));
    const QByteArray timecode = Mp4::writeMovie(timecodeChunks);
    // Four billion one-byte frames in one chunk, which a sparse file of 4.3 GB would hold.
    Mp4::MoviePlan oneChunk = fiveFrames();
    oneChunk.tracks[0].samplesPerChunk = 5;
    const QByteArray billions = patched(
        patched(patched(patched(Mp4::writeMovie(oneChunk), "stts", 8, 0xFFFFFFFF), "stsz", 4, 1),
                "stsz", 8, 0xFFFFFFFF),
        "stsc", 12, 0xFFFFFFFF);
    Mp4::MoviePlan defaultsOnly = fiveFrames();
    defaultsOnly.fragmentSamples = 5;
    // A fragment's run without per-sample fields, claiming four billion frames.
    const QByteArray claiming =
        patched(patched(Mp4::writeMovie(defaultsOnly), "trun", 0, 0x000001), "trun", 4, 0xFFFFFFFF);
    const qsizetype fragmentEnd = fragments().indexOf("mdat", fragments().indexOf("moof")) - 4;

    const struct {
        const char* what;
        std::function<std::vector<QByteArray>()> files;
        QString answer;
        std::uint64_t sparseSize = 0;
    } cases[] = {
        {"nothing", [] { return std::vector<QByteArray>{{}}; }, damagedText},
        {"a cut header", [&] { return std::vector{movie + QByteArray(3, '\0')}; }, damagedText},
        {"a box past the end",
         [&] {
             return std::vector{movie + QByteArray("\0\0\0\x10"
                                                   "free",
                                                   8)};
         },
         damagedText},
        {"a box smaller than its header",
         [&] {
             return std::vector{movie + QByteArray("\0\0\0\x04"
                                                   "free",
                                                   8)};
         },
         damagedText},
        {"a 64-bit size past the end", [&] { return std::vector{movie + huge.data}; }, damagedText},
        {"a child larger than its parent", [&] { return std::vector{Mp4::writeMovie(spilling)}; },
         damagedText},
        {"two movie boxes", [&] { return std::vector{movie + movie.mid(moov)}; }, damagedText},
        {"a fragment before the movie",
         [&] { return std::vector{QByteArray("\0\0\0\x08moof", 8) + movie}; }, damagedText},
        {"no movie", [&] { return std::vector{movie.left(moov)}; }, damagedText},
        {"more times than sizes", [&] { return std::vector{patched(movie, "stts", 8, 6)}; },
         damagedText},
        {"more time entries than bytes",
         [&] { return std::vector{patched(movie, "stts", 4, 1000)}; }, damagedText},
        {"offsets for fewer or more frames",
         [&] {
             return std::vector{Mp4::writeMovie(fewerOffsets), Mp4::writeMovie(moreOffsets)};
         },
         damagedText},
        {"timecode chunks for more samples",
         [&] { return std::vector{patched(timecode, "stsc", 12, 5, 1)}; }, damagedText},
        {"a frame past the end",
         [&] { return std::vector{patched(movie, "stco", 8, std::uint32_t(movie.size()) - 8)}; },
         damagedText},
        {"a fast-start file cut before its media",
         [&] { return std::vector{movieAtStart().left(movieAtStart().indexOf("mdat") - 4)}; },
         damagedText},
        {"a fragmented file cut after a fragment header",
         [&] { return std::vector{fragments().left(fragmentEnd)}; }, damagedText},
        {"four billion frames in a sparse file", [&] { return std::vector{billions}; }, damagedText,
         4'300'000'000},
        {"a fragment of four billion frames", [&] { return std::vector{claiming}; }, damagedText,
         4'300'000'000},
        {"a movie at the end, cut inside a box", [] { return cutsInsideBoxes(movieAtEnd()); },
         damagedText},
        {"a movie at the start, cut inside a box", [] { return cutsInsideBoxes(movieAtStart()); },
         damagedText},
        {"fragments, cut inside a box", [] { return cutsInsideBoxes(fragments()); }, damagedText},
    };
    for (const auto& c : cases) {
        for (const QByteArray& file : c.files()) {
            QElapsedTimer timer;
            timer.start();
            EXPECT_EQ(answerOf(file, c.sparseSize), c.answer) << c.what << ", " << file.size();
            EXPECT_LT(timer.elapsed(), 1000) << c.what;
        }
    }
    // The same clips whole, and changed at random: any answer but a crash or another exception.
    for (const QByteArray* file : {&movieAtEnd(), &movieAtStart(), &fragments()}) {
        EXPECT_EQ(answerOf(*file), QStringLiteral("accepted"));
        checkMutations(*file, std::uint32_t(file->size()));
    }
}
