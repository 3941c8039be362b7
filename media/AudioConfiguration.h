#pragma once

#include "media/FormatDescription.h"

#include <QByteArray>
#include <cstdint>
#include <optional>

// The configuration boxes of one audio sample entry, as found (QuickTime keeps some of them
// inside a "wave" box).
struct AudioEntryBoxes {
    std::optional<QByteArray> esds, dOps, dac3, dec3, dfLa, alac, chnl, chan;
    std::optional<std::uint32_t> samplingRate; // ISO's "srat"
};

// The fields of the sound description itself.
struct SoundDescription {
    std::uint32_t subtype = 0;
    std::uint32_t channels = 0;
    double sampleRate = 0;
    // A QuickTime sound description of version 1 or 2, whose fields describe the stream; an ISO
    // entry's channel count is a placeholder for every coded format.
    bool quickTime = false;
};

// The channels and rate a decoder will produce from this entry: from the codec's own
// configuration where the format has one, from the sound description for uncompressed audio,
// from a channel layout otherwise; nothing when they cannot be known.
std::optional<AudioStreamDescription> decodedAudio(const SoundDescription& description,
                                                   const AudioEntryBoxes& boxes);

// The output of an AAC decoder configured by an "esds" payload (after the box header): its
// AudioSpecificConfig with a program configuration when the channel configuration is 0, and
// explicitly signalled SBR or parametric stereo. Nothing for another codec or a damaged record.
std::optional<AudioStreamDescription> aacStream(const QByteArray& esds);
