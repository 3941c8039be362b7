// tessaly-cli: the window's inspection and export, and still frames of a view, for scripts.

#include "cli/CliArguments.h"
#include "cli/Commands.h"
#include "cli/RenderCommand.h"
#include "model/FileNames.h"
#include "preview/gl/OpenGLSetup.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTextStream>
#include <memory>

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

} // namespace

int main(int argc, char** argv) {
    av_log_set_level(AV_LOG_QUIET);
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
        return Commands::render(command.renderArgs, out, err);
    }

    QCoreApplication app(argc, argv);
    switch (command.kind) {
    case CliCommand::help:
        out << CliArguments::usage() << '\n';
        return 0;
    case CliCommand::inspect:
        return Commands::inspect(command.inspectArgs, out, err);
    case CliCommand::exportProject:
        return Commands::exportProject(command.exportArgs, out, err);
    case CliCommand::render:
        break;
    }
    return 2;
}
