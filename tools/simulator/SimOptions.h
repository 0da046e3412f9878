#pragma once
// What the instrument simulator is told on its command line: where to put its port, how
// the instrument answers, and which faults to put on the line.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sim {

enum class FaultKind {
    Drop,      // no reply at all; the request has no effect
    BadCrc,    // the reply's CRC is wrong
    Truncate,  // the reply is cut short
    Delay,     // the reply waits before it goes out
    Exception, // an exception reply instead of the answer; the request has no effect
};

// One fault: it hits the requests numbered Every, 2 x Every, ... (counted from 1 since
// start or since the faults were last replaced).
struct Fault {
    FaultKind Kind = FaultKind::Drop;
    unsigned Value = 0; // Truncate: bytes kept (0: all but the last); Delay: ms; Exception: code
    unsigned Every = 1;
};

// Register address (as sent in the request) -> value.
using RegisterMap = std::map<uint16_t, uint16_t>;

struct Options {
    std::string PortsDir;            // folder that gets the COMn link
    unsigned Port = 1;               // n of COMn
    unsigned Address = 210;          // slave address
    RegisterMap Registers;           // served by functions 3 and 4, written by 6 and 16
    std::string Id = "vendrill-sim"; // function 17 text, bytes sent as they stand
    std::string CardImage;           // FAT16 image; empty: no card in the receiver
    std::vector<Fault> Faults;       // in force from the start
    std::string ControlFile;         // faults re-read from here on SIGHUP
    unsigned Baud = 0;               // pace replies at this rate (8N2); 0: no pacing
    bool Help = false;
};

// Parses the arguments (without the program name). The ports folder defaults to
// $VENDRILL_PORTS_DIR. False with a one-line message on bad input.
bool ParseCommandLine(const std::vector<std::string>& args, Options& options, std::string& error);

// "ADDR=VALUE" items separated by commas or line ends; '#' starts a comment to the
// end of its line. Numbers are decimal or 0x hex; values -32768 .. 65535.
bool ParseRegisters(const std::string& text, RegisterMap& registers, std::string& error);
bool LoadRegisterFile(const std::string& path, RegisterMap& registers, std::string& error);

// "KIND[=VALUE][/EVERY]": drop, crc, truncate[=KEPT], delay=MS, exception=CODE.
bool ParseFault(const std::string& faultText, Fault& fault, std::string& error);
// Fault specs separated by blanks or line ends, '#' comments; an empty file means no faults.
bool LoadFaultFile(const std::string& path, std::vector<Fault>& faults, std::string& error);

std::string HelpText();

} // namespace sim
