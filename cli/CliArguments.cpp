#include "cli/CliArguments.h"

#include <cmath>

UsageError::UsageError(const QString& reason) : std::runtime_error(reason.toStdString()) {}

namespace CliArguments {

namespace {

double parseNumber(const QString& text, const QString& what) {
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok)
        throw UsageError(QStringLiteral("%1 is not a number: “%2”.").arg(what, text));
    return value;
}

// Anything that is not one of a command's options must be its one source file.
void takeSourceFile(const QString& arg, QString& file) {
    if (arg.startsWith(QLatin1String("--")))
        throw UsageError(QStringLiteral("Unknown option %1.").arg(arg));
    if (!file.isEmpty())
        throw UsageError(QStringLiteral("Name one source file only."));
    file = arg;
}

class Reader {
public:
    explicit Reader(const QStringList& arguments) : args_(arguments) {}
    bool atEnd() const { return index_ >= args_.size(); }
    QString next() { return args_.at(index_++); }
    QString valueFor(const QString& option) {
        if (atEnd())
            throw UsageError(QStringLiteral("%1 needs a value.").arg(option));
        return next();
    }

private:
    const QStringList& args_;
    qsizetype index_ = 0;
};

ExportCommand parseExport(Reader& reader) {
    ExportCommand command;
    bool sawOutput = false;
    while (!reader.atEnd()) {
        const QString arg = reader.next();
        if (arg == QLatin1String("--output")) {
            command.output = reader.valueFor(arg);
            sawOutput = true;
        } else if (arg == QLatin1String("--views")) {
            const QString value = reader.valueFor(arg);
            if (value != QLatin1String("3") && value != QLatin1String("4"))
                throw UsageError(QStringLiteral("--views must be 3 or 4."));
            command.viewCount = value.toInt();
        } else if (arg == QLatin1String("--format")) {
            const auto format = OutputFormat::fromRawValue(reader.valueFor(arg));
            if (!format)
                throw UsageError(QStringLiteral("--format must be landscape or portrait."));
            command.format = *format;
        } else if (arg == QLatin1String("--resolution")) {
            const QString value = reader.valueFor(arg);
            if (value == QLatin1String("hd"))
                command.resolution = OutputResolution::hd;
            else if (value == QLatin1String("4k"))
                command.resolution = OutputResolution::ultraHD;
            else
                throw UsageError(QStringLiteral("--resolution must be hd or 4k."));
        } else if (arg == QLatin1String("--layout")) {
            const auto layout = exportLayoutFromRawValue(reader.valueFor(arg));
            if (!layout)
                throw UsageError(QStringLiteral("--layout must be direct or compound."));
            command.layout = *layout;
        } else if (arg == QLatin1String("--name")) {
            command.name = reader.valueFor(arg);
        } else if (arg == QLatin1String("--view")) {
            command.views.append(parseView(reader.valueFor(arg)));
        } else if (arg == QLatin1String("--dtd")) {
            command.dtd = reader.valueFor(arg);
        } else {
            takeSourceFile(arg, command.file);
        }
    }
    if (command.file.isEmpty())
        throw UsageError(QStringLiteral("Name the source video to export."));
    if (!sawOutput || command.output.isEmpty())
        throw UsageError(QStringLiteral("Name the file to write with --output."));
    const int limit = command.viewCount.value_or(4);
    if (command.views.size() > limit)
        throw UsageError(QStringLiteral("Give at most %1 --view options.").arg(limit));
    return command;
}

RenderCommand parseRender(Reader& reader) {
    RenderCommand command;
    bool sawTime = false;
    while (!reader.atEnd()) {
        const QString arg = reader.next();
        if (arg == QLatin1String("--time")) {
            command.time = parseNumber(reader.valueFor(arg), QStringLiteral("The time"));
            if (!std::isfinite(command.time) || command.time < 0)
                throw UsageError(QStringLiteral("--time must be a number of seconds from 0."));
            sawTime = true;
        } else if (arg == QLatin1String("--output")) {
            command.output = reader.valueFor(arg);
        } else if (arg == QLatin1String("--size")) {
            const QString value = reader.valueFor(arg);
            const QStringList parts = value.split(QLatin1Char('x'));
            bool widthOk = false, heightOk = false;
            if (parts.size() == 2) {
                command.width = parts[0].toInt(&widthOk);
                command.height = parts[1].toInt(&heightOk);
            }
            if (!widthOk || !heightOk || command.width < 1 || command.height < 1 ||
                command.width > 16384 || command.height > 16384)
                throw UsageError(QStringLiteral("--size takes WIDTHxHEIGHT in pixels, from 1 to "
                                                "16384, not “%1”.")
                                     .arg(value));
        } else if (arg == QLatin1String("--view")) {
            command.view = parseView(reader.valueFor(arg));
        } else {
            takeSourceFile(arg, command.file);
        }
    }
    if (command.file.isEmpty())
        throw UsageError(QStringLiteral("Name the source video to render."));
    if (!sawTime)
        throw UsageError(QStringLiteral("Give the time of the frame with --time."));
    if (command.output.isEmpty())
        throw UsageError(QStringLiteral("Name the picture to write with --output."));
    return command;
}

} // namespace

QString usage() {
    return QStringLiteral(
        "Usage: tessaly-cli inspect FILE\n"
        "       tessaly-cli export FILE --output OUT.fcpxml [--views 3|4] "
        "[--format landscape|portrait] [--resolution hd|4k] [--layout direct|compound] "
        "[--name NAME] [--view NAME:PAN:TILT:ROLL:WIDTH]... [--dtd DTD]\n"
        "       tessaly-cli render SOURCE --time SECONDS --output OUT.png [--size WxH] "
        "[--view NAME:PAN:TILT:ROLL:WIDTH]\n"
        "       tessaly-cli --help");
}

NamedView parseView(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() < 5)
        throw UsageError(
            QStringLiteral("--view takes NAME:PAN:TILT:ROLL:WIDTH, not “%1”.").arg(text));
    const qsizetype n = parts.size();
    NamedView view;
    view.name = parts.first(n - 4).join(QLatin1Char(':'));
    view.angles.pan = parseNumber(parts[n - 4], QStringLiteral("The pan"));
    view.angles.tilt = parseNumber(parts[n - 3], QStringLiteral("The tilt"));
    view.angles.roll = parseNumber(parts[n - 2], QStringLiteral("The roll"));
    view.angles.fov = parseNumber(parts[n - 1], QStringLiteral("The view width"));
    return view;
}

CliCommand parse(const QStringList& arguments) {
    if (arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h")))
        return {};
    Reader reader(arguments);
    if (reader.atEnd())
        throw UsageError(QStringLiteral("Name a command."));
    const QString command = reader.next();
    CliCommand result;
    if (command == QLatin1String("inspect")) {
        if (reader.atEnd())
            throw UsageError(QStringLiteral("Name the video to inspect."));
        result.kind = CliCommand::inspect;
        result.inspectArgs.file = reader.next();
        if (result.inspectArgs.file.startsWith(QLatin1String("--")))
            throw UsageError(QStringLiteral("Unknown option %1.").arg(result.inspectArgs.file));
        if (!reader.atEnd())
            throw UsageError(QStringLiteral("inspect takes one file and no options."));
        return result;
    }
    if (command == QLatin1String("export")) {
        result.kind = CliCommand::exportProject;
        result.exportArgs = parseExport(reader);
        return result;
    }
    if (command == QLatin1String("render")) {
        result.kind = CliCommand::render;
        result.renderArgs = parseRender(reader);
        return result;
    }
    throw UsageError(QStringLiteral("Unknown command %1.").arg(command));
}

} // namespace CliArguments
