#include "ExportTestSupport.h"

#include "export/FCPXMLExporter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <clocale>
#include <cstdlib>
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <thread>

namespace {

const QString goldenFolder = QStringLiteral(TESSALY_SOURCE_DIR "/tests/export/golden/");

struct Golden {
    const char* file;
    ExportRequest request;
};

std::vector<Golden> goldenDocuments() {
    std::vector<Golden> golden;
    golden.push_back({"landscape-direct-sound.fcpxml", typicalRequest()});

    ExportRequest compound = typicalRequest();
    compound.layout = "compound";
    compound.width = 3840;
    compound.height = 2160;
    golden.push_back({"landscape-compound.fcpxml", compound});

    // Portrait forces compound clips even with the direct layout.
    ExportRequest portrait = typicalRequest();
    portrait.width = 1080;
    portrait.height = 1920;
    const double rolls[] = {0, 90, 180, -90};
    for (qsizetype i = 0; i < portrait.views.size(); ++i)
        portrait.views[i].roll = rolls[i];
    golden.push_back({"portrait.fcpxml", portrait});

    ExportRequest silent = typicalRequest();
    silent.views.resize(3);
    silent.info.channels = 0;
    silent.info.sampleRate = 0;
    silent.info.colorSpace.reset();
    golden.push_back({"three-views-silent.fcpxml", silent});

    ExportRequest escaped = typicalRequest();
    escaped.name = QString::fromUtf16(u"Reef & Wreck <North> \"Dawn\" \u2014 Day 2");
    escaped.views[0].name = QStringLiteral("Front & \"Centre\"");
    escaped.views[1].name = QStringLiteral("Left\tSide");
    golden.push_back({"escaped-names.fcpxml", escaped});
    return golden;
}

XmlDocument parse(const QByteArray& text) {
    return XmlDocument(xmlReadMemory(text.constData(), int(text.size()), "memory.fcpxml", nullptr,
                                     XML_PARSE_NONET));
}

QString validationMessage(xmlDoc* document, const std::optional<QUrl>& dtd = testDTDURL()) {
    return messageOf([&] { FCPXMLExporter::validate(document, dtd); });
}

} // namespace

TEST(FCPXMLDocument, MatchesGoldenFilesThatTwoValidatorsAccept) {
    const bool update = qEnvironmentVariableIsSet("TESSALY_UPDATE_GOLDEN");
    for (const Golden& golden : goldenDocuments()) {
        SCOPED_TRACE(golden.file);
        const QString path = goldenFolder + QLatin1String(golden.file);
        const QByteArray text = documentText(golden.request);
        if (update) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
        }
        const QByteArray expected = readFile(path);
        EXPECT_EQ(text, expected);

        const XmlDocument stored = parse(expected);
        ASSERT_TRUE(stored);
        EXPECT_EQ(validationMessage(stored.get()), "no error");

        const ProgramResult xmllint =
            runProgram("xmllint", {"--noout", "--dtdvalid", testDTDPath(), path});
        EXPECT_EQ(xmllint.exitCode, 0) << xmllint.errors.constData();

        const ProgramResult canonical = runProgram("xmllint", {"--c14n", path});
        const QList<QByteArray> lines = expected.split('\n');
        ASSERT_EQ(lines.size(), 3); // declaration, root, and the empty rest after the final LF
        EXPECT_EQ(lines[0], R"(<?xml version="1.0" encoding="UTF-8"?>)");
        EXPECT_EQ(canonical.output, lines[1]);
    }
}

TEST(FCPXMLDocument, SourceIsTheResolvedFileAsAnEscapedURL) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString real = QDir(folder.path()).canonicalPath();
    ASSERT_TRUE(QDir(real).mkpath(QString::fromUtf16(u"Dive Trip/\u00F1and\u00FA [1]")));
    const QString clip = real + QString::fromUtf16(u"/Dive Trip/\u00F1and\u00FA [1]/50% #2.mp4");
    QFile(clip).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QFile::link(clip, real + "/link.mp4"));

    ExportRequest request = typicalRequest();
    request.source = QUrl::fromLocalFile(folder.path() + "/./Dive Trip/../link.mp4");
    const QByteArray text = documentText(request);
    const QByteArray expected = "src=\"file://" + real.toUtf8() +
                                "/Dive%20Trip/%C3%B1and%C3%BA%20%5B1%5D/50%25%20%232.mp4\"";
    EXPECT_TRUE(text.contains(expected)) << text.constData();
    // The asset keeps the name the user chose, not the link's target.
    EXPECT_TRUE(text.contains("name=\"link.mp4\""));
}

TEST(FCPXMLDocument, OrientationNumbersIgnoreTheProcessLocale) {
    QTemporaryDir locales;
    const ProgramResult made =
        runProgram("localedef", {"-i", "de_DE", "-f", "UTF-8", locales.filePath("de_DE.UTF-8")});
    if (made.exitCode != 0)
        GTEST_SKIP() << "localedef could not build a German locale: " << made.errors.constData();
    ::setenv("LOCPATH", locales.path().toLocal8Bit().constData(), 1);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
    char decimalComma[16];
    std::snprintf(decimalComma, sizeof decimalComma, "%.6g", 12.5);
    EXPECT_STREQ(decimalComma, "12,5");

    ExportRequest request = typicalRequest();
    request.views[0].pan = 12.5;
    request.views[0].tilt = 0.00001;
    const QByteArray text = documentText(request);
    std::setlocale(LC_ALL, "C");
    ::unsetenv("LOCPATH");
    EXPECT_TRUE(text.contains("pan=\"12.5\" roll=\"0\" tilt=\"1e-05\"")) << text.constData();
}

TEST(FCPXMLDocument, ValidationReportsTheFirstProblemAndKeepsTheDocumentsDTD) {
    const XmlDocument document = parse(documentText(typicalRequest()));
    xmlDtd* own = xmlCreateIntSubset(document.get(), BAD_CAST "fcpxml", nullptr, nullptr);
    EXPECT_EQ(validationMessage(document.get()), "no error");
    EXPECT_EQ(document->intSubset, own);
    EXPECT_EQ(document->extSubset, nullptr);

    xmlNode* root = xmlDocGetRootElement(document.get());
    xmlNewChild(root, nullptr, BAD_CAST "library", nullptr); // after an event: out of order
    xmlSetProp(root, BAD_CAST "version", BAD_CAST "1.13");
    const QString prefix =
        QStringLiteral("The multicam setup did not pass Final Cut XML validation: ");
    EXPECT_EQ(validationMessage(document.get()),
              prefix + "Element fcpxml content does not follow the DTD, expecting (import-options? "
                       ", resources? , (library | event* | (clip | audition | mc-clip | ref-clip | "
                       "sync-clip | asset-clip | collection-folder | keyword-collection | "
                       "smart-collection | project)*)), got (resources event library)");
    EXPECT_EQ(document->intSubset, own);
    EXPECT_EQ(document->extSubset, nullptr);

    // Long content models come through whole, up to the element that broke them.
    const XmlDocument misplaced = parse(documentText(typicalRequest()));
    xmlNode* audio = xmlDocGetRootElement(misplaced.get())->last->last->last->last->last->last;
    ASSERT_EQ(xmlStrcmp(audio->name, BAD_CAST "asset-clip"), 0);
    xmlNewChild(audio, nullptr, BAD_CAST "resources", nullptr);
    const QString longMessage = validationMessage(misplaced.get());
    EXPECT_TRUE(longMessage.contains("expecting (note? , (conform-rate? , timeMap?) , ((object"));
    EXPECT_TRUE(longMessage.endsWith("metadata?), got (resources)")) << longMessage.toStdString();

    QTemporaryDir folder;
    EXPECT_EQ(validationMessage(document.get(), QUrl::fromLocalFile(folder.filePath("none.dtd"))),
              prefix + "No such file or directory");
    QFile broken(folder.filePath("broken.dtd"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("<!ELEMENT fcpxml (resources?>\n");
    broken.close();
    EXPECT_EQ(validationMessage(document.get(), QUrl::fromLocalFile(broken.fileName())),
              prefix + "ContentDecl : ',' '|' or ')' expected");
    EXPECT_EQ(validationMessage(document.get(), QUrl("https://example.com/FCPXMLv1_14.dtd")),
              "Final Cut Pro's FCPXML 1.14 support files could not be found. Install or update "
              "Final Cut Pro, then try again.");
    EXPECT_EQ(document->intSubset, own);
}

TEST(FCPXMLDocument, ConcurrentValidationsKeepTheirOwnMessages) {
    const auto invalid = [](const char* element) {
        XmlDocument document = parse(documentText(typicalRequest()));
        xmlNewChild(xmlDocGetRootElement(document.get()), nullptr, BAD_CAST element, nullptr);
        return document;
    };
    const XmlDocument first = invalid("mystery");
    const XmlDocument second = invalid("enigma");
    const auto repeat = [](xmlDoc* document, const char* own, const char* other, bool* allOwn) {
        for (int i = 0; i < 20; ++i) {
            const QString message = validationMessage(document);
            *allOwn = *allOwn && message.contains(own) && !message.contains(other);
        }
    };
    bool firstOwn = true, secondOwn = true;
    std::thread a(repeat, first.get(), "mystery", "enigma", &firstOwn);
    std::thread b(repeat, second.get(), "enigma", "mystery", &secondOwn);
    a.join();
    b.join();
    EXPECT_TRUE(firstOwn);
    EXPECT_TRUE(secondOwn);
}
