#include "cli/Commands.h"

#include "export/FCPXMLExporter.h"
#include "media/MediaInspector.h"
#include "model/ExportRequest.h"
#include "model/UserError.h"
#include "model/ViewPresets.h"
#include "platform/FinalCutSupport.h"
#include "platform/Workspace.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

namespace Commands {

namespace {

QUrl fileUrl(const QString& path) {
    return QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
}

// Qt's JSON writer escapes the text; keys stay in our order because we write the object.
QString jsonString(const QString& text) {
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

int refuse(QTextStream& err, const QString& message) {
    QString line = message;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    err << line << '\n';
    return 1;
}

// The project a save in an untouched window would make, with each --view replacing the starting
// view at its position.
ProjectSetup setupFor(const ExportCommand& command, const QUrl& source) {
    const int viewCount = command.viewCount.value_or(command.views.size() == 3 ? 3 : 4);
    ProjectSetup setup;
    setup.views = ViewPresets::views(command.format).first(viewCount);
    for (qsizetype i = 0; i < command.views.size() && i < viewCount; ++i)
        setup.views[i] = {command.views[i].name, command.views[i].angles};
    setup.format = command.format;
    setup.resolution = command.resolution;
    setup.naming.setSource(source);
    if (command.name)
        setup.naming.setBaseName(*command.name);
    setup.layout = command.layout;
    if (command.macFolder)
        setup.macFolder =
            MacFolderMapping{QFileInfo(command.macFolder->localFolder).absoluteFilePath(),
                             command.macFolder->macFolder};
    return setup;
}

} // namespace

QString mediaInfoJson(const ExportMediaInfo& info) {
    return QStringLiteral("{\"width\":%1,\"height\":%2,\"frameDuration\":%3,\"duration\":%4,"
                          "\"sourceStart\":%5,\"channels\":%6,\"sampleRate\":%7,"
                          "\"colorSpace\":%8}")
        .arg(info.width)
        .arg(info.height)
        .arg(jsonString(FCPXMLExporter::seconds(info.frameDuration)),
             jsonString(FCPXMLExporter::seconds(info.duration)),
             jsonString(FCPXMLExporter::seconds(info.sourceStart)))
        .arg(info.channels)
        .arg(info.sampleRate)
        .arg(info.colorSpace ? jsonString(*info.colorSpace) : QStringLiteral("null"));
}

int inspect(const InspectCommand& command, QTextStream& out, QTextStream& err) {
    try {
        out << mediaInfoJson(MediaInspector::inspect(fileUrl(command.file))) << '\n';
        return 0;
    } catch (const std::exception& e) {
        return refuse(err, localizedDescription(e));
    }
}

int exportProject(const ExportCommand& command, QTextStream& err) {
    const QUrl source = fileUrl(command.file);
    try {
        ExportRequest request = ExportRequests::make(source, setupFor(command, source));
        request.destination = fileUrl(command.output);
        request.info = MediaInspector::inspect(source);
        const std::optional<QUrl> dtd = command.dtd ? std::optional(fileUrl(*command.dtd))
                                                    : FinalCutSupport::dtdURL(Workspace::system());
        FCPXMLExporter::write(request, dtd);
        return 0;
    } catch (const MissingDTDError&) {
        return refuse(
            err, QStringLiteral("Final Cut Pro's FCPXML 1.14 document type definition was not "
                                "found. Copy FCPXMLv1_14.dtd from Final Cut Pro on a Mac (inside "
                                "the app, in Contents/Frameworks/Interchange.framework/Resources), "
                                "then name it with --dtd or keep a copy with tessaly-cli "
                                "install-dtd."));
    } catch (const std::exception& e) {
        return refuse(err, localizedDescription(e));
    }
}

int installDTD(const InstallDTDCommand& command, QTextStream& err) {
    try {
        FCPXMLExporter::installDTD(command.file, FinalCutSupport::userDTDPath());
        return 0;
    } catch (const std::exception& e) {
        return refuse(err, localizedDescription(e));
    }
}

} // namespace Commands
