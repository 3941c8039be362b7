#include "model/OutputFormat.h"
#include "model/UserError.h"

#include <gtest/gtest.h>
#include <system_error>

TEST(OutputFormat, RawValuesAreExactAndSizesSwapInPortrait) {
    EXPECT_EQ(OutputFormat::fromRawValue(u"portrait"), OutputFormat(OutputFormat::portrait));
    EXPECT_FALSE(OutputFormat::fromRawValue(u"Landscape").has_value());
    EXPECT_EQ(OutputResolution::fromRawValue(u"ultraHD"),
              OutputResolution(OutputResolution::ultraHD));
    EXPECT_FALSE(OutputResolution::fromRawValue(u"4K").has_value());
    EXPECT_EQ(OutputResolution(OutputResolution::ultraHD).displayName(), QStringLiteral("4K"));

    const OutputDimensions portrait4k =
        OutputFormat(OutputFormat::portrait).dimensions(OutputResolution::ultraHD);
    EXPECT_EQ(portrait4k, (OutputDimensions{2160, 3840}));
    EXPECT_EQ(portrait4k.displayName(), QString::fromUtf8("2160 \u00D7 3840"));
    EXPECT_EQ(OutputFormat(OutputFormat::landscape).dimensions(OutputResolution::hd),
              (OutputDimensions{1920, 1080}));
}

TEST(UserError, DescriptionIsTheSentenceAlone) {
    EXPECT_EQ(localizedDescription(ExportError(QStringLiteral("Give the project a name."))),
              QStringLiteral("Give the project a name."));
    const std::system_error denied(std::make_error_code(std::errc::permission_denied));
    EXPECT_EQ(localizedDescription(denied), QStringLiteral("Permission denied"));
    EXPECT_EQ(localizedDescription(std::make_exception_ptr(PreviewError(QStringLiteral("x.")))),
              QStringLiteral("x."));
}
