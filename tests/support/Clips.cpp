#include "support/Clips.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace Clips {

namespace {
constexpr int blockWidth = 20;
constexpr int bits = 16;
} // namespace

QString run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    const bool finished = process.waitForFinished(180000);
    const QString errors = QString::fromUtf8(process.readAllStandardError());
    EXPECT_TRUE(finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        << program.toStdString() << " " << arguments.join(QLatin1Char(' ')).toStdString() << ": "
        << errors.toStdString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

QString ffmpeg(const QString& path, const QStringList& arguments) {
    run(QStringLiteral("ffmpeg"),
        QStringList{"-nostdin", "-v", "error", "-y"} + arguments + QStringList{path});
    return path;
}

QString sample(const QString& path, const QString& size, int seconds, const QStringList& options) {
    run(QStringLiteral(TESSALY_SOURCE_DIR "/scripts/make-sample"),
        QStringList{"--size", size, "--duration", QString::number(seconds), "--fps", "30"} +
            options + QStringList{path});
    return path;
}

QString cachedSample(const QString& size, int seconds) {
    const QString name = QStringLiteral("sample-%1-%2s.mp4").arg(size).arg(seconds);
    const QString path = QStringLiteral(TESSALY_BINARY_DIR "/tests/") + name;
    if (QFileInfo::exists(path))
        return path;
    // Made beside its final name and moved in whole, so tests running at once never read half.
    QTemporaryDir scratch(QStringLiteral(TESSALY_BINARY_DIR "/tests/clip-XXXXXX"));
    QFile::rename(sample(scratch.filePath(name), size, seconds), path);
    return path;
}

QString indexed(const QString& path, int frames, const QStringList& videoArguments,
                bool withSound) {
    const QString bit = QStringLiteral("mod(floor(N/pow(2,floor(X/%1))),2)").arg(blockWidth);
    const QString picture = QStringLiteral("color=c=black:s=320x160:r=30000/1001,format=yuv444p,"
                                           "geq=lum='if(lt(Y,80),255*%1,255*(1-%1))':cb=128:cr=128")
                                .arg(bit);
    QStringList arguments{"-f", "lavfi", "-i", picture};
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
    return ffmpeg(path, arguments << "-movflags"
                                  << "+faststart");
}

int indexOf(const VideoFrame& frame) {
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

} // namespace Clips
