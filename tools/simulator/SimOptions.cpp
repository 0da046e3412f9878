#include "SimOptions.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace sim {

namespace {

// The most identification bytes that fit a reply: 253 PDU bytes less function and count.
constexpr size_t kMaxIdLength = 251;

std::string Trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const auto last = s.find_last_not_of(" \t\r\n");
    return s.substr(first, last - first + 1);
}

// Decimal (optionally negative) or 0x hex, the whole text, within [min, max].
bool ParseNumber(const std::string& text, long min, long max, long& value) {
    const std::string t = Trim(text);
    if (t.empty())
        return false;
    const bool hex = t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X');
    const char* begin = t.c_str() + (hex ? 2 : 0);
    if (*begin == '+' || (hex && *begin == '-') || *begin == ' ')
        return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(begin, &end, hex ? 16 : 10);
    if (errno != 0 || end == begin || *end != '\0' || v < min || v > max)
        return false;
    value = v;
    return true;
}

bool ParseUnsigned(const std::string& text, long min, long max, unsigned& value) {
    long v = 0;
    if (!ParseNumber(text, min, max, v))
        return false;
    value = static_cast<unsigned>(v);
    return true;
}

std::string StripComments(const std::string& text) {
    std::string out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const auto hash = line.find('#');
        out += line.substr(0, hash);
        out += '\n';
    }
    return out;
}

bool ReadFile(const std::string& path, std::string& text, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    std::ostringstream s;
    s << in.rdbuf();
    text = s.str();
    return true;
}

bool ParseHexBytes(const std::string& text, std::string& bytes) {
    std::string digits;
    for (char c : text) {
        if (c == ' ' || c == ':' || c == ',')
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
        digits += c;
    }
    if (digits.size() % 2 != 0)
        return false;
    bytes.clear();
    for (size_t i = 0; i < digits.size(); i += 2)
        bytes += static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16));
    return true;
}

} // namespace

bool ParseRegisters(const std::string& text, RegisterMap& registers, std::string& error) {
    std::string lineText;
    std::istringstream in(StripComments(text));
    while (std::getline(in, lineText, '\n')) {
        std::istringstream line(lineText);
        std::string item;
        while (std::getline(line, item, ',')) {
            item = Trim(item);
            if (item.empty())
                continue;
            const auto eq = item.find('=');
            long address = 0;
            long value = 0;
            if (eq == std::string::npos || !ParseNumber(item.substr(0, eq), 0, 0xFFFF, address) ||
                !ParseNumber(item.substr(eq + 1), -32768, 0xFFFF, value)) {
                error = "bad register item \"" + item +
                        "\": expected ADDR=VALUE, address 0..65535, value -32768..65535";
                return false;
            }
            registers[static_cast<uint16_t>(address)] = static_cast<uint16_t>(value);
        }
    }
    return true;
}

bool LoadRegisterFile(const std::string& path, RegisterMap& registers, std::string& error) {
    std::string text;
    if (!ReadFile(path, text, error))
        return false;
    if (!ParseRegisters(text, registers, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

bool ParseFault(const std::string& faultText, Fault& fault, std::string& error) {
    std::string rest = faultText;
    Fault f;
    const auto slash = rest.find('/');
    if (slash != std::string::npos) {
        if (!ParseUnsigned(rest.substr(slash + 1), 1, 1000000, f.Every)) {
            error = "bad fault \"" + faultText + "\": /EVERY must be 1 or more";
            return false;
        }
        rest.resize(slash);
    }
    std::string value;
    const auto eq = rest.find('=');
    if (eq != std::string::npos) {
        value = rest.substr(eq + 1);
        rest.resize(eq);
    }
    const bool hasValue = eq != std::string::npos;
    bool ok = true;
    if (rest == "drop") {
        f.Kind = FaultKind::Drop;
        ok = !hasValue;
    } else if (rest == "crc") {
        f.Kind = FaultKind::BadCrc;
        ok = !hasValue;
    } else if (rest == "truncate") {
        f.Kind = FaultKind::Truncate;
        ok = !hasValue || ParseUnsigned(value, 0, 255, f.Value);
    } else if (rest == "delay") {
        f.Kind = FaultKind::Delay;
        ok = hasValue && ParseUnsigned(value, 0, 600000, f.Value);
    } else if (rest == "exception") {
        f.Kind = FaultKind::Exception;
        ok = hasValue && ParseUnsigned(value, 1, 255, f.Value);
    } else {
        error = "unknown fault \"" + faultText + "\": drop, crc, truncate, delay or exception";
        return false;
    }
    if (!ok) {
        error = "bad fault \"" + faultText +
                "\": drop, crc, truncate[=KEPT], delay=MS or exception=CODE (1..255), "
                "each optionally /EVERY";
        return false;
    }
    fault = f;
    return true;
}

bool LoadFaultFile(const std::string& path, std::vector<Fault>& faults, std::string& error) {
    std::string text;
    if (!ReadFile(path, text, error))
        return false;
    std::vector<Fault> parsed;
    std::istringstream in(StripComments(text));
    std::string faultText;
    while (in >> faultText) {
        Fault f;
        if (!ParseFault(faultText, f, error)) {
            error = path + ": " + error;
            return false;
        }
        parsed.push_back(f);
    }
    faults = std::move(parsed);
    return true;
}

bool ParseCommandLine(const std::vector<std::string>& args, Options& options, std::string& error) {
    Options o;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool inlineValue = false;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            inlineValue = true;
        }
        if (name == "--help" || name == "-h") {
            o.Help = true;
            continue;
        }
        static const char* const kWithValue[] = {"--ports-dir", "--port",    "--address", "--reg",
                                                 "--regs",      "--id",      "--id-hex",  "--card",
                                                 "--fault",     "--control", "--baud"};
        bool known = false;
        for (const char* n : kWithValue)
            known = known || name == n;
        if (!known) {
            error = "unknown option \"" + args[i] + "\" (see --help)";
            return false;
        }
        if (!inlineValue) {
            if (i + 1 >= args.size()) {
                error = "option " + name + " needs a value";
                return false;
            }
            value = args[++i];
        }
        const auto bad = [&](const std::string& what) {
            error = "bad value \"" + value + "\" for " + name + ": " + what;
            return false;
        };
        if (name == "--ports-dir") {
            if (value.empty())
                return bad("a folder is needed");
            o.PortsDir = value;
        } else if (name == "--port") {
            if (!ParseUnsigned(value, 1, 255, o.Port))
                return bad("a COM number 1..255 is needed");
        } else if (name == "--address") {
            if (!ParseUnsigned(value, 1, 247, o.Address))
                return bad("a slave address 1..247 is needed");
        } else if (name == "--reg") {
            if (!ParseRegisters(value, o.Registers, error))
                return false;
        } else if (name == "--regs") {
            if (!LoadRegisterFile(value, o.Registers, error))
                return false;
        } else if (name == "--id") {
            o.Id = value;
        } else if (name == "--id-hex") {
            if (!ParseHexBytes(value, o.Id))
                return bad("pairs of hex digits are needed");
        } else if (name == "--card") {
            o.CardImage = value;
        } else if (name == "--fault") {
            Fault f;
            if (!ParseFault(value, f, error))
                return false;
            o.Faults.push_back(f);
        } else if (name == "--control") {
            o.ControlFile = value;
        } else if (name == "--baud") {
            if (!ParseUnsigned(value, 50, 10000000, o.Baud))
                return bad("a rate of 50 .. 10000000 baud is needed");
        }
    }
    if (o.Id.size() > kMaxIdLength) {
        error = "identification text too long: at most " + std::to_string(kMaxIdLength) +
                " bytes fit a reply";
        return false;
    }
    if (o.PortsDir.empty() && !o.Help) {
        const char* env = std::getenv("VENDRILL_PORTS_DIR");
        if (env == nullptr || *env == '\0') {
            error = "no ports folder: give --ports-dir or set VENDRILL_PORTS_DIR";
            return false;
        }
        o.PortsDir = env;
    }
    options = std::move(o);
    return true;
}

std::string HelpText() {
    return R"(Usage: vendrill-sim [options]

Plays the instrument on a pseudo-terminal: a Modbus RTU slave that serves a register
map, answers Report Slave ID, reads a FAT16 memory-card image and puts faults on the
line on demand. It links COMn in the ports folder to its pseudo-terminal, prints
"ready COMn DEVICE" on stdout and serves until SIGTERM or SIGINT; then it removes the link.

  --ports-dir DIR      folder for the COMn link (default: $VENDRILL_PORTS_DIR);
                       created if missing
  --port N             COM number n, 1..255 (default 1)
  --address N          slave address, 1..247 (default 210)
  --reg LIST           registers ADDR=VALUE[,ADDR=VALUE...]; repeatable
  --regs FILE          registers from a file: ADDR=VALUE per line, '#' comments
                       Addresses are the register address field of the request
                       (0..65535; a project's 1-based register N is N - 1),
                       values decimal or 0x hex (-32768..65535).
                       Unlisted registers read 0. Functions 3 and 4 read the same
                       map; functions 6 and 16 write it.
  --id TEXT            function 17 identification bytes, sent as they stand
                       (give Windows-1251 bytes; default "vendrill-sim")
  --id-hex HEX         the same as hex byte pairs, e.g. "C2 CA D2 2D 37"
  --card IMAGE         memory-card image (FAT16). Function 6 to register 999
                       selects a page of 256 sectors; function 3 for 64 registers
                       at 999 + 4 x (sector mod 256) + quarter (0..3) reads that
                       128-byte quarter of sector page x 256 + sector mod 256.
                       Without an image such reads get exception 8 (no card); past
                       the image's end, exception 2.
  --fault FAULT        a fault; repeatable. FAULT is KIND[=VALUE][/N]: the fault hits
                       requests N, 2N, 3N, ... (default N = 1: every request)
                         drop            no reply, the request is ignored
                         crc             the reply's CRC is wrong
                         truncate[=K]    only the first K reply bytes (default:
                                         all but the last)
                         delay=MS        the reply waits MS milliseconds
                         exception=CODE  exception reply CODE, request ignored
  --control FILE       on SIGHUP the faults are replaced by the faults in FILE
                       (blank-separated, '#' comments; empty: no faults), the
                       request count restarts and "reloaded" is printed
  --baud N             pace every reply at the wire time of N baud, 8N2 (11 bits
                       per byte)
  --help               this text

Exit status: 0 after SIGTERM/SIGINT, 1 when the port cannot be set up, 2 on bad
options.
)";
}

} // namespace sim
