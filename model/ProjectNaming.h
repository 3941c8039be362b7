#pragma once

#include "model/OutputFormat.h"

#include <QString>
#include <QUrl>
#include <optional>

// The project's base name (the video's or the user's own) and its optional automatic details,
// from which the project title and the proposed file name are made.
class ProjectNaming {
public:
    static inline const QString fallbackBaseName = QStringLiteral("Pellawick");

    ProjectNaming() = default;

    // Takes the base name from a video's file name, trimmed; an empty result uses the fallback.
    void setSource(const QUrl& url);

    const QString& sourceBaseName() const { return sourceBaseName_; }
    const std::optional<QString>& customBaseName() const { return customBaseName_; }

    bool usesSourceName() const { return usesSourceName_; }
    // Unticking with no custom name copies the video's name, so the box reads the same.
    void setUsesSourceName(bool uses);

    bool appendsDetails() const { return appendsDetails_; }
    void setAppendsDetails(bool appends) { appendsDetails_ = appends; }

    QString baseName() const;
    // Stores a custom name and stops following the video's name.
    void setBaseName(const QString& name);

    QString suffix(int angleCount, OutputFormat format, OutputResolution resolution,
                   bool includeResolution) const;
    QString title(int angleCount, OutputFormat format, OutputResolution resolution,
                  bool includeResolution) const;
    QString filename(int angleCount, OutputFormat format, OutputResolution resolution,
                     bool includeResolution) const;

    friend bool operator==(const ProjectNaming&, const ProjectNaming&) = default;

private:
    QString sourceBaseName_ = fallbackBaseName;
    std::optional<QString> customBaseName_;
    bool usesSourceName_ = true;
    bool appendsDetails_ = true;
};
