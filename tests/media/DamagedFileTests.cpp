// Damaged, cut, sparse and crafted files: each is refused with our sentence within a second.
#include "SourceTestSupport.h"

#include <QElapsedTimer>
#include <random>
#include <set>

using namespace MediaTest;

namespace {

// `head`, then zeros up to `size` bytes: a sparse file as it reads.
struct SparseSource final : ByteSource {
    SparseSource(const QByteArray& head, std::uint64_t size) : head(head), bytes(size) {}
    std::uint64_t size() const override { return bytes; }
    void readAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] = offset + i < std::uint64_t(head.size()) ? head[qsizetype(offset + i)] : 0;
    }
    const QByteArray& head;
    std::uint64_t bytes;
};

QString answerOf(const QByteArray& bytes, std::uint64_t sparseSize = 0) {
    SparseSource source(bytes, std::max<std::uint64_t>(sparseSize, bytes.size()));
    return messageOf([&] { MediaInspector::inspect(source); });
}

// Overwrites the 32-bit field `fieldOffset` bytes into the payload of the `nth` `type` box.
QByteArray patched(QByteArray bytes, const char* type, int fieldOffset, std::uint32_t value,
                   int nth = 0) {
    qsizetype at = -1;
    for (int i = 0; i <= nth; ++i)
        at = bytes.indexOf(QByteArray(type, 4), at + 1);
    Mp4::BoxWriter field;
    field.u32(value);
    return bytes.replace(at + 4 + fieldOffset, 4, field.data);
}

QByteArray ffmpegClip(const char* name, const QString& options = {}) {
    return contents(clip(name, args("-f lavfi -i testsrc2=size=64x32:rate=30000/1001 -f lavfi -i "
                                    "sine=sample_rate=48000 -t 1 -c:v libx264 -c:a aac -timecode "
                                    "00:59:59;28 " +
                                    options)));
}

// Cuts inside a box (cut at its end, fragments are a shorter movie): every 4096 bytes, every 7 in
// "moov".
std::vector<QByteArray> cutsInsideBoxes(const QByteArray& file) {
    std::set<qsizetype> ends;
    for (qsizetype at = 0, size = 8; at + 8 <= file.size() && size >= 8; ends.insert(at += size)) {
        const auto* p = reinterpret_cast<const std::uint8_t*>(file.constData() + at);
        size = qsizetype(std::uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]);
    }
    const qsizetype moov = file.indexOf("moov") - 4;
    const qsizetype moovEnd = *ends.upper_bound(moov);
    std::vector<QByteArray> cuts;
    for (qsizetype length = 0; length < file.size(); ++length)
        if (!ends.count(length) &&
            (length % 4096 == 0 || (length >= moov && length < moovEnd && length % 7 == 0)))
            cuts.push_back(file.left(length));
    return cuts;
}

} // namespace

TEST(DamagedFiles, EachGivesItsAnswer) {
    const QByteArray movie = Mp4::writeMovie(equirectangularMovie(5));
    const qsizetype moov = movie.indexOf("moov") - 4;
    Mp4::MoviePlan spilling = equirectangularMovie(5), fewerOffsets = spilling,
                   moreOffsets = spilling, timecode = spilling, oneChunk = spilling;
    spilling.meta = QByteArray("\0\0\x10\0free", 8);
    fewerOffsets.tracks[0].compositionOffsets = {{4, 0}};
    moreOffsets.tracks[0].compositionOffsets = {{6, 0}};
    timecode.tracks.push_back(Mp4::timecodeTrack("tmcd", 30000, 1001, 0));
    oneChunk.tracks[0].samplesPerChunk = 5;
    // Four billion one-byte frames in one chunk, which a sparse file of 4.3 GB would hold.
    QByteArray billions = patched(Mp4::writeMovie(oneChunk), "stts", 8, 0xFFFFFFFF);
    billions = patched(patched(patched(billions, "stsz", 4, 1), "stsz", 8, 0xFFFFFFFF), "stsc", 12,
                       0xFFFFFFFF);
    const QByteArray atEnd = ffmpegClip("end.mov");
    const QByteArray atStart = ffmpegClip("start.mp4", "-movflags +faststart");
    const QByteArray fragments =
        ffmpegClip("fragments.mp4", "-g 10 -movflags frag_keyframe+empty_moov");
    const qsizetype firstFragment = fragments.indexOf("moof") - 4;
    // The first fragment's run of video without per-sample fields, claiming four billion frames.
    const QByteArray claiming =
        patched(patched(fragments, "trun", 0, 0x000001), "trun", 4, 0xFFFFFFFF);
    Mp4::BoxWriter huge;
    huge.u32s({1, 0x66726565, 0xFFFFFFFF, 0xFFFFFFFF}); // "free" of 2^64 - 1 bytes

    const struct {
        const char* what;
        std::vector<QByteArray> files;
        std::uint64_t sparseSize = 0;
    } cases[] = {
        // clang-format off
        {"nothing", {QByteArray()}},
        {"a cut header", {movie + QByteArray(3, '\0')}},
        {"a box past the end", {movie + QByteArray("\0\0\0\x10" "free", 8)}},
        {"a box smaller than its header", {movie + QByteArray("\0\0\0\x04" "free", 8)}},
        {"a 64-bit size past the end", {movie + huge.data}},
        {"a child larger than its parent", {Mp4::writeMovie(spilling)}},
        {"two movie boxes", {movie + movie.mid(moov)}},
        {"a fragment before the movie", {QByteArray("\0\0\0\x08moof", 8) + movie}},
        {"no movie", {movie.left(moov)}},
        {"more times than sizes", {patched(movie, "stts", 8, 6)}},
        {"more time entries than bytes", {patched(movie, "stts", 4, 1000)}},
        {"offsets for fewer or more frames",
         {Mp4::writeMovie(fewerOffsets), Mp4::writeMovie(moreOffsets)}},
        {"timecode chunks for more samples",
         {patched(Mp4::writeMovie(timecode), "stsc", 12, 5, 1)}},
        {"a frame past the end", {patched(movie, "stco", 8, std::uint32_t(movie.size()) - 8)}},
        {"a fast-start file cut before its media", {atStart.left(atStart.indexOf("mdat") - 4)}},
        {"fragments cut after a fragment header",
         {fragments.left(fragments.indexOf("mdat", firstFragment) - 4)}},
        {"four billion frames in a sparse file", {billions}, 4'300'000'000},
        {"a fragment of four billion frames", {claiming}, 64'000'000'000},
        {"a movie at the end, cut inside a box", cutsInsideBoxes(atEnd)},
        {"a movie at the start, cut inside a box", cutsInsideBoxes(atStart)},
        {"fragments, cut inside a box", cutsInsideBoxes(fragments)}};
    // clang-format on
    for (const auto& c : cases)
        for (const QByteArray& file : c.files) {
            QElapsedTimer timer;
            timer.start();
            EXPECT_EQ(answerOf(file, c.sparseSize), damagedText) << c.what << ", " << file.size();
            EXPECT_LT(timer.elapsed(), 1000) << c.what;
        }
    // The clips whole, then with one to four bytes changed, mostly in "moov": any answer but a
    // crash or another exception. Most changes land in fields nobody checks; some are caught.
    std::mt19937 random(7);
    for (const QByteArray& file : {atEnd, atStart, fragments}) {
        EXPECT_EQ(answerOf(file), "no error");
        const qsizetype tables = file.indexOf("moov") - 4;
        int accepted = 0;
        for (int round = 0; round < 3000; ++round) {
            QByteArray damaged = file;
            for (int i = 0, changes = 1 + int(random() % 4); i < changes; ++i) {
                const auto from = random() % 4 ? tables : 0;
                const qsizetype at = from + qsizetype(random() % std::uint32_t(file.size() - from));
                damaged[at] = char(random() % 2 ? random() : damaged[at] ^ (1 << (random() % 8)));
            }
            accepted += answerOf(damaged) == "no error";
        }
        EXPECT_GT(accepted, 0);
        EXPECT_LT(accepted, 3000);
    }
}
