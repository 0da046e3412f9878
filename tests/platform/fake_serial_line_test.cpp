#include "FakeSerialLine.h"

#include <gtest/gtest.h>
#include <stdexcept>

using platform::FakeSerialLine;
using platform::VirtualClock;
using Step = FakeSerialLine::Step;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes ReadAll(FakeSerialLine& line) {
    uint8_t chunk[32];
    const int n = line.Read(chunk, sizeof chunk);
    return n > 0 ? Bytes(chunk, chunk + n) : Bytes();
}

TEST(FakeSerialLine, WaitsRunOnVirtualTime) {
    VirtualClock clock(100);
    FakeSerialLine line(clock);
    ASSERT_TRUE(line.Open("/dev/fake"));
    ASSERT_TRUE(line.SetTimeouts(0));
    line.Schedule(0, {1});
    line.Schedule(30, {3});
    line.Schedule(10, {2});

    ASSERT_TRUE(line.Purge()); // drops what has come, keeps what is still on its way
    EXPECT_EQ(line.WaitReadable(5), 0);
    EXPECT_EQ(clock.NowMs(), 105);
    EXPECT_EQ(line.WaitReadable(50), 1); // to the next arrival only
    EXPECT_EQ(clock.NowMs(), 110);
    EXPECT_EQ(ReadAll(line), Bytes{2});

    ASSERT_TRUE(line.SetTimeouts(1)); // a read waits up to 1 ms for a first byte
    EXPECT_EQ(ReadAll(line), Bytes{});
    EXPECT_EQ(clock.NowMs(), 111);
    clock.Advance(19);
    EXPECT_EQ(ReadAll(line), Bytes{3});
}

TEST(FakeSerialLine, ResponderAnswersEachWrite) {
    VirtualClock clock;
    FakeSerialLine line(clock);
    line.SetResponder([](const Bytes& request) {
        return std::vector<FakeSerialLine::Piece>{{2, {request[0], 0xAA}}, {4, {0xBB}}};
    });
    ASSERT_TRUE(line.Open("/dev/fake"));
    size_t written = 0;
    const uint8_t request[] = {0x07, 0x03};
    ASSERT_TRUE(line.Write(request, 2, &written));
    EXPECT_EQ(written, 2u);
    clock.Advance(4);
    EXPECT_EQ(ReadAll(line), (Bytes{0x07, 0xAA, 0xBB}));
    EXPECT_EQ(line.Writes(), std::vector<Bytes>{Bytes(request, request + 2)});
}

TEST(FakeSerialLine, StepsFailOrThrowAsTold) {
    VirtualClock clock;
    FakeSerialLine line(clock);
    line.FailAfter(Step::Open, 1);
    ASSERT_TRUE(line.Open("/dev/fake"));
    ASSERT_TRUE(line.Close());
    EXPECT_FALSE(line.Open("/dev/fake"));
    line.Fail(Step::Open, false);
    ASSERT_TRUE(line.Open("/dev/fake"));

    line.Throw(Step::Purge);
    EXPECT_THROW(line.Purge(), std::runtime_error);
    line.Fail(Step::Write);
    line.SetWriteAccepts(1);
    size_t written = 0;
    const uint8_t request[] = {1, 2, 3};
    EXPECT_FALSE(line.Write(request, 3, &written));
    EXPECT_EQ(written, 1u);
    EXPECT_EQ(line.OpenCount(), 2);
    EXPECT_EQ(line.CloseCount(), 1);
}

} // namespace
