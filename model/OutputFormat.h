#pragma once

#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>
#include <optional>

struct ClosedRange {
    double lowerBound = 0;
    double upperBound = 0;
    bool contains(double x) const { return x >= lowerBound && x <= upperBound; }
    friend bool operator==(const ClosedRange&, const ClosedRange&) = default;
};

// Horizontal and vertical angular coverage of a view, in degrees.
struct Coverage {
    double horizontal = 0;
    double vertical = 0;
};

// Pixel size of the Final Cut project.
struct OutputDimensions {
    std::int64_t width = 0;
    std::int64_t height = 0;
    // "3840 × 2160"
    QString displayName() const;
    friend bool operator==(const OutputDimensions&, const OutputDimensions&) = default;
};

// Size class of the project.
class OutputResolution {
public:
    enum Case { hd, ultraHD };
    static constexpr std::array<Case, 2> allCases{hd, ultraHD};

    constexpr OutputResolution(Case c) : case_(c) {}
    static std::optional<OutputResolution> fromRawValue(QStringView raw);

    constexpr Case value() const { return case_; }
    QString rawValue() const;
    QString displayName() const;

    friend constexpr bool operator==(OutputResolution, OutputResolution) = default;

private:
    Case case_;
};

// Frame shape of the project.
class OutputFormat {
public:
    enum Case { landscape, portrait };
    static constexpr std::array<Case, 2> allCases{landscape, portrait};

    constexpr OutputFormat(Case c) : case_(c) {}
    static std::optional<OutputFormat> fromRawValue(QStringView raw);

    constexpr Case value() const { return case_; }
    QString rawValue() const;
    QString displayName() const;
    // Width ÷ height.
    double aspectRatio() const;
    OutputDimensions dimensions(OutputResolution resolution) const;
    // The view width settings the Normal mapping supports.
    ClosedRange viewWidthRange() const { return {45, 125}; }
    Coverage coverage(double viewWidth) const;

    friend constexpr bool operator==(OutputFormat, OutputFormat) = default;

private:
    Case case_;
};

inline std::size_t qHash(OutputFormat f, std::size_t seed = 0) noexcept {
    return seed ^ std::size_t(f.value());
}
inline std::size_t qHash(OutputResolution r, std::size_t seed = 0) noexcept {
    return seed ^ std::size_t(r.value());
}
