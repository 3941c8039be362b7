#pragma once

#include <QDir>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

namespace MediaTest {

// Runs the ffmpeg or ffprobe program; fails the test (never skips) when it cannot.
inline QString runTool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    const bool finished = process.waitForFinished(120000);
    const QString errors = QString::fromUtf8(process.readAllStandardError());
    EXPECT_TRUE(finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        << program.toStdString() << " " << arguments.join(QLatin1Char(' ')).toStdString() << ": "
        << errors.toStdString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

// Makes `name` in `dir` from ffmpeg arguments (inputs, codecs, options); returns its path.
inline QString makeClip(const QDir& dir, const QString& name, const QStringList& arguments) {
    const QString path = dir.filePath(name);
    runTool(QStringLiteral("ffmpeg"), QStringList{QStringLiteral("-nostdin"), QStringLiteral("-v"),
                                                  QStringLiteral("error"), QStringLiteral("-y")} +
                                          arguments + QStringList{path});
    return path;
}

} // namespace MediaTest
