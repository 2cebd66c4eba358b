// Which connections hold a slot without using it: idle ones, ones that leave a frame
// unfinished, and the one a newcomer may put out when every slot is taken.
#include "IdleWatch.h"

#include <gtest/gtest.h>

namespace kvel::test {
namespace {

using gateway::IdleCause;
using gateway::IdleWatch;
using std::chrono::milliseconds;
using std::chrono::seconds;

const LinkClock::time_point kStart = LinkClock::time_point{} + std::chrono::hours(1);

std::vector<std::pair<gateway::ClientId, IdleCause>> Cuts(const IdleWatch& watch,
                                                          LinkClock::time_point now) {
    std::vector<std::pair<gateway::ClientId, IdleCause>> cuts;
    for (const gateway::IdleCut& cut : watch.Overdue(now))
        cuts.emplace_back(cut.client, cut.cause);
    return cuts;
}

TEST(GatewayIdleWatch, CutsOnlyConnectionsPastTheirLimit) {
    IdleWatch watch({seconds(60), seconds(5), seconds(2)});
    // 1 polls every 10 s; 2 sends nothing; 3 sends half a header and stops; 4 dribbles whole
    // frames; 5 waits for answers of a slow line without asking again.
    for (gateway::ClientId id = 1; id <= 5; ++id)
        watch.Connected(id, kStart);
    watch.Received(3, 0, 4, kStart + seconds(1));
    for (int s = 10; s <= 70; s += 10) {
        watch.Received(1, 1, 0, kStart + seconds(s));
        watch.Received(4, 0, 3, kStart + seconds(s));
        watch.Received(4, 1, 0, kStart + seconds(s) + milliseconds(4000));
        watch.Active(5, kStart + seconds(s));
    }
    EXPECT_TRUE(Cuts(watch, kStart + seconds(5)).empty());
    EXPECT_EQ(watch.NextDeadline(), kStart + seconds(6));
    EXPECT_EQ(
        Cuts(watch, kStart + seconds(6)),
        (std::vector<std::pair<gateway::ClientId, IdleCause>>{{3, IdleCause::UnfinishedFrame}}));
    watch.Gone(3);
    EXPECT_EQ(Cuts(watch, kStart + seconds(60)),
              (std::vector<std::pair<gateway::ClientId, IdleCause>>{{2, IdleCause::Idle}}));
}

TEST(GatewayIdleWatch, AFrameBegunIsTimedFromItsFirstBytesNotItsLast) {
    IdleWatch watch({seconds(60), seconds(5), seconds(2)});
    watch.Connected(1, kStart);
    for (int s = 1; s <= 5; ++s)
        watch.Received(1, 0, static_cast<std::size_t>(s), kStart + seconds(s));
    EXPECT_EQ(watch.DeadlineOf(1), kStart + seconds(6));
    // A whole frame and the first bytes of the next in one read: the next is timed anew.
    watch.Received(1, 1, 2, kStart + seconds(5));
    EXPECT_EQ(watch.DeadlineOf(1), kStart + seconds(10));
}

TEST(GatewayIdleWatch, AnIdleTimeShorterThanTheFrameLimitBoundsBoth) {
    IdleWatch watch({seconds(1), seconds(5), seconds(2)});
    watch.Connected(1, kStart);
    watch.Received(1, 0, 3, kStart + milliseconds(500));
    EXPECT_EQ(watch.DeadlineOf(1), kStart + seconds(1));
}

TEST(GatewayIdleWatch, ANewcomerPutsOutOnlyTheConnectionQuietLongestAndQuietEnough) {
    IdleWatch watch({seconds(60), seconds(5), seconds(2)});
    watch.Connected(1, kStart);
    watch.Connected(2, kStart + milliseconds(500));
    watch.Connected(3, kStart + seconds(1));
    EXPECT_FALSE(watch.Evictable(kStart + milliseconds(1999)));
    watch.Received(1, 1, 0, kStart + milliseconds(1900));
    EXPECT_FALSE(watch.Evictable(kStart + seconds(2)));
    EXPECT_EQ(watch.Evictable(kStart + milliseconds(2500)), 2u);
    watch.Gone(2);
    EXPECT_EQ(watch.Evictable(kStart + seconds(3)), 3u);
    EXPECT_EQ(watch.DeadlineOf(2), LinkClock::time_point::max());
}

} // namespace
} // namespace kvel::test
