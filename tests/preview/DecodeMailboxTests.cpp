#include "preview/player/DecodeMailbox.h"

#include <gtest/gtest.h>

namespace {

QueuedFrame shownAt(double time) {
    return QueuedFrame{VideoFrame(), time};
}

double timeOf(const std::optional<QueuedFrame>& frame) {
    return frame ? frame->time : -1;
}

} // namespace

// While dragging, targets come faster than the main thread may take a picture on the way: one not
// yet shown survives the next target, but never a frame that lands after it, nor the drag's end.
TEST(DecodeMailbox, APictureOnTheWaySurvivesNewerTargetsButNotALandingOrTheRelease) {
    DecodeMailbox mailbox(2);
    mailbox.setScrubbing(true);
    std::uint64_t epoch = mailbox.requestSeek({10, 1});
    mailbox.offerProvisional(shownAt(4), epoch);
    epoch = mailbox.requestSeek({11, 1});
    mailbox.offerProvisional(shownAt(5), epoch - 1); // the superseded target's work
    EXPECT_EQ(timeOf(mailbox.takeProvisional()), 4);
    EXPECT_EQ(timeOf(mailbox.takeProvisional()), -1) << "taken once";

    mailbox.offerProvisional(shownAt(6), epoch);
    ASSERT_TRUE(mailbox.push(shownAt(11), epoch));
    EXPECT_EQ(timeOf(mailbox.takeProvisional()), -1) << "the landed frame is newer";

    mailbox.offerProvisional(shownAt(7), mailbox.requestSeek({12, 1}));
    mailbox.setScrubbing(false);
    EXPECT_EQ(timeOf(mailbox.takeProvisional()), -1);
    mailbox.offerProvisional(shownAt(8), mailbox.requestSeek({13, 1}));
    EXPECT_EQ(timeOf(mailbox.takeProvisional()), -1) << "none outside a drag";
}
