#include "RegistersMB.h"

#include <atomic>
#include <bit>
#include <gtest/gtest.h>
#include <thread>

namespace {

TPortBuffer RealReply(float value) {
    const uint32_t bits = std::bit_cast<uint32_t>(value);
    TPortBuffer b;
    const uint8_t frame[] = {
        1, 3, 4, uint8_t(bits >> 8), uint8_t(bits), uint8_t(bits >> 24), uint8_t(bits >> 16)};
    std::copy(std::begin(frame), std::end(frame), b.Rx);
    const uint16_t crc = ModbusCRC16(b.Rx, 7);
    b.Rx[7] = uint8_t(crc >> 8);
    b.Rx[8] = uint8_t(crc);
    b.RxCount = 9;
    return b;
}

// The port thread stores replies while the window thread reads the value and flips
// Watched: every value read is one of the two stored, never a mix of their halves.
TEST(TRegisterMBThreads, ValueIsNeverTorn) {
    TRegisterMB r;
    r.DataType = rtReal;
    r.SetFromReal(1.0f);
    const TPortBuffer a = RealReply(1.0f);
    const TPortBuffer b = RealReply(-123456.75f);
    std::atomic<bool> done{false};
    std::atomic<int> polled{0};
    std::thread port([&] {
        for (int i = 0; i < 20000; ++i) {
            r.TakeReply(i % 2 ? b : a, 0);
            polled += r.NeedsPoll();
        }
        done = true;
    });
    int reads = 0;
    while (!done.load() || reads == 0) {
        const float v = r.AsReal();
        ASSERT_TRUE(v == 1.0f || v == -123456.75f) << v;
        r.Watched.store(reads++ % 2 == 0);
    }
    port.join();
    EXPECT_FALSE(r.Stale.load());
}

} // namespace
