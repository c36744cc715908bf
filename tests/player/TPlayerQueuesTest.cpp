#include "TPacketQueue.h"
#include "TPlayerEventRing.h"

#include <gtest/gtest.h>

namespace quovo {
namespace {

TEST(TPlayerEventRingTest, NewerEventsOfTheSameKindReplaceAndAFullRingDropsTheOldest) {
    TPlayerEventRing ring;
    ring.Post({TPlayerEventKind::Position, psPlay, 1});
    ring.Post({TPlayerEventKind::Position, psPlay, 2}); // replaces the undelivered 1
    ring.Post({TPlayerEventKind::State, psPause, 0});
    ring.Post({TPlayerEventKind::State, psResume, 0}); // replaces psPause
    ring.Post({TPlayerEventKind::Position, psPlay, 3});
    auto e = ring.Take();
    ASSERT_TRUE(e);
    EXPECT_EQ(e->pts, 2);
    e = ring.Take();
    ASSERT_TRUE(e);
    EXPECT_EQ(e->state, psResume);
    e = ring.Take();
    ASSERT_TRUE(e);
    EXPECT_EQ(e->pts, 3);
    EXPECT_FALSE(ring.Take());

    // Alternating kinds never merge: ten posts leave the newest nine.
    for (int i = 0; i < 10; ++i) {
        ring.Post({i % 2 ? TPlayerEventKind::State : TPlayerEventKind::Position, psPlay, i});
    }
    int taken = 0;
    int64_t first = -1;
    while (auto x = ring.Take()) {
        if (taken++ == 0) {
            first = x->pts;
        }
    }
    EXPECT_EQ(taken, TPlayerEventRing::kSize - 1);
    EXPECT_EQ(first, 1);
}

TEST(TPacketQueueTest, CountsBookkeepingAndHandsOutTheFlushMarker) {
    TPacketQueue q;
    AvPacketPtr out;
    bool flush = false;
    ASSERT_EQ(q.Get(out, flush, false), 1); // a new queue starts with the marker
    EXPECT_TRUE(flush);
    EXPECT_EQ(q.Bytes(), 0);

    AvPacketPtr p = MakePacket();
    ASSERT_EQ(av_new_packet(p.get(), 100), 0);
    ASSERT_EQ(q.Put(p.get()), 0);
    EXPECT_EQ(q.Bytes(), 100 + TPacketQueue::kNodeBytes);
    EXPECT_EQ(q.Count(), 1);
    ASSERT_EQ(q.Get(out, flush, false), 1);
    EXPECT_FALSE(flush);
    EXPECT_EQ(out->size, 100);
    EXPECT_EQ(q.Get(out, flush, false), 0);

    q.Abort();
    EXPECT_EQ(q.Get(out, flush, true), -1); // an aborted queue never blocks
}

} // namespace
} // namespace quovo
