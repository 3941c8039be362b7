// Audio facts from crafted sample entries: every place a format keeps its channels and rate.
#include "SourceTestSupport.h"

#include <gtest/gtest.h>

using namespace MediaTest;

namespace {

// Big-endian bit fields, {width, value} each, padded with zeros to a whole byte.
QByteArray bits(std::initializer_list<std::pair<int, std::uint64_t>> fields) {
    QByteArray bytes;
    int used = 0;
    for (const auto& [width, value] : fields)
        for (int bit = width - 1; bit >= 0; --bit, ++used) {
            if (used % 8 == 0)
                bytes.append('\0');
            const int set = bit < 64 ? int((value >> bit) & 1) : 0; // wide fields are zeros
            bytes[bytes.size() - 1] = char(bytes.back() | set << (7 - used % 8));
        }
    return bytes;
}

QByteArray fullBox(const char* type, const QByteArray& payload) {
    return Mp4::box(type, QByteArray(4, '\0') + payload);
}

QString audioOf(const QByteArray& entry, const QByteArray& second = {}) {
    Mp4::MoviePlan plan = equirectangularMovie(2);
    plan.tracks.push_back(Mp4::audioTrack());
    plan.tracks[1].sampleEntries = {entry};
    if (!second.isEmpty())
        plan.tracks[1].sampleEntries.push_back(second);
    ExportMediaInfo info;
    const QString outcome = outcomeOf([&] { info = inspectMovie(plan); });
    return outcome != "accepted"
               ? outcome
               : QStringLiteral("%1 × %2").arg(info.channels).arg(info.sampleRate);
}

QByteArray aac(const QByteArray& config) {
    return Mp4::audioEntry(2, 0, 0, "mp4a", Mp4::esds(config));
}

// An ISO entry whose own fields say two channels at 48 kHz.
QByteArray coded(const char* type, const QByteArray& children = {}) {
    return Mp4::audioEntry(2, 48000, 0, type, children);
}

} // namespace

TEST(Audio, ReadsChannelsAndRateWhereTheFormatKeepsThem) {
    const QByteArray lc24k = bits({{5, 2}, {4, 6}, {4, 1}, {3, 0}});
    const QByteArray fivePointOne = fullBox("chnl", bits({{8, 1}, {8, 6}, {64, 0}}));
    const std::pair<QByteArray, QString> cases[] = {
        {aac(Mp4::aacConfig(0, 1)), "1 × 96000"},
        {aac(Mp4::aacConfig(3, 7)), "8 × 48000"},
        {aac(Mp4::aacConfig(4, 11)), "7 × 44100"},
        {aac(lc24k), "1 × 24000"}, // SBR that only the stream reveals: the core rate
        {aac(bits({{5, 5}, {4, 6}, {4, 2}, {4, 3}, {5, 2}, {3, 0}})), "2 × 48000"},
        {aac(bits({{5, 29}, {4, 6}, {4, 1}, {4, 3}, {5, 2}, {3, 0}})), "2 × 48000"},
        {aac(lc24k + bits({{11, 0x2B7}, {5, 5}, {1, 1}, {4, 3}, {11, 0x548}, {1, 1}})),
         "2 × 48000"},
        {aac(lc24k + bits({{11, 0x2B7}, {5, 5}, {1, 0}})), "1 × 24000"},
        {aac(bits({{5, 31}, {6, 0}, {4, 15}, {24, 88000}, {4, 2}})), "2 × 88000"},
        // A program configuration: a mono and a stereo element in front, a pair at the back, LFE.
        {aac(bits({{16, 0x1180},
                   {4, 0},
                   {2, 1},
                   {4, 3},
                   {4, 2},
                   {4, 0},
                   {4, 1},
                   {2, 1},
                   {10, 0},
                   {5, 0},
                   {5, 16},
                   {5, 16},
                   {4, 0},
                   {3, 0},
                   {8, 0}})),
         "6 × 48000"},
        {coded("mp4a", Mp4::box("wave", Mp4::esds(Mp4::aacConfig(4, 6)))), "6 × 44100"},
        {coded("ac-3", Mp4::box("dac3", bits({{2, 1}, {5, 8}, {3, 0}, {3, 2}, {1, 0}}))),
         "2 × 44100"},
        // 5.1 and a dependent substream's pair of rear surrounds.
        {coded("ec-3", Mp4::box("dec3", QByteArray::fromHex("0000200f0280"))), "8 × 48000"},
        {coded("Opus", Mp4::box("dOps", bits({{8, 0}, {8, 3}, {16, 0}, {32, 16000}}))),
         "3 × 48000"},
        {coded("alac", fullBox("alac", bits({{72, 0}, {8, 5}, {80, 0}, {32, 176400}}))),
         "5 × 176400"},
        {coded("fLaC",
               fullBox("dfLa", bits({{32, 0x80000022}, {80, 0}, {20, 192000}, {3, 7}, {169, 0}}))),
         "8 × 192000"},
        {coded("ipcm", fivePointOne), "2 × 48000"}, // its own count
        {coded("xyz1", fivePointOne), "6 × 48000"},
        {coded("xyz1", fullBox("chnl", bits({{8, 1}, {8, 6}, {64, 0x9}}))), "4 × 48000"},
        {coded("xyz1", fullBox("chan", bits({{32, 0x10000}, {32, 0x3F}, {32, 0}}))), "6 × 48000"},
        {coded("xyz1", fullBox("chan", bits({{32, 0x00830005}, {64, 0}}))), "5 × 48000"},
        {Mp4::audioEntry(3, 32000, 1, "ima4"), "3 × 32000"},
        {Mp4::audioEntry(3, 96000, 2, "lpcm"), "3 × 96000"},
        {Mp4::audioEntry(6, 44100, 1, "in24"), "6 × 44100"},
        {coded("sowt", Mp4::box("srat", bits({{32, 0}, {32, 384000}}))), "2 × 384000"},
        // Nothing to know the facts from, or facts no decoder produces.
        {coded("mp4a"), audioText},
        {coded("mp4a", Mp4::esds(QByteArray(1, '\0'), 0x6B)), audioText},
        {coded("xyz1"), audioText},
        {aac(Mp4::aacConfig(3, 0)), audioText},
        {aac(Mp4::aacConfig(13, 2)), audioText},
        {coded("ac-3", Mp4::box("dac3", bits({{2, 3}, {22, 0}}))), audioText},
        {Mp4::audioEntry(2, 44100.5, 0, "lpcm"), audioText},
        {Mp4::box("mp4a", QByteArray(12, '\0')), audioText}};
    for (const auto& [entry, expected] : cases)
        EXPECT_EQ(audioOf(entry), expected) << entry.toHex().toStdString();
    for (const auto& [channels, rate] : std::initializer_list<std::pair<std::uint16_t, double>>{
             {0, 48000}, {65, 48000}, {2, 0}, {2, -48000}, {2, 768001}, {2, 44100.5}})
        EXPECT_EQ(audioOf(Mp4::audioEntry(channels, rate, 2, "lpcm")), audioText) << rate;
    EXPECT_EQ(audioOf(aac(Mp4::aacConfig(3, 2)), aac(Mp4::aacConfig(3, 1))), audioText);
}
