#include "ui/NumericControl.h"

#include "UiTestSupport.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QSignalSpy>
#include <QSlider>
#include <QtTest/QTest>
#include <gtest/gtest.h>

namespace {

constexpr ClosedRange panRange{-180, 180};

// Types into the field and commits with Enter, as a user does.
void type(NumericControl& control, const QString& text) {
    control.field()->setFocus();
    control.field()->selectAll();
    QTest::keyClicks(control.field(), text);
    QTest::keyClick(control.field(), Qt::Key_Return);
}

TEST(NumericControl, TypedValuesOutsideTheRangeAreKeptAndTheSliderRestsAtItsEnd) {
    NumericControl control(QStringLiteral("Pan"), panRange, QStringLiteral("°"));
    control.setLocale(QLocale::c());
    control.show();
    QSignalSpy edits(&control, &NumericControl::valueEdited);

    type(control, QStringLiteral("200"));
    ASSERT_EQ(edits.size(), 1);
    EXPECT_EQ(edits.first().first().toDouble(), 200.0);
    EXPECT_EQ(control.value(), 200.0);
    EXPECT_EQ(control.field()->text(), QStringLiteral("200.0"));
    EXPECT_EQ(control.slider()->value(), control.slider()->maximum());

    type(control, QStringLiteral("-500"));
    EXPECT_EQ(control.value(), -500.0);
    EXPECT_EQ(control.slider()->value(), control.slider()->minimum());

    // Dragging from the end writes values inside the range again, continuously.
    control.slider()->setValue(control.slider()->minimum() + 1);
    EXPECT_DOUBLE_EQ(control.value(), -179.99);
    EXPECT_DOUBLE_EQ(edits.last().first().toDouble(), -179.99);
}

TEST(NumericControl, TextThatIsNotANumberChangesNothing) {
    NumericControl control(QStringLiteral("Tilt"), {-90, 90}, QStringLiteral("°"));
    control.setLocale(QLocale::c());
    control.setValue(12.5);
    showActive(control);
    QSignalSpy edits(&control, &NumericControl::valueEdited);

    for (const QString& text : {QStringLiteral("abc"), QStringLiteral(""), QStringLiteral("12..5"),
                                QStringLiteral("nan"), QStringLiteral("inf")}) {
        type(control, text);
        EXPECT_EQ(control.value(), 12.5) << text.toStdString();
        EXPECT_EQ(control.field()->text(), QStringLiteral("12.5")) << text.toStdString();
    }
    EXPECT_EQ(edits.size(), 0);

    // Leaving the field commits like Enter does.
    control.field()->setFocus();
    control.field()->selectAll();
    QTest::keyClicks(control.field(), QStringLiteral("-33.24"));
    control.slider()->setFocus();
    EXPECT_EQ(control.value(), -33.24);
    EXPECT_EQ(control.field()->text(), QStringLiteral("-33.2"));
}

TEST(NumericControl, ShowsOneDecimalInTheUsersLocaleAndFollowsItsChanges) {
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    {
        NumericControl control(QStringLiteral("Pan"), panRange, QStringLiteral("°"));
        control.setValue(-12.34);
        EXPECT_EQ(control.field()->text(), QStringLiteral("-12.3"));

        // A German user types and reads decimal commas.
        control.setLocale(QLocale(QLocale::German, QLocale::Germany));
        EXPECT_EQ(control.field()->text(), QStringLiteral("-12,3"));
        control.show();
        type(control, QStringLiteral("45,76"));
        EXPECT_EQ(control.value(), 45.76);
        EXPECT_EQ(control.field()->text(), QStringLiteral("45,8"));
    }
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    {
        NumericControl control(QStringLiteral("Pan"), panRange, QStringLiteral("°"));
        control.setValue(-12.34);
        EXPECT_EQ(control.field()->text(), QStringLiteral("-12,3"));
    }
    QLocale::setDefault(previous);
}

TEST(NumericControl, AccessibleNamesSayDegreesOnlyForAngles) {
    NumericControl pan(QStringLiteral("Pan"), panRange, QStringLiteral("°"));
    NumericControl width(QStringLiteral("View width"), {45, 125}, {});
    EXPECT_EQ(pan.field()->accessibleName(), QStringLiteral("Pan in degrees"));
    EXPECT_EQ(pan.slider()->accessibleName(), QStringLiteral("Pan"));
    EXPECT_EQ(width.field()->accessibleName(), QStringLiteral("View width"));
    EXPECT_EQ(width.findChildren<QLabel*>().size(), 1) << "no unit text beside View width";

    // Showing a value from the model is not an edit.
    QSignalSpy edits(&width, &NumericControl::valueEdited);
    width.setValue(300);
    width.setRange({45, 125});
    EXPECT_EQ(width.slider()->value(), width.slider()->maximum());
    EXPECT_EQ(edits.size(), 0);
}

} // namespace
