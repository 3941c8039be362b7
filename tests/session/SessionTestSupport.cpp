#include "session/SessionTestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QThreadPool>

void settle() {
    QThreadPool::globalInstance()->waitForDone();
    QTest::qWait(30);
}

QString makeSampleClip(const QString& folder, const QString& name, const QStringList& options) {
    const QString path = folder + QLatin1Char('/') + name;
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(QStringLiteral(TESSALY_SOURCE_DIR "/scripts/make-sample"),
                  options + QStringList{path});
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return {};
    return path;
}

QString writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TemporaryHome::TemporaryHome()
    : previous_(qgetenv("HOME")), hadPrevious_(qEnvironmentVariableIsSet("HOME")) {
    qputenv("HOME", dir_.path().toLocal8Bit());
}

TemporaryHome::~TemporaryHome() {
    if (hadPrevious_)
        qputenv("HOME", previous_);
    else
        qunsetenv("HOME");
}

QString TemporaryHome::installFinalCut() const {
    const QString bundle = dir_.path() + QStringLiteral("/Applications/Final Cut Pro.app");
    const QString resources =
        bundle + QStringLiteral("/Contents/Frameworks/Interchange.framework/Resources");
    QDir().mkpath(resources);
    writeFile(bundle + QStringLiteral("/Contents/Info.plist"),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<plist version=\"1.0\"><dict>\n"
              "<key>CFBundleName</key><string>Final Cut Pro</string>\n"
              "<key>CFBundleIdentifier</key><string>com.apple.FinalCut</string>\n"
              "</dict></plist>\n");
    QFile::copy(QStringLiteral(TESSALY_TESTDATA_DIR "/FCPXMLv1_14.dtd"),
                resources + QStringLiteral("/FCPXMLv1_14.dtd"));
    return bundle;
}
