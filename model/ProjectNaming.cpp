#include "model/ProjectNaming.h"

#include "model/FileNames.h"

void ProjectNaming::setSource(const QUrl& url) {
    // A name that is not UTF-8 becomes readable text: the title is written into the document.
    const QString trimmed = FileNames::displayText(FileNames::baseName(url)).trimmed();
    sourceBaseName_ = trimmed.isEmpty() ? fallbackBaseName : trimmed;
}

void ProjectNaming::setUsesSourceName(bool uses) {
    if (!uses && !customBaseName_)
        customBaseName_ = sourceBaseName_;
    usesSourceName_ = uses;
}

QString ProjectNaming::baseName() const {
    if (!usesSourceName_ && customBaseName_)
        return *customBaseName_;
    return sourceBaseName_;
}

void ProjectNaming::setBaseName(const QString& name) {
    customBaseName_ = name;
    usesSourceName_ = false;
}

QString ProjectNaming::suffix(int angleCount, OutputFormat format, OutputResolution resolution,
                              bool includeResolution) const {
    if (!appendsDetails_)
        return {};
    QString text = QStringLiteral(" - %1 angles - ").arg(angleCount);
    text += format == OutputFormat::landscape ? QStringLiteral("Landscape 16x9")
                                              : QStringLiteral("Portrait 9x16");
    if (includeResolution)
        text += QStringLiteral(" - ") + resolution.displayName();
    return text;
}

QString ProjectNaming::title(int angleCount, OutputFormat format, OutputResolution resolution,
                             bool includeResolution) const {
    QString base = baseName().trimmed();
    if (base.isEmpty())
        base = sourceBaseName_;
    return base + suffix(angleCount, format, resolution, includeResolution);
}

QString ProjectNaming::filename(int angleCount, OutputFormat format, OutputResolution resolution,
                                bool includeResolution) const {
    const QString name = title(angleCount, format, resolution, includeResolution);
    QString result;
    result.reserve(name.size() + 7);
    // Scalar by scalar: a surrogate pair is one scalar and is kept or replaced whole.
    for (qsizetype i = 0; i < name.size(); ++i) {
        char32_t scalar = name.at(i).unicode();
        qsizetype length = 1;
        if (QChar::isHighSurrogate(scalar) && i + 1 < name.size() &&
            name.at(i + 1).isLowSurrogate()) {
            scalar = QChar::surrogateToUcs4(name.at(i), name.at(i + 1));
            length = 2;
        }
        const auto category = QChar::category(scalar);
        const bool replace = category == QChar::Other_Control || category == QChar::Other_Format ||
                             scalar == U'/' || scalar == U'\\' || scalar == U':';
        if (replace)
            result += QLatin1Char('-');
        else
            result += name.mid(i, length);
        i += length - 1;
    }
    return result + QStringLiteral(".fcpxml");
}
