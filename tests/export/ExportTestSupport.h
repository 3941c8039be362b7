#pragma once

#include "model/ExportMediaInfo.h"
#include "model/ExportView.h"
#include "model/UserError.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>

// One export request, in the order the exporter takes its arguments.
struct ExportRequest {
    QUrl source = QUrl::fromLocalFile(QStringLiteral("/Volumes/Footage/Dive Trip/GS010042.MP4"));
    ExportMediaInfo info;
    QList<ExportView> views;
    std::int64_t width = 1920;
    std::int64_t height = 1080;
    QString name = QStringLiteral("Dive");
    QString layout = QStringLiteral("direct");
};

// 3840 × 1920, 29.97 fps, 300 frames, stereo 48 kHz, four views of a landscape project.
ExportRequest typicalRequest();

void checkRequest(const ExportRequest& request);
QByteArray documentText(const ExportRequest& request);
void writeRequest(const ExportRequest& request, const QUrl& destination,
                  const std::optional<QUrl>& dtdURL);

QString testDTDPath();
QUrl testDTDURL();

// The message of the ExportError or std::system_error that the call throws, or "no error".
QString messageOf(const std::function<void()>& call);

// Runs the call in a forked child, first as an unprivileged user (when this process is root)
// and under a file size limit (when given), and returns its message.
QString messageInChild(const std::function<void()>& call, bool unprivileged,
                       std::optional<long> fileSizeLimit = std::nullopt);

// Names in a folder that start with ".Tessaly-".
QStringList temporaryFiles(const QString& folder);

QByteArray readFile(const QString& path);

// Exit code and standard output of a program.
struct ProgramResult {
    int exitCode = -1;
    QByteArray output;
    QByteArray errors;
};
ProgramResult runProgram(const QString& program, const QStringList& arguments);

// Readable failure messages for Qt's text types.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QByteArray& bytes, std::ostream* out) {
    *out << '"' << bytes.toStdString() << '"';
}
