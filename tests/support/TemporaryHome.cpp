#include "support/TemporaryHome.h"

#include <QDir>
#include <QFile>

TemporaryHome::TemporaryHome()
    : saved_{{"HOME", {}, false}, {"XDG_DATA_HOME", {}, false}, {"XDG_DATA_DIRS", {}, false}} {
    for (Saved& variable : saved_) {
        variable.set = qEnvironmentVariableIsSet(variable.name);
        variable.value = qgetenv(variable.name);
    }
    qputenv("HOME", dir_.path().toLocal8Bit());
    qunsetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_DIRS", dir_.filePath(QStringLiteral("system-data")).toLocal8Bit());
}

TemporaryHome::~TemporaryHome() {
    for (const Saved& variable : saved_) {
        if (variable.set)
            qputenv(variable.name, variable.value);
        else
            qunsetenv(variable.name);
    }
}

QString TemporaryHome::installFinalCut(const QString& dtdInside) const {
    const QString bundle = dir_.filePath(QStringLiteral("Applications/Final Cut Pro.app"));
    const QString resources = bundle + QLatin1Char('/') + dtdInside;
    QDir().mkpath(resources);
    QFile plist(bundle + QStringLiteral("/Contents/Info.plist"));
    if (plist.open(QIODevice::WriteOnly))
        plist.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<plist version=\"1.0\"><dict>\n"
                    "<key>CFBundleName</key><string>Final Cut Pro</string>\n"
                    "<key>CFBundleIdentifier</key><string>com.apple.FinalCut</string>\n"
                    "</dict></plist>\n");
    QFile::copy(testDTD(), resources + QStringLiteral("/FCPXMLv1_14.dtd"));
    return bundle;
}
