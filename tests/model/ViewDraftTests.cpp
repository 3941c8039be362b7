#include "model/UserError.h"
#include "model/ViewDraft.h"

#include <gtest/gtest.h>
#include <limits>

namespace {
QString refusal(const QList<ViewDraft>& drafts, OutputFormat format = OutputFormat::landscape) {
    try {
        ViewDrafts::check(drafts, format);
    } catch (const ExportError& e) {
        return e.message();
    }
    return {};
}

ViewDraft draft(const QString& name, ViewAngles a = {}) {
    return {name.toLower(), name, a};
}

const QString rangeTail = QString::fromUtf8(
    ": set pan and roll from \u2212180\u00B0 to 180\u00B0, tilt from \u221290\u00B0 to "
    "90\u00B0, and view width from 45.0 to 125.0.");
} // namespace

TEST(ViewDrafts, RefusalsComeInOrderAndNameTheFirstFailingView) {
    const auto valid = QList<ViewDraft>{draft("Self"), draft("Wing"), draft("Front")};
    EXPECT_EQ(refusal(valid), QString());

    // An empty name wins over a duplicate and a bad range that come earlier in the list.
    EXPECT_EQ(refusal({draft("A", {0, 91, 0, 90}), draft("A"), draft("")}),
              QStringLiteral("Give each camera view a name before exporting."));
    EXPECT_EQ(refusal({draft("Front", {0, 95, 0, 90}), draft("front")}),
              QStringLiteral("Use a different name for each camera view so they are easy to "
                             "identify in Final Cut Pro."));
    // Case is folded fully, not only for ASCII.
    EXPECT_FALSE(
        refusal({draft(QString::fromUtf8("Ärm")), draft(QString::fromUtf8("ärm"))}).isEmpty());

    EXPECT_EQ(refusal({draft("Self"), draft("Wing", {0, 0, 0, 125.5}), draft("Front")}),
              QStringLiteral("Wing") + rangeTail);
    EXPECT_EQ(refusal({draft("Self", {0, 0, 0, std::numeric_limits<double>::quiet_NaN()}),
                       draft("Wing"), draft("Front")}),
              QStringLiteral("Self") + rangeTail);
    EXPECT_EQ(refusal({draft("Self", {-180, -90, -180, 45}), draft("Wing", {180, 90, 180, 125}),
                       draft("Front")}),
              QString());
}

TEST(ViewDrafts, CopiesTrimmedNamesAndTheFramingOfTheFormat) {
    QObject owner;
    QList<AngleSettings*> views = AngleSettings::startingViews(&owner);
    views[1]->setTitle(QStringLiteral("  Mast \n"));
    AngleFraming framing = views[1]->framing();
    framing.set(OutputFormat::portrait, ViewAngles{10, 20, 30, 60});
    views[1]->setFraming(framing);

    const QList<ViewDraft> drafts = ViewDrafts::from(views.first(3), OutputFormat::portrait);
    ASSERT_EQ(drafts.size(), 3);
    EXPECT_EQ(drafts[1].name, QStringLiteral("Mast"));
    const QList<ExportView> exported = ViewDrafts::exportViews(drafts);
    EXPECT_EQ(exported[1].name, QStringLiteral("Mast"));
    EXPECT_EQ(exported[1].roll, 30);
    EXPECT_EQ(exported[1].fieldOfView, 60);
    EXPECT_EQ(exported[0].pan, 180);
}
