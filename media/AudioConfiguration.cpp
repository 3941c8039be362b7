#include "media/AudioConfiguration.h"

#include "media/BitReader.h"
#include "media/FourCC.h"

#include <algorithm>
#include <array>
#include <bit>

namespace {

using Stream = std::optional<AudioStreamDescription>;

std::uint32_t byteAt(const QByteArray& bytes, qsizetype at) {
    return std::uint8_t(bytes[at]);
}

std::uint32_t u32At(const QByteArray& bytes, qsizetype at) {
    return byteAt(bytes, at) << 24 | byteAt(bytes, at + 1) << 16 | byteAt(bytes, at + 2) << 8 |
           byteAt(bytes, at + 3);
}

// AC-3 and E-AC-3: full-band channels of each audio coding mode, and their sampling rates.
constexpr std::array<std::uint32_t, 8> codingModeChannels = {2, 1, 2, 3, 3, 4, 4, 5};
constexpr std::array<std::uint32_t, 3> dolbyRates = {48000, 44100, 32000};

Stream ac3(const QByteArray& dac3) {
    BitReader bits(dac3);
    const std::uint32_t rateCode = bits.bits(2);
    bits.skip(5 + 3); // stream identification, service mode
    const std::uint32_t mode = bits.bits(3);
    const std::uint32_t lfe = bits.bits(1);
    if (!bits.whole() || rateCode >= dolbyRates.size())
        return std::nullopt;
    return AudioStreamDescription{double(dolbyRates[rateCode]), codingModeChannels[mode] + lfe};
}

// The first independent substream with its dependent substreams' extra channels: what a
// decoder plays.
Stream eac3(const QByteArray& dec3) {
    BitReader bits(dec3);
    bits.skip(13 + 3); // data rate, independent substreams
    const std::uint32_t rateCode = bits.bits(2);
    bits.skip(5 + 1 + 1 + 3);
    const std::uint32_t mode = bits.bits(3);
    std::uint32_t channels = codingModeChannels[mode] + bits.bits(1);
    bits.skip(3);
    if (bits.bits(4) > 0) {
        // Channel locations: pairs, except the single centre surround, top centre, vertical
        // height centre and second LFE.
        const std::uint32_t locations = bits.bits(9);
        for (int bit = 0; bit < 9; ++bit)
            if (locations >> (8 - bit) & 1)
                channels += (bit == 2 || bit == 3 || bit == 7 || bit == 8) ? 1 : 2;
    }
    if (!bits.whole() || rateCode >= dolbyRates.size())
        return std::nullopt;
    return AudioStreamDescription{double(dolbyRates[rateCode]), channels};
}

// The stream information block, which comes first.
Stream flac(const QByteArray& dfLa) {
    if (dfLa.size() < 4 + 4 + 34 || (byteAt(dfLa, 4) & 0x7F) != 0)
        return std::nullopt;
    const qsizetype info = 8;
    const std::uint32_t rate =
        byteAt(dfLa, info + 10) << 12 | byteAt(dfLa, info + 11) << 4 | byteAt(dfLa, info + 12) >> 4;
    return AudioStreamDescription{double(rate), ((byteAt(dfLa, info + 12) >> 1) & 7) + 1};
}

// Opus always decodes at 48 kHz, whatever rate the encoder was given.
Stream opus(const QByteArray& dOps) {
    if (dOps.size() < 2)
        return std::nullopt;
    return AudioStreamDescription{48000, byteAt(dOps, 1)};
}

// The 24-byte ALAC configuration, with or without a full-box header before it.
Stream alac(const QByteArray& box) {
    if (box.size() < 24)
        return std::nullopt;
    const qsizetype at = box.size() >= 28 ? 4 : 0;
    return AudioStreamDescription{double(u32At(box, at + 20)), byteAt(box, at + 9)};
}

// Channels of the ISO channel configurations (ISO/IEC 23091-3); 0 marks an unknown one.
constexpr std::array<std::uint32_t, 21> layoutChannels = {0, 1, 2,  3, 4,  5,  6,  8,  2,  3, 4,
                                                          7, 8, 24, 8, 12, 10, 12, 14, 12, 14};

std::optional<std::uint32_t> isoLayoutChannels(const QByteArray& chnl) {
    if (chnl.size() < 6)
        return std::nullopt;
    if (byteAt(chnl, 0) == 1)
        return byteAt(chnl, 5); // version 1 states the base channel count
    const std::uint32_t structure = byteAt(chnl, 4);
    const std::uint32_t layout = byteAt(chnl, 5);
    if (!(structure & 1) || layout == 0 || layout >= layoutChannels.size() ||
        layoutChannels[layout] == 0 || chnl.size() < 14)
        return std::nullopt; // positions listed one by one need the entry's count
    const std::uint64_t omitted = std::uint64_t(u32At(chnl, 6)) << 32 | u32At(chnl, 10);
    const std::uint32_t count = layoutChannels[layout];
    std::uint32_t channels = count - std::uint32_t(std::popcount(omitted & ((1ull << count) - 1)));
    if (structure & 2 && chnl.size() >= 15)
        channels += byteAt(chnl, 14); // objects
    return channels;
}

std::optional<std::uint32_t> quickTimeLayoutChannels(const QByteArray& chan) {
    if (chan.size() < 16)
        return std::nullopt;
    const std::uint32_t tag = u32At(chan, 4);
    if (tag == 0)
        return u32At(chan, 12); // channel descriptions, one per channel
    if (tag == 0x10000)
        return std::uint32_t(std::popcount(u32At(chan, 8))); // a channel bitmap
    return tag & 0xFFFF;                                     // a named layout
}

bool isUncompressed(std::uint32_t subtype) {
    constexpr std::array codes = {fourCC("lpcm"), fourCC("twos"), fourCC("sowt"), fourCC("in24"),
                                  fourCC("in32"), fourCC("fl32"), fourCC("fl64"), fourCC("raw "),
                                  fourCC("NONE"), fourCC("ipcm"), fourCC("fpcm"), fourCC("ulaw"),
                                  fourCC("alaw")};
    return std::find(codes.begin(), codes.end(), subtype) != codes.end();
}

} // namespace

std::optional<AudioStreamDescription> decodedAudio(const SoundDescription& description,
                                                   const AudioEntryBoxes& boxes) {
    const double rate = boxes.samplingRate ? double(*boxes.samplingRate) : description.sampleRate;
    const auto present = [](const std::optional<QByteArray>& box,
                            Stream (*parse)(const QByteArray&)) {
        return box ? parse(*box) : std::nullopt;
    };
    switch (description.subtype) {
    case fourCC("mp4a"):
        if (const Stream stream = present(boxes.esds, aacStream))
            return stream;
        break; // MPEG-1 and -2 audio layers carry no configuration
    case fourCC("alac"):
        return present(boxes.alac, alac);
    case fourCC("Opus"):
        return present(boxes.dOps, opus);
    case fourCC("ac-3"):
        return present(boxes.dac3, ac3);
    case fourCC("ec-3"):
        return present(boxes.dec3, eac3);
    case fourCC("fLaC"):
        return present(boxes.dfLa, flac);
    default:
        if (isUncompressed(description.subtype))
            return AudioStreamDescription{rate, description.channels};
        break;
    }
    std::optional<std::uint32_t> channels;
    if (boxes.chnl)
        channels = isoLayoutChannels(*boxes.chnl);
    if (!channels && boxes.chan)
        channels = quickTimeLayoutChannels(*boxes.chan);
    if (!channels && description.quickTime)
        channels = description.channels;
    if (!channels)
        return std::nullopt;
    return AudioStreamDescription{rate, *channels};
}
