#include "cli/Commands.h"

#include "export/FCPXMLExporter.h"
#include "media/MediaInspector.h"
#include "model/AngleSettings.h"
#include "model/ProjectNaming.h"
#include "model/UserError.h"
#include "model/ViewDraft.h"

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

// The views a save would take: the starting presets (portrait prepared from landscape), with
// each --view replacing the preset at its position.
QList<ViewDraft> draftsFor(const ExportCommand& command, int viewCount) {
    QObject owner;
    const QList<AngleSettings*> views = AngleSettings::startingViews(&owner);
    for (AngleSettings* view : views) {
        AngleFraming framing = view->framing();
        framing.prepareForSelection(command.format);
        view->setFraming(framing);
    }
    for (qsizetype i = 0; i < command.views.size(); ++i) {
        views[i]->setTitle(command.views[i].name);
        AngleFraming framing = views[i]->framing();
        framing.set(command.format, command.views[i].angles);
        views[i]->setFraming(framing);
    }
    return ViewDrafts::from(activeAngles(views, viewCount), command.format);
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

int exportProject(const ExportCommand& command, QTextStream& out, QTextStream& err) {
    const int viewCount = command.viewCount.value_or(command.views.size() == 3 ? 3 : 4);
    const QUrl source = fileUrl(command.file);
    const QUrl destination = fileUrl(command.output);
    try {
        const QList<ViewDraft> drafts = draftsFor(command, viewCount);
        ViewDrafts::check(drafts, command.format);

        ProjectNaming naming;
        naming.setSource(source);
        if (command.name)
            naming.setBaseName(*command.name);
        const QString title =
            naming.title(int(drafts.size()), command.format, command.resolution, true);
        const OutputDimensions size = command.format.dimensions(command.resolution);

        const ExportMediaInfo info = MediaInspector::inspect(source);
        std::optional<QUrl> dtd;
        if (command.dtd)
            dtd = fileUrl(*command.dtd);
        FCPXMLExporter::write(source, info, ViewDrafts::exportViews(drafts), size.width,
                              size.height, title, command.layout, destination, dtd);
        out << destination.toLocalFile() << '\n';
        return 0;
    } catch (const std::exception& e) {
        return refuse(err, localizedDescription(e));
    }
}

} // namespace Commands
