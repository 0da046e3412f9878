// The instrument simulator driven over its pseudo-terminal by a raw serial client, as a
// child process (and once in-process on a virtual clock for its sleeps).
#include "Clock.h"
#include "SimHarness.h"
#include "Simulator.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {

using namespace simtest;
using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

struct Step {
    Bytes request; // without CRC
    Bytes reply;   // exactly as it must arrive, CRC included; empty: no reply
};

// The faults' replies as they must arrive.
Bytes BadCrc(Bytes frame) {
    frame.back() ^= 0xFF;
    return frame;
}
Bytes Cut(Bytes frame, size_t kept) {
    frame.resize(kept);
    return frame;
}

void RunSteps(RawLine& line, const std::vector<Step>& steps) {
    for (size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE("step " + std::to_string(i + 1));
        const Step& s = steps[i];
        // No reply expected: listen a while for a byte that must not come.
        const Bytes got = s.reply.empty() ? line.Exchange(s.request, 1, 500)
                                          : line.Exchange(s.request, s.reply.size());
        EXPECT_EQ(got, s.reply);
    }
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class SimulatorTest : public ::testing::Test {
protected:
    std::vector<std::string> Args(std::vector<std::string> extra) const {
        std::vector<std::string> args = {"--ports-dir", dir.File("ports"), "--port", "7"};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }
    std::string Link() const { return dir.File("ports") + "/COM7"; }

    TempDir dir;
};

const Bytes kRead0 = {210, 3, 0x00, 0x00, 0x00, 0x01};
const Bytes kRead1 = {210, 3, 0x00, 0x01, 0x00, 0x01};
const Bytes kGood0 = WithCrc({210, 3, 2, 0x12, 0x34});
const Bytes kGood1 = WithCrc({210, 3, 2, 0x00, 0x2A});

TEST_F(SimulatorTest, ServesTheRegisterMapWithBothReadFunctions) {
    WriteFile(dir.File("regs.txt"), "2=0xFFFF\n# the status word\n0x10 = -2\n");
    SimProcess sim(Args({"--reg", "0=0x1234,1=42", "--regs", dir.File("regs.txt")}));
    ASSERT_TRUE(sim.Ready()) << sim.Error();
    EXPECT_EQ(sim.Port(), "COM7");
    EXPECT_EQ(fs::read_symlink(Link()).string(), sim.Device());
    {
        RawLine line(Link());
        ASSERT_TRUE(line.IsOpen());
        RunSteps(line,
                 {
                     {{210, 3, 0x00, 0x00, 0x00, 0x03},
                      WithCrc({210, 3, 6, 0x12, 0x34, 0x00, 0x2A, 0xFF, 0xFF})},
                     {{210, 4, 0x00, 0x10, 0x00, 0x02}, WithCrc({210, 4, 4, 0xFF, 0xFE, 0, 0})},
                     {{210, 3, 0x12, 0x34, 0x00, 0x01}, WithCrc({210, 3, 2, 0, 0})},
                     // There are no coils: the address is refused.
                     {{210, 1, 0x00, 0x00, 0x00, 0x01}, WithCrc({210, 0x81, 2})},
                     // Another slave's request is ignored, and only that one.
                     {{5, 3, 0x00, 0x00, 0x00, 0x01}, {}},
                     {kRead1, kGood1},
                 });
    }
    // A client that closed and comes back is served as before.
    RawLine again(Link());
    RunSteps(again, {{kRead0, kGood0}});
}

TEST_F(SimulatorTest, WritesChangeTheMapAndAreAnsweredAsTheStandardSays) {
    SimProcess sim(Args({}));
    ASSERT_TRUE(sim.Ready()) << sim.Error();
    RawLine line(Link());
    RunSteps(line,
             {
                 // Function 6 echoes the request; 16 answers start and count.
                 {{210, 6, 0x00, 0x05, 0xBE, 0xEF}, WithCrc({210, 6, 0x00, 0x05, 0xBE, 0xEF})},
                 {{210, 16, 0x00, 0x06, 0x00, 0x02, 4, 0x01, 0x02, 0x03, 0x04},
                  WithCrc({210, 16, 0x00, 0x06, 0x00, 0x02})},
                 {{210, 3, 0x00, 0x05, 0x00, 0x03},
                  WithCrc({210, 3, 6, 0xBE, 0xEF, 0x01, 0x02, 0x03, 0x04})},
                 // A broadcast write takes effect without a reply.
                 {{0, 6, 0x00, 0x09, 0x00, 0x07}, {}},
                 {{210, 3, 0x00, 0x09, 0x00, 0x01}, WithCrc({210, 3, 2, 0x00, 0x07})},
             });
}

TEST_F(SimulatorTest, ReportSlaveIdSendsTheTextBytesAsGiven) {
    ASSERT_EQ(WithCrc({210, 0x11}), (Bytes{0xD2, 0x11, 0x9D, 0x1C}));
    struct Case {
        std::vector<std::string> args;
        Bytes request;
        Bytes reply;
    } cases[] = {
        // Windows-1251 bytes of a Cyrillic name pass unchanged.
        {{"--id", "\xC2\xCA\xD2-7"}, {210, 0x11}, {210, 0x11, 5, 0xC2, 0xCA, 0xD2, 0x2D, 0x37}},
        {{"--address", "17", "--id-hex", ""}, {17, 0x11}, {17, 0x11, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.at(1));
        SimProcess sim(Args(c.args));
        ASSERT_TRUE(sim.Ready()) << sim.Error();
        RawLine line(Link());
        RunSteps(line, {{c.request, WithCrc(c.reply)}});
    }
}

TEST_F(SimulatorTest, CardQuartersComeFromTheImage) {
    // 3 MiB of varied bytes from early in the data area on: sector 4660 (1234 hex, page 18)
    // then lies inside the file.
    const std::string data = VariedBytes(3 << 20);
    const std::string imagePath = dir.File("card.img");
    std::string error;
    ASSERT_TRUE(MakeFat16Image(imagePath, 16384, {{"DATA.BIN", data}}, error)) << error;
    const std::string image = ReadWholeFile(imagePath);
    const size_t at = image.find(data.substr(0, 4096));
    ASSERT_NE(at, std::string::npos);
    ASSERT_EQ(image.compare(at, data.size(), data), 0) << "the file is not stored contiguously";
    constexpr size_t kSector = 4660;
    ASSERT_GT(kSector * 512, at);
    ASSERT_LT(kSector * 512 + 512, at + data.size());

    const auto quarter = [&](size_t offset) {
        Bytes reply = {210, 3, 128};
        reply.insert(reply.end(), image.begin() + static_cast<long>(offset),
                     image.begin() + static_cast<long>(offset + 128));
        return WithCrc(reply);
    };
    SimProcess sim(Args({"--card", imagePath}));
    ASSERT_TRUE(sim.Ready()) << sim.Error();
    RawLine line(Link());
    RunSteps(line, {
                       // Page 0 until another is selected: sector 0, the boot sector.
                       {{210, 3, 0x03, 0xE7, 0x00, 0x40}, quarter(0)},
                       {{210, 3, 0x03, 0xEA, 0x00, 0x40}, quarter(384)},
                       // Sector 4660: page 18, then registers 1207 .. 1210.
                       {{210, 6, 0x03, 0xE7, 0x00, 18}, WithCrc({210, 6, 0x03, 0xE7, 0x00, 18})},
                       {{210, 3, 0x04, 0xB7, 0x00, 0x40}, quarter(kSector * 512)},
                       {{210, 3, 0x04, 0xB8, 0x00, 0x40}, quarter(kSector * 512 + 128)},
                       {{210, 3, 0x04, 0xB9, 0x00, 0x40}, quarter(kSector * 512 + 256)},
                       {{210, 3, 0x04, 0xBA, 0x00, 0x40}, quarter(kSector * 512 + 384)},
                       // The last quarter of the page's last sector (2022 = 999 + 1023).
                       {{210, 3, 0x07, 0xE6, 0x00, 0x40}, quarter((18 * 256 + 255) * 512 + 384)},
                       // 16 MiB hold 128 pages: page 128 lies past the end.
                       {{210, 6, 0x03, 0xE7, 0x00, 128}, WithCrc({210, 6, 0x03, 0xE7, 0x00, 128})},
                       {{210, 3, 0x03, 0xE7, 0x00, 0x40}, WithCrc({210, 0x83, 2})},
                   });
}

TEST_F(SimulatorTest, WithoutACardQuarterReadsGetException8) {
    SimProcess sim(Args({}));
    ASSERT_TRUE(sim.Ready()) << sim.Error();
    RawLine line(Link());
    Bytes zeros = {210, 3, 128};
    zeros.resize(3 + 128, 0);
    RunSteps(line,
             {
                 {{210, 6, 0x03, 0xE7, 0x00, 0x01}, WithCrc({210, 6, 0x03, 0xE7, 0x00, 0x01})},
                 {{210, 3, 0x03, 0xE7, 0x00, 0x40}, WithCrc({210, 0x83, 8})},
                 {{210, 3, 0x07, 0xE6, 0x00, 0x40}, WithCrc({210, 0x83, 8})},
                 // Outside the card window, or not 64 registers: the register map.
                 {{210, 3, 0x07, 0xE7, 0x00, 0x40}, WithCrc(zeros)},
                 {{210, 3, 0x03, 0xE7, 0x00, 0x01}, WithCrc({210, 3, 2, 0x00, 0x01})},
             });
}

TEST_F(SimulatorTest, FaultsDamageTheRepliesTheyHit) {
    const Bytes write0 = {210, 6, 0x00, 0x00, 0x55, 0x55};
    const Bytes write1 = {210, 6, 0x00, 0x01, 0x00, 0x09};
    struct Case {
        std::vector<std::string> args;
        std::vector<Step> steps;
    } cases[] = {
        // A dropped write has no effect.
        {{"--fault", "drop/2"}, {{kRead0, kGood0}, {write1, {}}, {kRead1, kGood1}, {kRead0, {}}}},
        {{"--fault", "crc/2"}, {{kRead0, kGood0}, {kRead0, BadCrc(kGood0)}, {kRead1, kGood1}}},
        {{"--fault", "truncate/2"},
         {{kRead0, kGood0}, {kRead0, Cut(kGood0, kGood0.size() - 1)}, {kRead1, kGood1}}},
        {{"--fault", "truncate=3/2"},
         {{kRead0, kGood0}, {kRead0, Cut(kGood0, 3)}, {kRead1, kGood1}}},
        // An exception reply leaves the map alone.
        {{"--fault", "exception=4/2"},
         {{kRead0, kGood0},
          {write0, WithCrc({210, 0x86, 4})},
          {kRead0, kGood0},
          {{210, 0x11}, WithCrc({210, 0x91, 4})}}},
        {{"--fault", "delay=50"}, {{kRead0, kGood0}, {kRead1, kGood1}}},
        {{"--baud", "9600"}, {{kRead0, kGood0}, {{210, 0x11}, WithCrc({210, 0x11, 1, 'X'})}}},
        {{"--fault", "drop/3", "--fault", "crc"},
         {{kRead0, BadCrc(kGood0)},
          {kRead1, BadCrc(kGood1)},
          {kRead0, {}},
          {kRead1, BadCrc(kGood1)}}},
    };
    for (const Case& c : cases) {
        std::string name;
        for (const std::string& a : c.args)
            name += a + " ";
        SCOPED_TRACE(name);
        std::vector<std::string> args = {"--reg", "0=0x1234,1=42", "--id", "X"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        SimProcess sim(Args(args));
        ASSERT_TRUE(sim.Ready()) << sim.Error();
        RawLine line(Link());
        RunSteps(line, c.steps);
    }
}

TEST_F(SimulatorTest, SighupReplacesTheFaultsFromTheControlFile) {
    const std::string control = dir.File("faults");
    SimProcess sim(Args({"--reg", "0=0x1234", "--fault", "crc", "--control", control}));
    ASSERT_TRUE(sim.Ready()) << sim.Error();
    RawLine line(Link());
    RunSteps(line, {{kRead0, BadCrc(kGood0)}});

    struct Case {
        const char* file;
        const char* answer;
        std::vector<Step> steps;
    } cases[] = {
        {"drop/2  # every second request\n", "reloaded", {{kRead0, kGood0}, {kRead0, {}}}},
        {"", "reloaded", {{kRead0, kGood0}, {kRead0, kGood0}}},
        // A bad file keeps the faults in force.
        {"explode\n", "reload failed", {{kRead0, kGood0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        WriteFile(control, c.file);
        sim.Signal(SIGHUP);
        ASSERT_TRUE(sim.WaitForLine(c.answer));
        RunSteps(line, c.steps);
    }
}

TEST_F(SimulatorTest, StopsOnSignalAndRemovesItsLink) {
    for (int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        SimProcess sim(Args({}));
        ASSERT_TRUE(sim.Ready()) << sim.Error();
        EXPECT_TRUE(fs::is_symlink(Link()));
        sim.Signal(signal);
        EXPECT_EQ(sim.Stop(), 0);
        EXPECT_FALSE(fs::exists(fs::symlink_status(Link())));
    }
}

TEST_F(SimulatorTest, RefusesWhatItCannotServe) {
    fs::create_directories(dir.File("ports"));
    WriteFile(Link(), "");
    struct Case {
        std::vector<std::string> args;
        int status;
    } cases[] = {
        {{"--port", "8", "--fault", "explode"}, 2},
        {{"--port", "8", "--card", dir.File("missing.img")}, 1},
        // COM7 taken: by a file here, the same as by another running simulator's link.
        {{"--reg", "0=1"}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.at(1));
        SimProcess sim(Args(c.args));
        EXPECT_FALSE(sim.Ready());
        EXPECT_EQ(sim.EarlyExitStatus(), c.status);
    }
    EXPECT_TRUE(fs::is_regular_file(Link())) << "somebody else's COM7 must stay";

    std::string help;
    EXPECT_EQ(RunCommand({SimulatorPath(), "--help"}, help), 0);
    EXPECT_NE(help.find("--fault FAULT"), std::string::npos);
}

// No second thread: the client writes, the simulator serves one request, the client reads.
TEST(SimulatorInProcess, DelayAndPacingSleepOnItsClock) {
    TempDir dir;
    platform::VirtualClock clock;
    sim::Options options;
    options.PortsDir = dir.File("ports");
    options.Port = 2;
    options.Baud = 9600;
    options.Faults = {{sim::FaultKind::Delay, 250, 2}};
    sim::Simulator simulator(options, clock);
    std::string error;
    ASSERT_TRUE(simulator.Open(error)) << error;
    RawLine line(simulator.LinkPath());
    ASSERT_TRUE(line.IsOpen());
    EXPECT_FALSE(simulator.ServeOne(0));

    // 64 registers make 133 reply bytes: 133 x 11 bits at 9600 baud are 152.4 ms.
    const Bytes read64 = {210, 3, 0x00, 0x00, 0x00, 0x40};
    for (int64_t expected : {153, 250 + 153}) {
        const int64_t before = clock.SleptMs();
        ASSERT_TRUE(line.Send(read64));
        ASSERT_TRUE(simulator.ServeOne(5000));
        EXPECT_EQ(line.Receive(133).size(), 133u);
        EXPECT_EQ(clock.SleptMs() - before, expected);
    }

    ASSERT_TRUE(line.Send({210, 6, 0x03, 0xE7, 0x00, 18}));
    ASSERT_TRUE(simulator.ServeOne(5000));
    EXPECT_EQ(line.Receive(8).size(), 8u);
    EXPECT_EQ(simulator.Page(), 18);
    EXPECT_EQ(simulator.Register(999), 18);
}

} // namespace
