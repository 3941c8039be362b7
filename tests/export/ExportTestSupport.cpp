#include "ExportTestSupport.h"

#include "export/FCPXMLExporter.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <csignal>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

ExportRequest typicalRequest() {
    ExportRequest request;
    request.info.width = 3840;
    request.info.height = 1920;
    request.info.frameDuration = MediaTime::make(1001, 30000);
    request.info.duration = MediaTime::make(300300, 30000);
    request.info.sourceStart = MediaTime::make(86486400, 24000);
    request.info.channels = 2;
    request.info.sampleRate = 48000;
    request.info.colorSpace = QStringLiteral("1-1-1 (Rec. 709)");
    request.views = {{QStringLiteral("Front"), 0, 0, 0, 90},
                     {QStringLiteral("Left"), -90, 0, 0, 100},
                     {QStringLiteral("Back"), 180, -12.5, 3, 110},
                     {QStringLiteral("Right"), 90, 33.33333333, -0.0, 45}};
    return request;
}

void checkRequest(const ExportRequest& r) {
    FCPXMLExporter::check(r.source, r.info, r.views, r.width, r.height, r.name, r.layout);
}

QByteArray documentText(const ExportRequest& r) {
    const XmlDocument document =
        FCPXMLExporter::document(r.source, r.info, r.views, r.width, r.height, r.name, r.layout);
    return FCPXMLExporter::serialized(document.get());
}

void writeRequest(const ExportRequest& r, const QUrl& destination,
                  const std::optional<QUrl>& dtdURL) {
    FCPXMLExporter::write(r.source, r.info, r.views, r.width, r.height, r.name, r.layout,
                          destination, dtdURL);
}

QString testDTDPath() {
    return QStringLiteral(TESSALY_TESTDATA_DIR "/FCPXMLv1_14.dtd");
}
QUrl testDTDURL() {
    return QUrl::fromLocalFile(testDTDPath());
}

QString messageOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const ExportError& error) {
        return error.message();
    } catch (const std::system_error& error) {
        return localizedDescription(error);
    }
    return QStringLiteral("no error");
}

QString messageInChild(const std::function<void()>& call, bool unprivileged,
                       std::optional<long> fileSizeLimit) {
    int channel[2];
    if (::pipe(channel) != 0)
        return QStringLiteral("pipe failed");
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        bool ready = true;
        if (unprivileged && ::geteuid() == 0) {
            const uid_t nobody = 65534;
            ready = ::setgroups(0, nullptr) == 0 && ::setresgid(nobody, nobody, nobody) == 0 &&
                    ::setresuid(nobody, nobody, nobody) == 0;
        }
        if (fileSizeLimit) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{rlim_t(*fileSizeLimit), rlim_t(*fileSizeLimit)};
            ready = ready && ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
        }
        const QByteArray message =
            ready ? messageOf(call).toUtf8() : QByteArrayLiteral("could not prepare the child");
        [[maybe_unused]] const ssize_t written =
            ::write(channel[1], message.data(), message.size());
        ::_exit(0);
    }
    ::close(channel[1]);
    QByteArray message;
    char buffer[512];
    ssize_t n;
    while ((n = ::read(channel[0], buffer, sizeof buffer)) > 0)
        message.append(buffer, n);
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return QString::fromUtf8(message);
}

QStringList temporaryFiles(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral(".Tessaly-*")}, QDir::Files | QDir::Hidden);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

ProgramResult runProgram(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    ProgramResult result;
    if (!process.waitForFinished(60000))
        return result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.output = process.readAllStandardOutput();
    result.errors = process.readAllStandardError();
    return result;
}
