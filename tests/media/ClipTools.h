#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace MediaTest {

// Runs the ffmpeg or ffprobe program; fails the test (never skips) when it cannot.
inline QString runTool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    const bool finished = process.waitForFinished(120000);
    EXPECT_TRUE(finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        << program.toStdString() << " " << arguments.join(' ').toStdString() << ": "
        << process.readAllStandardError().toStdString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The clip `name` made by ffmpeg from `arguments` (inputs, codecs, options), once per run of the
// tests, in a folder they share; returns its path.
inline QString clip(const QString& name, const QStringList& arguments) {
    static QTemporaryDir dir;
    const QString path = dir.filePath(name);
    if (!QFile::exists(path))
        runTool("ffmpeg",
                QStringList{"-nostdin", "-v", "error", "-y"} + arguments + QStringList{path});
    return path;
}

inline QByteArray clipBytes(const QString& name, const QStringList& arguments) {
    QFile file(clip(name, arguments));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
    return file.readAll();
}

} // namespace MediaTest
