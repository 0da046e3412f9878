// The simulator's command line, register lists and fault specs.
#include "SimOptions.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace {

using sim::FaultKind;

TEST(SimOptions, ReadsEveryOption) {
    sim::Options o;
    std::string error;
    ASSERT_TRUE(sim::ParseCommandLine({"--ports-dir",
                                       "p",
                                       "--port",
                                       "9",
                                       "--address",
                                       "0x11",
                                       "--reg",
                                       "1=2,0x10=0xFFFF",
                                       "--reg=3=-1",
                                       "--id-hex",
                                       "C2 ca:D2",
                                       "--fault",
                                       "truncate=5/3",
                                       "--fault=delay=20",
                                       "--fault",
                                       "exception=8",
                                       "--baud=115200",
                                       "--card",
                                       "x.img",
                                       "--control",
                                       "c"},
                                      o, error))
        << error;
    EXPECT_EQ(o.PortsDir, "p");
    EXPECT_EQ(o.Port, 9u);
    EXPECT_EQ(o.Address, 17u);
    EXPECT_EQ(o.Registers, (sim::RegisterMap{{1, 2}, {3, 0xFFFF}, {0x10, 0xFFFF}}));
    EXPECT_EQ(o.Id, "\xC2\xCA\xD2");
    ASSERT_EQ(o.Faults.size(), 3u);
    EXPECT_EQ(o.Faults[0].Kind, FaultKind::Truncate);
    EXPECT_EQ(o.Faults[0].Value, 5u);
    EXPECT_EQ(o.Faults[0].Every, 3u);
    EXPECT_EQ(o.Faults[1].Kind, FaultKind::Delay);
    EXPECT_EQ(o.Faults[1].Value, 20u);
    EXPECT_EQ(o.Faults[1].Every, 1u);
    EXPECT_EQ(o.Faults[2].Kind, FaultKind::Exception);
    EXPECT_EQ(o.Faults[2].Value, 8u);
    EXPECT_EQ(o.Baud, 115200u);
    EXPECT_EQ(o.CardImage, "x.img");
    EXPECT_EQ(o.ControlFile, "c");
}

TEST(SimOptions, PortsFolderDefaultsToTheEnvironment) {
    sim::Options o;
    std::string error;
    ::setenv("VENDRILL_PORTS_DIR", "/tmp/ports-here", 1);
    EXPECT_TRUE(sim::ParseCommandLine({}, o, error)) << error;
    EXPECT_EQ(o.PortsDir, "/tmp/ports-here");
    EXPECT_EQ(o.Address, 210u);
    EXPECT_EQ(o.Port, 1u);
    ::unsetenv("VENDRILL_PORTS_DIR");
    EXPECT_FALSE(sim::ParseCommandLine({}, o, error));
    EXPECT_NE(error.find("VENDRILL_PORTS_DIR"), std::string::npos);
    EXPECT_TRUE(sim::ParseCommandLine({"--help"}, o, error));
    EXPECT_TRUE(o.Help);
}

TEST(SimOptions, RefusesBadInputWithAMessage) {
    const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"--port", "0"}, "COM number"},
        {{"--port", "256"}, "COM number"},
        {{"--port", "7x"}, "COM number"},
        {{"--address", "248"}, "slave address"},
        {{"--reg", "5"}, "bad register item \"5\""},
        {{"--reg", "70000=1"}, "bad register item"},
        {{"--reg", "1=65536"}, "bad register item"},
        {{"--reg", "1=-32769"}, "bad register item"},
        {{"--reg", "1=0x"}, "bad register item"},
        {{"--reg", "1 = 2 3=4"}, "bad register item"},
        {{"--regs", "/nonexistent/regs"}, "cannot read /nonexistent/regs"},
        {{"--id-hex", "C2C"}, "hex digits"},
        {{"--id-hex", "C2 G1"}, "hex digits"},
        {{"--id", std::string(252, 'x')}, "too long"},
        {{"--fault", "explode"}, "unknown fault"},
        {{"--fault", "delay"}, "bad fault"},
        {{"--fault", "drop=3"}, "bad fault"},
        {{"--fault", "exception=0"}, "bad fault"},
        {{"--fault", "crc/0"}, "/EVERY"},
        {{"--baud", "0"}, "baud"},
        {{"--bogus"}, "unknown option \"--bogus\""},
        {{"--port"}, "needs a value"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.front() + " " + (c.args.size() > 1 ? c.args[1] : ""));
        std::vector<std::string> args = {"--ports-dir", "p"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        sim::Options o;
        std::string error;
        EXPECT_FALSE(sim::ParseCommandLine(args, o, error));
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
}

TEST(SimOptions, ListsAndFilesTakeComments) {
    sim::RegisterMap map;
    std::string error;
    ASSERT_TRUE(sim::ParseRegisters("1=2, 3 = 0x10 # note\n\n0xFF=-1\n# 4=4\n", map, error))
        << error;
    EXPECT_EQ(map, (sim::RegisterMap{{1, 2}, {3, 0x10}, {0xFF, 0xFFFF}}));

    sim::Fault f;
    EXPECT_TRUE(sim::ParseFault("truncate", f, error));
    EXPECT_EQ(f.Kind, FaultKind::Truncate);
    EXPECT_EQ(f.Value, 0u);
}

} // namespace
