#include "ui/AngleCard.h"

#include "UiTestSupport.h"
#include "model/AngleSettings.h"
#include "preview/LivePreviewSession.h"
#include "ui/AnglePreviewBox.h"
#include "ui/NumericControl.h"

#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QtTest/QTest>
#include <gtest/gtest.h>

namespace {

// Stands in for the GL surface and remembers the framings it was handed.
struct RecordingSurfaces {
    QList<ViewAngles> drawn;
    AnglePreviewFactory factory() {
        return [this](LivePreviewSession&, const ViewAngles& angles) {
            drawn.append(angles);
            return AnglePreviewSurface{new QWidget,
                                       [this](const ViewAngles& a) { drawn.append(a); }};
        };
    }
};

class AngleCardTest : public testing::Test {
protected:
    AngleSettings settings{QStringLiteral("self"), QStringLiteral("Self"), QStringLiteral("1"), 180,
                           -12};
    LivePreviewSession preview{makeTimeOnlyRenderer};
    RecordingSurfaces surfaces;

    void type(NumericControl* control, const QString& text) {
        control->setLocale(QLocale::c());
        control->field()->selectAll();
        QTest::keyClicks(control->field(), text);
        QTest::keyClick(control->field(), Qt::Key_Return);
    }
};

QString coverageText(OutputFormat format, double viewWidth) {
    const Coverage c = format.coverage(viewWidth);
    return QStringLiteral("Approx. %1° horizontal · %2° vertical")
        .arg(std::lround(c.horizontal))
        .arg(std::lround(c.vertical));
}

TEST_F(AngleCardTest, NamesTheViewAsTheUserTypes) {
    AngleCard card(settings, preview, OutputFormat::landscape, surfaces.factory());
    card.show();
    QLineEdit* name = card.nameField();
    EXPECT_EQ(name->text(), QStringLiteral("Self"));
    EXPECT_EQ(name->placeholderText(), QStringLiteral("View name"));
    EXPECT_EQ(name->accessibleName(), QStringLiteral("Angle 1 name"));
    EXPECT_EQ(name->toolTip(), QStringLiteral("Name shown for this angle in Final Cut Pro"));
    EXPECT_EQ(card.accessibleName(), QStringLiteral("Self view"));
    EXPECT_EQ(card.previewSurface()->accessibleName(), QStringLiteral("Self live video preview"));

    name->setFocus();
    name->end(false);
    QTest::keyClick(name, Qt::Key_Backspace);
    EXPECT_EQ(settings.title(), QStringLiteral("Sel"));
    QTest::keyClicks(name, QStringLiteral("fie"));
    EXPECT_EQ(settings.title(), QStringLiteral("Selfie"));
    EXPECT_EQ(card.accessibleName(), QStringLiteral("Selfie view"));

    settings.setTitle(QStringLiteral("Helmet"));
    EXPECT_EQ(name->text(), QStringLiteral("Helmet"));
}

TEST_F(AngleCardTest, EachControlWritesItsFieldOfTheCurrentShapesFraming) {
    AngleCard card(settings, preview, OutputFormat::landscape, surfaces.factory());
    card.show();
    EXPECT_EQ(card.pan()->value(), 180);
    EXPECT_EQ(card.tilt()->value(), -12);

    type(card.tilt(), QStringLiteral("30"));
    EXPECT_EQ(settings.framing().landscape, (ViewAngles{180, 30, 0, 90}));
    EXPECT_EQ(surfaces.drawn.last(), (ViewAngles{180, 30, 0, 90}));
    EXPECT_FALSE(settings.framing().hasSelectedPortrait);

    // A pan typed out of range is stored as typed; the save refuses it later.
    type(card.pan(), QStringLiteral("200"));
    EXPECT_EQ(settings.framing().landscape.pan, 200);
    EXPECT_EQ(card.pan()->slider()->value(), card.pan()->slider()->maximum());

    EXPECT_EQ(card.coverageLine()->text(), coverageText(OutputFormat::landscape, 90));
    EXPECT_EQ(card.rangeLine()->text(), QStringLiteral("Range 45–125. Higher values show more."));
    card.viewWidth()->slider()->setValue(125 * int(NumericControl::sliderScale));
    EXPECT_EQ(settings.framing().landscape.fov, 125);
    EXPECT_EQ(card.coverageLine()->text(), coverageText(OutputFormat::landscape, 125));
    EXPECT_NE(coverageText(OutputFormat::landscape, 125),
              coverageText(OutputFormat::landscape, 90));

    type(card.roll(), QStringLiteral("-180"));
    EXPECT_EQ(settings.framing().landscape, (ViewAngles{200, 30, -180, 125}));
}

TEST_F(AngleCardTest, SwitchingShapeRebindsTheControlsAndReshapesThePreview) {
    AngleCard card(settings, preview, OutputFormat::landscape, surfaces.factory());
    card.resize(300, 700);
    card.show();
    QTest::qWait(0);
    const QRect wide = card.previewBox()->blockRect();
    EXPECT_NEAR(double(wide.width()) / wide.height(), 16.0 / 9.0, 0.02);

    AngleFraming framing = settings.framing();
    framing.prepareForSelection(OutputFormat::portrait);
    settings.setFraming(framing);
    card.setFormat(OutputFormat::portrait);
    QTest::qWait(0);
    const QRect tall = card.previewBox()->blockRect();
    EXPECT_LE(tall.height(), AnglePreviewBox::portraitMaximumHeight);
    EXPECT_NEAR(double(tall.width()) / tall.height(), 9.0 / 16.0, 0.02);
    EXPECT_LE(card.previewBox()->height(), AnglePreviewBox::portraitMaximumHeight);

    type(card.pan(), QStringLiteral("-45"));
    EXPECT_EQ(settings.framing().portrait.pan, -45);
    EXPECT_EQ(settings.framing().landscape.pan, 180);
    EXPECT_EQ(card.coverageLine()->text(), coverageText(OutputFormat::portrait, 90));

    card.setFormat(OutputFormat::landscape);
    QTest::qWait(0);
    EXPECT_EQ(card.pan()->value(), 180);
    EXPECT_EQ(surfaces.drawn.last().pan, 180);
    EXPECT_NEAR(double(card.previewBox()->blockRect().width()) /
                    card.previewBox()->blockRect().height(),
                16.0 / 9.0, 0.02);
}

TEST_F(AngleCardTest, TheViewfinderShowsUntilThePreviewIsReady) {
    AngleCard card(settings, preview, OutputFormat::landscape, surfaces.factory());
    card.show();
    EXPECT_TRUE(card.previewBox()->placeholderVisible());
    ASSERT_EQ(finish(preview.load(QUrl::fromLocalFile(cachedSampleClip()), 3.0, 1.0)), nullptr);
    EXPECT_FALSE(card.previewBox()->placeholderVisible());
    preview.shutdown();
    EXPECT_TRUE(card.previewBox()->placeholderVisible());
}

} // namespace
