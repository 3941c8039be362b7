#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <optional>
#include <ostream>

// Readable texts in test failures.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const std::optional<QString>& text, std::ostream* out) {
    if (text)
        PrintTo(*text, out);
    else
        *out << "(none)";
}

// Lets every worker finish and delivers what they posted to the main thread.
void settle();

// Makes a clip with scripts/make-sample; the path, or empty when it failed.
QString makeSampleClip(const QString& folder, const QString& name, const QStringList& options);

// A file with the given bytes; its path.
QString writeFile(const QString& path, const QByteArray& bytes = {});
QByteArray readFile(const QString& path);

// HOME pointing at a fresh folder for as long as this lives.
class TemporaryHome {
public:
    TemporaryHome();
    ~TemporaryHome();
    TemporaryHome(const TemporaryHome&) = delete;
    TemporaryHome& operator=(const TemporaryHome&) = delete;
    QString path() const { return dir_.path(); }
    // ~/Applications/Final Cut Pro.app with its identifier and the test copy of its DTD.
    QString installFinalCut() const;

private:
    QTemporaryDir dir_;
    QByteArray previous_;
    bool hadPrevious_ = false;
};
