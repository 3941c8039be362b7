// tessaly-cli: the window's inspection and export, for scripts and machines without a display.

#include "cli/CliArguments.h"
#include "cli/Commands.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList arguments = app.arguments();
    arguments.removeFirst();
    try {
        const CliCommand command = CliArguments::parse(arguments);
        switch (command.kind) {
        case CliCommand::help:
            out << CliArguments::usage() << '\n';
            return 0;
        case CliCommand::inspect:
            return Commands::inspect(command.inspectArgs, out, err);
        case CliCommand::exportProject:
            return Commands::exportProject(command.exportArgs, out, err);
        }
    } catch (const UsageError& e) {
        err << e.reason() << '\n' << CliArguments::usage() << '\n';
        return 2;
    }
    return 2;
}
