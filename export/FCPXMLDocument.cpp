#include "export/FCPXMLExporter.h"
#include "export/LibxmlSetup.h"
#include "model/FileNames.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

namespace FCPXMLExporter {

namespace {

struct Attribute {
    const char* name;
    QByteArray value;
};
using Attributes = std::vector<Attribute>;

QByteArray text(const QString& s) {
    return s.toUtf8();
}
QByteArray decimal(std::int64_t n) {
    return QByteArray::number(qlonglong(n));
}

// "%.6g" as the C locale writes it, whatever locale the process runs in.
QByteArray orientationNumber(double degrees) {
    char buffer[32];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, degrees, std::chars_format::general, 6);
    return QByteArray(buffer, result.ptr - buffer);
}

// Attributes go on in ascending order of name so that every run stores the same text.
void setAttributes(xmlNode* element, Attributes attributes) {
    std::sort(attributes.begin(), attributes.end(), [](const Attribute& a, const Attribute& b) {
        return std::strcmp(a.name, b.name) < 0;
    });
    for (const Attribute& attribute : attributes) {
        if (!xmlNewProp(element, BAD_CAST attribute.name, BAD_CAST attribute.value.constData()))
            throw std::bad_alloc();
    }
}

xmlNode* add(const char* name, Attributes attributes, xmlNode* parent) {
    xmlNode* element = xmlNewChild(parent, nullptr, BAD_CAST name, nullptr);
    if (!element)
        throw std::bad_alloc();
    setAttributes(element, std::move(attributes));
    return element;
}

struct Build {
    const ExportMediaInfo& info;
    QByteArray frameDuration;
    QByteArray duration;
    QByteArray start;
    QByteArray name;
    bool portrait;
    bool compound;
};

// The source clip of one view, framed by its 360° orientation.
void addSource(xmlNode* parent, const Build& build, const ExportView& view, double roll) {
    xmlNode* clip = add("asset-clip",
                        {{"duration", build.duration},
                         {"format", "r1"},
                         {"name", text(view.name)},
                         {"offset", "0s"},
                         {"ref", "r3"},
                         {"srcEnable", "video"},
                         {"start", build.start}},
                        parent);
    add("adjust-orientation",
        {{"fieldOfView", orientationNumber(view.angles.fov)},
         {"mapping", "normal"},
         {"pan", orientationNumber(view.angles.pan)},
         {"roll", orientationNumber(roll)},
         {"tilt", orientationNumber(view.angles.tilt)}},
        clip);
}

// A portrait compound clip is built on its side and turned back by the angle's transform, so
// the picture inside it is rolled a quarter turn the other way.
double portraitRoll(double roll) {
    return std::fmod(roll + 270, 360) - 180;
}

QByteArray resourceID(qsizetype position) {
    return "r" + decimal(position + 5);
}

void addFormats(xmlNode* resources, const Build& build, std::int64_t width, std::int64_t height) {
    Attributes source{
        {"fieldOrder", "progressive"},          {"frameDuration", build.frameDuration},
        {"height", decimal(build.info.height)}, {"id", "r1"},
        {"projection", "equirectangular"},      {"stereoscopic", "mono"},
        {"width", decimal(build.info.width)}};
    if (build.info.colorSpace)
        source.push_back({"colorSpace", text(*build.info.colorSpace)});
    add("format", std::move(source), resources);

    const auto project = [&](const char* id, std::int64_t w, std::int64_t h) {
        add("format",
            {{"colorSpace", "1-1-1 (Rec. 709)"},
             {"fieldOrder", "progressive"},
             {"frameDuration", build.frameDuration},
             {"height", decimal(h)},
             {"id", id},
             {"projection", "none"},
             {"width", decimal(w)}},
            resources);
    };
    project("r2", width, height);
    if (build.portrait)
        project("rPortraitProjection", height, width);
}

void addAsset(xmlNode* resources, const Build& build, const QUrl& source,
              const QString& mediaPath) {
    Attributes attributes{
        {"duration", build.duration},
        {"format", "r1"},
        {"hasVideo", "1"},
        {"id", "r3"},
        {"name", text(FileNames::displayText(FileNames::lastPathComponent(source)))},
        {"projectionOverride", "equirectangular"},
        {"start", build.start},
        {"stereoscopicOverride", "mono"},
        {"videoSources", "1"}};
    if (build.info.channels >= 1) {
        attributes.insert(attributes.end(), {{"audioChannels", decimal(build.info.channels)},
                                             {"audioRate", decimal(build.info.sampleRate)},
                                             {"audioSources", "1"},
                                             {"hasAudio", "1"}});
    }
    xmlNode* asset = add("asset", std::move(attributes), resources);
    add("media-rep", {{"kind", "original-media"}, {"src", FileNames::fileURLText(mediaPath)}},
        asset);
}

void addCompoundClips(xmlNode* resources, const Build& build, const QList<ExportView>& views) {
    for (qsizetype i = 0; i < views.size(); ++i) {
        const ExportView& view = views[i];
        xmlNode* media =
            add("media", {{"id", resourceID(i)}, {"name", text(view.name) + " Virtual Camera"}},
                resources);
        xmlNode* sequence = add("sequence",
                                {{"duration", build.duration},
                                 {"format", build.portrait ? "rPortraitProjection" : "r2"},
                                 {"tcFormat", "NDF"},
                                 {"tcStart", "0s"}},
                                media);
        xmlNode* spine = add("spine", {}, sequence);
        addSource(spine, build, view,
                  build.portrait ? portraitRoll(view.angles.roll) : view.angles.roll);
    }
}

void addMulticam(xmlNode* resources, const Build& build, const QList<ExportView>& views) {
    xmlNode* media = add("media", {{"id", "r4"}, {"name", build.name}}, resources);
    xmlNode* multicam = add(
        "multicam",
        {{"duration", build.duration}, {"format", "r2"}, {"tcFormat", "NDF"}, {"tcStart", "0s"}},
        media);
    for (qsizetype i = 0; i < views.size(); ++i) {
        const ExportView& view = views[i];
        xmlNode* angle = add("mc-angle",
                             {{"angleID", "angle-" + decimal(i + 1)},
                              {"name", decimal(i + 1) + ' ' + text(view.name)}},
                             multicam);
        if (!build.compound) {
            addSource(angle, build, view, view.angles.roll);
            continue;
        }
        xmlNode* reference = add("ref-clip",
                                 {{"duration", build.duration},
                                  {"name", text(view.name)},
                                  {"offset", "0s"},
                                  {"ref", resourceID(i)},
                                  {"srcEnable", "video"},
                                  {"start", "0s"}},
                                 angle);
        if (build.portrait) {
            add("adjust-conform", {{"type", "none"}}, reference);
            add("adjust-transform", {{"rotation", "90"}}, reference);
        }
    }
}

void addEvent(xmlNode* root, const Build& build) {
    xmlNode* event = add("event", {{"name", build.name}}, root);
    xmlNode* browserClip = add("mc-clip",
                               {{"duration", build.duration},
                                {"name", build.name},
                                {"ref", "r4"},
                                {"srcEnable", "video"},
                                {"start", "0s"}},
                               event);
    add("mc-source", {{"angleID", "angle-1"}, {"srcEnable", "video"}}, browserClip);

    xmlNode* project =
        add("project", {{"name", build.name + " \xE2\x80\x94 Edit" /* em dash */}}, event);
    xmlNode* sequence = add("sequence",
                            {{"audioLayout", "stereo"},
                             {"audioRate", "48k"},
                             {"duration", build.duration},
                             {"format", "r2"},
                             {"tcFormat", "NDF"},
                             {"tcStart", "0s"}},
                            project);
    xmlNode* spine = add("spine", {}, sequence);
    xmlNode* timelineClip = add("mc-clip",
                                {{"duration", build.duration},
                                 {"name", build.name},
                                 {"offset", "0s"},
                                 {"ref", "r4"},
                                 {"srcEnable", "video"},
                                 {"start", "0s"}},
                                spine);
    add("mc-source", {{"angleID", "angle-1"}, {"srcEnable", "video"}}, timelineClip);
    if (build.info.channels >= 1) {
        add("asset-clip",
            {{"audioRole", "dialogue"},
             {"duration", build.duration},
             {"lane", "-1"},
             {"name", "Continuous Original Audio"},
             {"offset", "0s"},
             {"ref", "r3"},
             {"srcEnable", "audio"},
             {"start", build.start}},
            timelineClip);
    }
}

} // namespace

XmlDocument document(const ExportRequest& request) {
    check(request);

    const ExportMediaInfo& info = request.info;
    const std::int64_t width = request.size.width;
    const std::int64_t height = request.size.height;
    const bool portrait = width * 16 == height * 9;
    const Build build{info,
                      text(seconds(info.frameDuration)),
                      text(seconds(info.duration)),
                      text(seconds(info.sourceStart)),
                      text(request.name),
                      portrait,
                      portrait || request.layout == ExportLayout::compound};

    initialiseLibxml();
    XmlDocument document(xmlNewDoc(BAD_CAST "1.0"));
    if (!document)
        throw std::bad_alloc();
    document->encoding = xmlStrdup(BAD_CAST "UTF-8");
    xmlNode* root = xmlNewDocNode(document.get(), nullptr, BAD_CAST "fcpxml", nullptr);
    if (!document->encoding || !root)
        throw std::bad_alloc();
    xmlDocSetRootElement(document.get(), root);
    setAttributes(root, {{"version", "1.14"}});

    xmlNode* resources = add("resources", {}, root);
    addFormats(resources, build, width, height);
    addAsset(resources, build, request.source, ExportRequests::mediaPath(request));
    if (build.compound)
        addCompoundClips(resources, build, request.views);
    addMulticam(resources, build, request.views);
    addEvent(root, build);
    return document;
}

} // namespace FCPXMLExporter
