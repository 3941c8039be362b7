// MPEG-4 audio decoder configuration: the elementary stream descriptor of "esds" and the
// AudioSpecificConfig inside it.
#include "media/AudioConfiguration.h"
#include "media/BitReader.h"

#include <array>

namespace {

constexpr std::array<std::uint32_t, 13> samplingFrequencies = {
    96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000, 7350};
// Channels of each channel configuration; 0 marks one that is reserved.
constexpr std::array<std::uint32_t, 16> configurationChannels = {0, 1, 2, 3, 4, 5,  6, 8,
                                                                 0, 0, 0, 7, 8, 24, 8, 0};

std::uint32_t objectType(BitReader& bits) {
    const std::uint32_t type = bits.bits(5);
    return type == 31 ? 32 + bits.bits(6) : type;
}

// 0 for a reserved index.
std::uint32_t samplingFrequency(BitReader& bits) {
    const std::uint32_t index = bits.bits(4);
    if (index == 15)
        return bits.bits(24);
    return index < samplingFrequencies.size() ? samplingFrequencies[index] : 0;
}

// A program config element, read whole so that what follows it can be read too.
std::uint32_t programChannels(BitReader& bits) {
    bits.skip(4 + 2 + 4); // element tag, object type, sampling frequency index
    const std::uint32_t front = bits.bits(4), side = bits.bits(4), back = bits.bits(4);
    const std::uint32_t lfe = bits.bits(2), data = bits.bits(3), coupling = bits.bits(4);
    for (int mixdown : {4, 4, 3})
        if (bits.flag())
            bits.skip(std::uint64_t(mixdown));
    std::uint32_t channels = lfe;
    for (std::uint32_t i = 0; i < front + side + back; ++i) {
        channels += bits.flag() ? 2 : 1;
        bits.skip(4);
    }
    bits.skip(4 * lfe + 4 * data + 5 * coupling);
    bits.alignToByte();
    bits.skip(8 * bits.bits(8)); // comment
    return channels;
}

bool isGeneralAudio(std::uint32_t type) {
    switch (type) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 6:
    case 7:
    case 17:
    case 19:
    case 20:
    case 21:
    case 22:
    case 23:
        return true;
    default:
        return false;
    }
}

std::optional<AudioStreamDescription> audioSpecificConfig(const QByteArray& config) {
    BitReader bits(config);
    std::uint32_t type = objectType(bits);
    std::uint32_t rate = samplingFrequency(bits);
    const std::uint32_t configuration = bits.bits(4);
    bool sbr = false, parametricStereo = false;
    std::uint32_t sbrRate = 0;
    if (type == 5 || type == 29) { // explicit, hierarchical signalling
        sbr = true;
        parametricStereo = type == 29;
        sbrRate = samplingFrequency(bits);
        type = objectType(bits);
        if (type == 22)
            bits.skip(4);
    }
    std::uint32_t channels = configurationChannels[configuration];
    if (isGeneralAudio(type)) {
        bits.skip(1); // frame length
        if (bits.flag())
            bits.skip(14); // core coder delay
        const bool extension = bits.flag();
        if (configuration == 0)
            channels = programChannels(bits);
        if (type == 6 || type == 20)
            bits.skip(3);
        if (extension) {
            if (type == 22)
                bits.skip(16);
            if (type == 17 || type == 19 || type == 20 || type == 23)
                bits.skip(3);
            bits.skip(1);
        }
        // Explicit, backward-compatible signalling after the configuration.
        if (!sbr && bits.left() >= 16 && bits.bits(11) == 0x2B7) {
            const std::uint32_t extensionType = objectType(bits);
            if (extensionType == 5 && bits.flag()) {
                sbr = true;
                sbrRate = samplingFrequency(bits);
                if (bits.left() >= 12 && bits.bits(11) == 0x548)
                    parametricStereo = bits.flag();
            }
        }
    } else if (configuration == 0) {
        return std::nullopt; // a layout we do not read
    }
    if (!bits.whole() || channels == 0 || rate == 0 || (sbr && sbrRate == 0))
        return std::nullopt;
    // Parametric stereo turns a mono core into stereo output.
    return AudioStreamDescription{double(sbr ? sbrRate : rate),
                                  parametricStereo && channels == 1 ? 2 : channels};
}

// One descriptor's tag and length, the length in up to four 7-bit groups.
bool descriptor(const QByteArray& bytes, qsizetype& at, std::uint8_t& tag, qsizetype& length) {
    if (at >= bytes.size())
        return false;
    tag = std::uint8_t(bytes[at++]);
    length = 0;
    for (int i = 0; i < 4 && at < bytes.size(); ++i) {
        const auto byte = std::uint8_t(bytes[at++]);
        length = length << 7 | (byte & 0x7F);
        if (!(byte & 0x80))
            return length <= bytes.size() - at;
    }
    return false;
}

} // namespace

std::optional<AudioStreamDescription> aacStream(const QByteArray& esds) {
    qsizetype at = 4; // version and flags
    std::uint8_t tag = 0;
    qsizetype length = 0;
    if (!descriptor(esds, at, tag, length) || tag != 0x03 || length < 3)
        return std::nullopt;
    const auto flags = std::uint8_t(esds[at + 2]);
    at += 3;
    if (flags & 0x80)
        at += 2; // depends on another stream
    if (flags & 0x40 && at < esds.size())
        at += 1 + std::uint8_t(esds[at]); // URL
    if (flags & 0x20)
        at += 2; // clock reference stream
    if (!descriptor(esds, at, tag, length) || tag != 0x04 || length < 13)
        return std::nullopt;
    const auto objectTypeIndication = std::uint8_t(esds[at]);
    // MPEG-4 audio, and the three MPEG-2 AAC profiles, which carry the same configuration.
    if (objectTypeIndication != 0x40 &&
        (objectTypeIndication < 0x66 || objectTypeIndication > 0x68))
        return std::nullopt;
    at += 13;
    if (!descriptor(esds, at, tag, length) || tag != 0x05)
        return std::nullopt;
    return audioSpecificConfig(esds.mid(at, length));
}
