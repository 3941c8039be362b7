#include "cli/CliArguments.h"

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

// Walks a command's arguments: options with their values, and the one file.
class Reader {
public:
    explicit Reader(const QStringList& arguments) : args_(arguments) {}

    // The next option, or nothing when the next argument is a file (after "--", every one is).
    // Throws HelpRequested for -h or --help in an option's place.
    bool next() {
        while (index_ < args_.size()) {
            current_ = args_.at(index_++);
            if (!optionsEnded_ && current_ == QLatin1String("--")) {
                optionsEnded_ = true;
                continue;
            }
            isOption_ =
                !optionsEnded_ && current_.startsWith(QLatin1Char('-')) && current_.size() > 1;
            if (isOption_ &&
                (current_ == QLatin1String("-h") || current_ == QLatin1String("--help")))
                throw HelpRequested();
            return true;
        }
        return false;
    }
    bool isOption() const { return isOption_; }
    const QString& current() const { return current_; }
    // The option's value, whatever it looks like.
    QString value() {
        if (index_ >= args_.size())
            throw UsageError(QStringLiteral("%1 needs a value.").arg(current_));
        return args_.at(index_++);
    }
    // Anything that is not one of the command's options must be its one file.
    void takeFile(QString& file) const {
        if (isOption_)
            throw UsageError(QStringLiteral("Unknown option %1.").arg(current_));
        if (!file.isEmpty())
            throw UsageError(QStringLiteral("Name one source file only."));
        file = current_;
    }

    struct HelpRequested {};

private:
    const QStringList& args_;
    qsizetype index_ = 0;
    QString current_;
    bool isOption_ = false;
    bool optionsEnded_ = false;
};

ExportCommand parseExport(Reader& reader) {
    ExportCommand command;
    bool sawOutput = false;
    while (reader.next()) {
        const QString& arg = reader.current();
        if (!reader.isOption()) {
            reader.takeFile(command.file);
        } else if (arg == QLatin1String("--output")) {
            command.output = reader.value();
            sawOutput = true;
        } else if (arg == QLatin1String("--views")) {
            const QString value = reader.value();
            if (value != QLatin1String("3") && value != QLatin1String("4"))
                throw UsageError(QStringLiteral("--views must be 3 or 4."));
            command.viewCount = value.toInt();
        } else if (arg == QLatin1String("--format")) {
            const auto format = OutputFormat::fromRawValue(reader.value());
            if (!format)
                throw UsageError(QStringLiteral("--format must be landscape or portrait."));
            command.format = *format;
        } else if (arg == QLatin1String("--resolution")) {
            const QString value = reader.value();
            if (value == QLatin1String("hd"))
                command.resolution = OutputResolution::hd;
            else if (value == QLatin1String("4k"))
                command.resolution = OutputResolution::ultraHD;
            else
                throw UsageError(QStringLiteral("--resolution must be hd or 4k."));
        } else if (arg == QLatin1String("--layout")) {
            const auto layout = exportLayoutFromRawValue(reader.value());
            if (!layout)
                throw UsageError(QStringLiteral("--layout must be direct or compound."));
            command.layout = *layout;
        } else if (arg == QLatin1String("--name")) {
            command.name = reader.value();
        } else if (arg == QLatin1String("--view")) {
            command.views.append(parseView(reader.value()));
        } else if (arg == QLatin1String("--dtd")) {
            command.dtd = reader.value();
        } else if (arg == QLatin1String("--mac-folder")) {
            const QString value = reader.value();
            const qsizetype equals = value.indexOf(QLatin1Char('='));
            if (equals <= 0 || equals == value.size() - 1)
                throw UsageError(QStringLiteral("--mac-folder takes FROM=TO: the folder here and "
                                                "the folder on the Mac, not “%1”.")
                                     .arg(value));
            command.macFolder = MacFolderMapping{value.left(equals), value.mid(equals + 1)};
        } else {
            reader.takeFile(command.file);
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

void parseSize(const QString& value, RenderCommand& command) {
    const QStringList parts = value.split(QLatin1Char('x'));
    bool widthOk = false, heightOk = false;
    if (parts.size() == 2) {
        command.width = parts[0].toInt(&widthOk);
        command.height = parts[1].toInt(&heightOk);
    }
    const auto inRange = [](int side) {
        return side >= RenderCommand::smallestSide && side <= RenderCommand::largestSide;
    };
    if (!widthOk || !heightOk || !inRange(command.width) || !inRange(command.height))
        throw UsageError(QStringLiteral("--size takes WIDTHxHEIGHT in pixels, from %1 to %2 on "
                                        "each side, not “%3”.")
                             .arg(RenderCommand::smallestSide)
                             .arg(RenderCommand::largestSide)
                             .arg(value));
}

RenderCommand parseRender(Reader& reader) {
    RenderCommand command;
    bool sawTime = false;
    while (reader.next()) {
        const QString& arg = reader.current();
        if (!reader.isOption()) {
            reader.takeFile(command.file);
        } else if (arg == QLatin1String("--time")) {
            // Any number; whether it lies within the source is known once the source is open.
            command.time = parseNumber(reader.value(), QStringLiteral("The time"));
            sawTime = true;
        } else if (arg == QLatin1String("--output")) {
            command.output = reader.value();
        } else if (arg == QLatin1String("--size")) {
            parseSize(reader.value(), command);
        } else if (arg == QLatin1String("--view")) {
            command.view = parseView(reader.value());
        } else if (arg == QLatin1String("--overwrite")) {
            command.overwrite = true;
        } else {
            reader.takeFile(command.file);
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

// A command that takes one file and no options.
QString parseOneFile(Reader& reader, const QString& missing, const QString& command) {
    QString file;
    while (reader.next()) {
        if (reader.isOption())
            throw UsageError(QStringLiteral("%1 takes one file and no options.").arg(command));
        reader.takeFile(file);
    }
    if (file.isEmpty())
        throw UsageError(missing);
    return file;
}

} // namespace

QString usage() {
    return QStringLiteral(
        "Usage: tessaly-cli inspect FILE\n"
        "       tessaly-cli export FILE --output OUT.fcpxml [--views 3|4] "
        "[--format landscape|portrait] [--resolution hd|4k] [--layout direct|compound] "
        "[--name NAME] [--view NAME:PAN:TILT:ROLL:WIDTH]... [--dtd DTD] [--mac-folder FROM=TO]\n"
        "       tessaly-cli render SOURCE --time SECONDS --output OUT.png [--size WxH] "
        "[--view NAME:PAN:TILT:ROLL:WIDTH] [--overwrite]\n"
        "       tessaly-cli install-dtd FCPXMLv1_14.dtd\n"
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
    if (arguments.isEmpty())
        throw UsageError(QStringLiteral("Name a command."));
    const QString& command = arguments.first();
    CliCommand result;
    if (command == QLatin1String("-h") || command == QLatin1String("--help"))
        return result;
    const QStringList rest = arguments.mid(1);
    Reader reader(rest);
    try {
        if (command == QLatin1String("inspect")) {
            result.kind = CliCommand::inspect;
            result.inspectArgs.file =
                parseOneFile(reader, QStringLiteral("Name the video to inspect."), command);
        } else if (command == QLatin1String("export")) {
            result.kind = CliCommand::exportProject;
            result.exportArgs = parseExport(reader);
        } else if (command == QLatin1String("render")) {
            result.kind = CliCommand::render;
            result.renderArgs = parseRender(reader);
        } else if (command == QLatin1String("install-dtd")) {
            result.kind = CliCommand::installDTD;
            result.installDTDArgs.file = parseOneFile(
                reader, QStringLiteral("Name the FCPXMLv1_14.dtd file to install."), command);
        } else {
            throw UsageError(QStringLiteral("Unknown command %1.").arg(command));
        }
    } catch (const Reader::HelpRequested&) {
        return CliCommand{};
    }
    return result;
}

} // namespace CliArguments
