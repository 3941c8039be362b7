// tessaly-cli: the window's inspection and export, still frames of a view, and installing the
// FCPXML document type definition, for scripts.

#include "cli/CliArguments.h"
#include "cli/Commands.h"
#include "cli/RenderCommand.h"
#include "export/LibxmlSetup.h"
#include "model/FileNames.h"
#include "preview/gl/OpenGLSetup.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTextStream>

#include <csignal>

extern "C" {
#include <libavutil/log.h>
}

namespace {

// File paths are kept byte for byte, whatever their encoding.
QStringList argumentsOf(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(FileNames::decodedPath(QByteArray(argv[i])));
    return arguments;
}

// Standard error carries the command's own sentences only; Qt's notes about the session it runs
// in (a missing runtime folder, the display) mean nothing to a script.
void quietQt(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtFatalMsg) {
        QTextStream(stderr) << message << '\n';
        std::abort();
    }
}

} // namespace

int main(int argc, char** argv) {
    // A write cut short by the file-size limit fails with EFBIG and cleans up after itself,
    // instead of killing the process with its temporary file left behind.
    std::signal(SIGXFSZ, SIG_IGN);
    av_log_set_level(AV_LOG_QUIET);
    initialiseLibxml();
    qInstallMessageHandler(quietQt);
    QTextStream out(stdout);
    QTextStream err(stderr);
    CliCommand command;
    try {
        command = CliArguments::parse(argumentsOf(argc, argv));
    } catch (const UsageError& e) {
        err << e.reason() << '\n' << CliArguments::usage() << '\n';
        return 2;
    }

    if (command.kind == CliCommand::render) {
        if (!Commands::displayAvailable()) {
            err << "Rendering needs an OpenGL context: run it in a desktop session or under "
                   "xvfb-run.\n";
            return 1;
        }
        OpenGLSetup::prepareSharedContexts();
        QGuiApplication app(argc, argv);
        return Commands::render(command.renderArgs, err);
    }

    QCoreApplication app(argc, argv);
    switch (command.kind) {
    case CliCommand::help:
        out << CliArguments::usage() << '\n';
        return 0;
    case CliCommand::inspect:
        return Commands::inspect(command.inspectArgs, out, err);
    case CliCommand::exportProject:
        return Commands::exportProject(command.exportArgs, err);
    case CliCommand::installDTD:
        return Commands::installDTD(command.installDTDArgs, err);
    case CliCommand::render:
        break;
    }
    return 2;
}
