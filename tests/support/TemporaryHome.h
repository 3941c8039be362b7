#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// HOME pointing at a fresh folder, with no XDG data folders of the machine's, for as long as this
// lives; the desktop the program looks at is then only what the test puts there.
class TemporaryHome {
public:
    TemporaryHome();
    ~TemporaryHome();
    TemporaryHome(const TemporaryHome&) = delete;
    TemporaryHome& operator=(const TemporaryHome&) = delete;

    QString path() const { return dir_.path(); }
    // ~/Applications/Final Cut Pro.app with its bundle identifier and the test copy of the
    // FCPXML 1.14 DTD at the given place inside it; the bundle's path.
    QString installFinalCut(const QString& dtdInside = QStringLiteral(
                                "Contents/Frameworks/Interchange.framework/Resources")) const;

    static QString testDTD() { return QStringLiteral(TESSALY_TESTDATA_DIR "/FCPXMLv1_14.dtd"); }

private:
    struct Saved {
        const char* name;
        QByteArray value;
        bool set;
    };
    QTemporaryDir dir_;
    Saved saved_[3];
};
