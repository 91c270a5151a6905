#include "engine/KSGeneratorPolicy.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A policy over a real file whose content step writes what it is asked for, clamped, and
// records each request.
class RecordingPolicy : public CKSIteratePolicy {
public:
    std::vector<std::uint64_t> requests;
    int blocks = 0;
    std::uint64_t skipPerBlock = 0;
    bool stopAfterFirstBlock = false;

    std::uint64_t EmitBlock(std::uint64_t count) override {
        requests.push_back(count);
        const std::string bytes(static_cast<std::size_t>(count), 'x');
        return WriteClamped(bytes.data(), bytes.size());
    }
    void BeforeBlock() override {
        ++blocks;
        if (stopAfterFirstBlock && blocks == 2) {
            ADD_FAILURE() << "a second block began after the stop";
        }
    }
    std::uint64_t EndOfBlock(std::uint64_t, std::uint64_t) override {
        if (stopAfterFirstBlock) {
            ApplicationStopEvent().Set();
        }
        return skipPerBlock;
    }
};

class PolicyFile : public ::testing::Test {
protected:
    void TearDown() override { ApplicationStopEvent().Reset(); }
    TempDir temp;
};

} // namespace

TEST_F(PolicyFile, BlocksAskForWholeBlocksAndTheLimitCutsTheLast) {
    RecordingPolicy policy;
    ASSERT_TRUE(policy.Create(CKSString::FromUtf8(temp.File("blocks.bin"))));
    policy.Reset(5000, 6000);
    policy.Iterate();
    // The second request is again 4096, not the 904 left to the target; the limit cuts it.
    EXPECT_EQ(policy.requests, (std::vector<std::uint64_t>{4096, 4096, 4096 - 1904}));
    EXPECT_EQ(policy.GetPosition(), 6000u);
    EXPECT_TRUE(policy.IsStarted());
    ASSERT_TRUE(policy.Close());
    EXPECT_EQ(ReadFileBytes(temp.File("blocks.bin")).size(), 6000u);
}

TEST_F(PolicyFile, SmallTargetsAskForTheTargetAndABlockSizeOfZeroAsksOnce) {
    RecordingPolicy policy;
    ASSERT_TRUE(policy.Create(CKSString::FromUtf8(temp.File("small.bin"))));
    policy.Reset(100, 1000);
    policy.Iterate();
    EXPECT_EQ(policy.requests, (std::vector<std::uint64_t>{100}));

    policy.requests.clear();
    policy.SetBlockSize(0);
    policy.Reset(300, 1000);
    policy.Iterate();
    EXPECT_EQ(policy.requests, (std::vector<std::uint64_t>{300}));
    EXPECT_EQ(policy.GetPosition(), 300u);
}

TEST_F(PolicyFile, ZeroTargetOrLimitWritesNothing) {
    RecordingPolicy policy;
    ASSERT_TRUE(policy.Create(CKSString::FromUtf8(temp.File("zero.bin"))));
    policy.Reset(0, 1000);
    EXPECT_FALSE(policy.More());
    policy.Iterate();
    policy.Reset(1000, 0);
    EXPECT_FALSE(policy.More());
    policy.Iterate();
    EXPECT_TRUE(policy.requests.empty());
    EXPECT_EQ(policy.blocks, 0);
    EXPECT_TRUE(policy.IsStarted()); // BeginBlock was asked, even though it answered false
}

TEST_F(PolicyFile, SkippedBytesAdvanceThePositionThroughEndOfBlock) {
    RecordingPolicy policy;
    ASSERT_TRUE(policy.Create(CKSString::FromUtf8(temp.File("skip.bin"))));
    policy.SetBlockSize(100);
    policy.skipPerBlock = 400;
    policy.Reset(1000, 100000);
    policy.Iterate();
    EXPECT_EQ(policy.blocks, 2); // 100 written + 400 skipped, twice
    EXPECT_EQ(policy.GetPosition(), 1000u);
}

TEST_F(PolicyFile, TheStopEventEndsTheLoopAfterTheCurrentBlock) {
    RecordingPolicy policy;
    ASSERT_TRUE(policy.Create(CKSString::FromUtf8(temp.File("stop.bin"))));
    policy.stopAfterFirstBlock = true;
    policy.Reset(100000, 200000);
    policy.Iterate();
    EXPECT_EQ(policy.blocks, 1);
    EXPECT_EQ(policy.GetPosition(), 4096u);
    EXPECT_FALSE(policy.More());
    EXPECT_FALSE(policy.MoreToTarget());
    ApplicationStopEvent().Reset();
    EXPECT_TRUE(policy.MoreToTarget());
}

TEST_F(PolicyFile, ClampedWritesNeverPassTheLimit) {
    RecordingPolicy policy;
    ASSERT_TRUE(policy.Create(CKSString::FromUtf8(temp.File("clamp.bin"))));
    policy.Reset(100, 10);
    EXPECT_EQ(policy.WriteClamped("01234567", 8), 8u);
    EXPECT_EQ(policy.WriteClamped("abcd", 4), 2u);
    EXPECT_EQ(policy.GetPosition(), 10u);
    EXPECT_EQ(policy.WriteClamped("abcd", 4), 0u);
    EXPECT_EQ(policy.WriteClamped(nullptr, 4), 0u);
    EXPECT_EQ(policy.WriteTrailer(0x11223344), 0u); // at the limit
    EXPECT_EQ(policy.WriteRandomCharacter(), 0u);
    // A huge count cannot wrap the arithmetic around.
    policy.Reset(100, 12);
    const char sixteen[] = "0123456789abcdef";
    EXPECT_EQ(policy.WriteClamped(sixteen, SIZE_MAX), 12u);
    ASSERT_TRUE(policy.Close());
}

TEST_F(PolicyFile, ValuesAndTrailersInByteOrder) {
    RecordingPolicy policy;
    ASSERT_TRUE(policy.Create(CKSString::FromUtf8(temp.File("values.bin"))));
    policy.Reset(100, 100);
    std::uint32_t big = 0x11223344;
    EXPECT_EQ(policy.WriteValue(big, true), 4u);
    EXPECT_EQ(big, 0x44332211u); // reversed in place
    std::uint32_t little = 0x11223344;
    EXPECT_EQ(policy.WriteValue(little, false), 4u);
    policy.AddToLimit(2); // limit 102 ...
    policy.SetLimit(10);  // ... then 10: two bytes of room for the trailer
    EXPECT_EQ(policy.WriteTrailer(0xAABBCCDD), 2u);
    EXPECT_EQ(policy.GetPosition(), 10u);
    policy.SetTarget(5);
    EXPECT_EQ(policy.GetTarget(), 5u);
    ASSERT_TRUE(policy.Close());
    EXPECT_EQ(ReadFileBytes(temp.File("values.bin")), "\x11\x22\x33\x44\x44\x33\x22\x11\xDD\xCC");
}

TEST_F(PolicyFile, NarrowTextIsNotClampedAndRandomCharactersArePrintable) {
    RecordingPolicy policy;
    ASSERT_TRUE(policy.Create(CKSString::FromUtf8(temp.File("text.bin"))));
    policy.Reset(100, 4);
    EXPECT_EQ(policy.WriteNarrowText("hello"), 5u);
    EXPECT_EQ(policy.GetPosition(), 5u);
    policy.Reset(20000, 20000);
    KSSrand(3);
    std::size_t written = 0;
    for (int i = 0; i < 20000; ++i) {
        written += policy.WriteRandomCharacter();
    }
    EXPECT_EQ(written, 20000u);
    ASSERT_TRUE(policy.Close());
    const std::string text = ReadFileBytes(temp.File("text.bin")).substr(5);
    ASSERT_EQ(text.size(), 20000u);
    std::size_t spaces = 0;
    for (char c : text) {
        ASSERT_GE(c, ' ');
        ASSERT_LE(c, '}');
        spaces += c == ' ' ? 1 : 0;
    }
    // One draw in eight gives a space outright, besides the space among the 94 characters.
    EXPECT_GT(spaces, 20000u / 8 - 400);
    EXPECT_LT(spaces, 20000u / 8 + 20000u / 94 + 400);
}

TEST(RandomAccessPolicy, HelpersStayInsideTheirBounds) {
    CRandomAccessPolicy policy;
    KSSrand(17);
    for (int i = 0; i < 2000; ++i) {
        KSRect rect;
        policy.RandomRect(rect, 400, 320);
        ASSERT_LE(rect.left, rect.right);
        ASSERT_LE(rect.top, rect.bottom);
        ASSERT_GE(rect.left, 0);
        ASSERT_LE(rect.right, 400);
        ASSERT_LE(rect.bottom, 320);

        const KSRect before = rect;
        policy.ShrinkRect(rect, 400, 320, 8);
        ASSERT_GE(rect.left, before.left);
        ASSERT_LE(rect.right, before.right);
        ASSERT_GE(rect.top, before.top);
        ASSERT_LE(rect.bottom, before.bottom);
        ASSERT_LE(rect.right - rect.left,
                  400 / 8 > before.right - before.left ? before.right - before.left : 400 / 8);
        ASSERT_LE(rect.bottom - rect.top,
                  320 / 8 > before.bottom - before.top ? before.bottom - before.top : 320 / 8);

        KSPoint point;
        policy.RandomEdgePoint(rect, point);
        const bool onVertical =
            (point.x == rect.left || point.x == rect.right) && point.y >= rect.top && point.y <= rect.bottom;
        const bool onHorizontal =
            (point.y == rect.top || point.y == rect.bottom) && point.x >= rect.left && point.x <= rect.right;
        ASSERT_TRUE(onVertical || onHorizontal);

        KSPoint between;
        const KSPoint p{rect.right, rect.top};
        const KSPoint q{rect.left, rect.bottom};
        policy.RandomPointBetween(p, q, between);
        ASSERT_GE(between.x, rect.left);
        ASSERT_LE(between.x, rect.right);
        ASSERT_GE(between.y, rect.top);
        ASSERT_LE(between.y, rect.bottom);
    }
    // Negative coordinates are handled too, and a zero divisor changes nothing.
    KSRect negative{-50, -40, -10, -5};
    KSPoint point;
    for (int i = 0; i < 200; ++i) {
        policy.RandomEdgePoint(negative, point);
        ASSERT_TRUE(point.x >= -50 && point.x <= -10 && point.y >= -40 && point.y <= -5);
    }
    const KSRect unchanged = negative;
    policy.ShrinkRect(negative, 100, 100, 0);
    EXPECT_EQ(negative.left, unchanged.left);
    EXPECT_EQ(negative.bottom, unchanged.bottom);
    EXPECT_EQ(policy.EmitBlock(100), 0u);
}

TEST(RandomAccessPolicy, EdgePointsTakeTheirSideFromTheFirstDraw) {
    CRandomAccessPolicy policy;
    const KSRect rect{10, 20, 30, 40};
    for (std::uint32_t seed = 0; seed < 200; ++seed) {
        KSSrand(seed);
        const std::uint64_t side = RandomInRange(0, 3);
        KSSrand(seed);
        KSPoint point;
        policy.RandomEdgePoint(rect, point);
        switch (side) {
        case 0:
            ASSERT_EQ(point.x, 10);
            break;
        case 1:
            ASSERT_EQ(point.x, 30);
            break;
        case 2:
            ASSERT_EQ(point.y, 40);
            break;
        default:
            ASSERT_EQ(point.y, 20);
            break;
        }
    }
}
