#include "model/AngleSettings.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {
const OutputFormat landscape = OutputFormat::landscape;
const OutputFormat portrait = OutputFormat::portrait;
} // namespace

TEST(AngleFraming, FirstPortraitSelectionFollowsLandscapeOnlyOnce) {
    AngleFraming fresh(ViewAngles{110, 0, 0, 100});
    EXPECT_EQ(fresh.portrait, (ViewAngles{110, 0, 0, 90}));
    EXPECT_FALSE(fresh.hasSelectedPortrait);

    AngleFraming framing(ViewAngles{0, 0, 0, 90});
    framing.set(landscape, ViewAngles{180, -12, 5, 100});
    framing.prepareForSelection(landscape);
    EXPECT_FALSE(framing.hasSelectedPortrait);
    framing.prepareForSelection(portrait);
    EXPECT_EQ(framing[portrait], (ViewAngles{180, -12, 5, 90}));
    EXPECT_TRUE(framing.hasSelectedPortrait);

    framing.prepareForSelection(landscape);
    framing.set(landscape, ViewAngles{0, 0, 0, 60});
    framing.prepareForSelection(portrait);
    EXPECT_EQ(framing[portrait], (ViewAngles{180, -12, 5, 90}));
    EXPECT_EQ(framing[landscape], (ViewAngles{0, 0, 0, 60}));
}

TEST(AngleFraming, EditedPortraitSurvivesTheFirstSelection) {
    AngleFraming framing(ViewAngles{30, 10, 0, 90});
    framing.set(portrait, ViewAngles{-45, 5, 2, 70});
    EXPECT_TRUE(framing.hasSelectedPortrait);
    framing.prepareForSelection(portrait);
    EXPECT_EQ(framing[portrait], (ViewAngles{-45, 5, 2, 70}));
    EXPECT_EQ(framing[landscape], (ViewAngles{30, 10, 0, 90}));
}

TEST(AngleSettings, StartingViewsActiveSubsetAndKeys) {
    QObject owner;
    const QList<AngleSettings*> views = AngleSettings::startingViews(&owner);
    ASSERT_EQ(views.size(), 4);
    EXPECT_EQ(views[0]->framing().landscape, (ViewAngles{180, -12, 0, 90}));
    EXPECT_EQ(views[3]->id(), QStringLiteral("fourth"));
    EXPECT_EQ(views[3]->title(), QStringLiteral("Rear"));
    EXPECT_EQ(views[3]->key(), QStringLiteral("4"));

    views[3]->setFraming(AngleFraming(ViewAngles{-80, 3, 0, 100}));
    const QList<AngleSettings*> three = activeAngles(views, 3);
    ASSERT_EQ(three.size(), 3);
    EXPECT_EQ(three[2]->title(), QStringLiteral("Front"));
    EXPECT_EQ(activeAngles(views, 4).last()->framing().landscape, (ViewAngles{-80, 3, 0, 100}));
    EXPECT_EQ(activeAngles(views, 9).size(), 4);

    EXPECT_EQ(keyInstruction(4), QStringLiteral("1, 2, 3, and 4"));
    for (int other : {3, 0, 5, -1})
        EXPECT_EQ(keyInstruction(other), QStringLiteral("1, 2, and 3"));
}

TEST(AngleSettings, NotifiesOnlyOnRealChanges) {
    AngleSettings view(QStringLiteral("wing"), QStringLiteral("Wing"), QStringLiteral("2"), 0, 0);
    QSignalSpy titles(&view, &AngleSettings::titleChanged);
    QSignalSpy framings(&view, &AngleSettings::framingChanged);
    view.setTitle(QStringLiteral("Wing"));
    view.setFraming(view.framing());
    EXPECT_EQ(titles.count(), 0);
    EXPECT_EQ(framings.count(), 0);
    view.setTitle(QStringLiteral("Mast"));
    AngleFraming changed = view.framing();
    changed.prepareForSelection(OutputFormat::portrait);
    view.setFraming(changed);
    EXPECT_EQ(titles.count(), 1);
    EXPECT_EQ(framings.count(), 1);
}
