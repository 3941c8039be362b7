#include "IndexedClips.h"

#include <QProcess>

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace {
constexpr int blockWidth = 20;
constexpr int bits = 16;
} // namespace

bool IndexedClips::run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    return process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

QString IndexedClips::make(const QString& folder, const QString& name, int frames,
                           const QStringList& videoArguments, bool withSound) {
    const QString bit = QStringLiteral("mod(floor(N/pow(2,floor(X/%1))),2)").arg(blockWidth);
    const QString picture = QStringLiteral("color=c=black:s=320x160:r=%1/%2,format=yuv444p,"
                                           "geq=lum='if(lt(Y,80),255*%3,255*(1-%3))':cb=128:cr=128")
                                .arg(framesPerSecondNumerator)
                                .arg(framesPerSecondDenominator)
                                .arg(bit);
    const QString path = folder + QLatin1Char('/') + name;
    QStringList arguments{"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i", picture};
    if (withSound)
        arguments << "-f"
                  << "lavfi"
                  << "-i"
                  << "sine=frequency=440:sample_rate=48000";
    arguments << "-frames:v" << QString::number(frames) << videoArguments;
    if (withSound)
        arguments << "-c:a"
                  << "aac"
                  << "-ac"
                  << "2"
                  << "-shortest";
    arguments << "-movflags"
              << "+faststart" << path;
    return run("ffmpeg", arguments) ? path : QString();
}

QString IndexedClips::makeSoundOnly(const QString& folder, const QString& name) {
    const QString path = folder + QLatin1Char('/') + name;
    return run("ffmpeg", {"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                          "sine=frequency=440:duration=1", "-c:a", "aac", path})
               ? path
               : QString();
}

int IndexedClips::indexOf(const VideoFrame& frame) {
    if (frame.isNull() || frame.width() != 320 || frame.height() != 160)
        return -1;
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(frame.pixelFormat());
    const bool wide = descriptor->comp[0].depth > 8;
    const int shift = wide ? descriptor->comp[0].shift : 0;
    auto luma = [&](int x, int y) {
        const std::uint8_t* row = frame.plane(0) + std::ptrdiff_t(y) * frame.lineSize(0);
        if (!wide)
            return double(row[x]) / 255.0;
        const auto* words = reinterpret_cast<const std::uint16_t*>(row);
        return double(words[x] >> shift) / double((1 << descriptor->comp[0].depth) - 1);
    };
    int index = 0;
    for (int b = 0; b < bits; ++b) {
        const int x = b * blockWidth + blockWidth / 2;
        const bool top = luma(x, 40) > 0.5;
        const bool bottom = luma(x, 120) > 0.5;
        if (top == bottom)
            return -1;
        if (top)
            index |= 1 << b;
    }
    return index;
}
