#include "board.h"

#include <iniparser.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "images.h"
#include "quorvik_common/profile_schema.h"
#include "quorvik_common/tty_list.h"

namespace quorvik::simtool {
namespace {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string trim(const std::string& text) {
    const std::size_t begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos) return "";
    const std::size_t end = text.find_last_not_of(" \t\r");
    return text.substr(begin, end - begin + 1);
}

// A value without its comment: ';' or '#' at the start or after a blank.
// Double quotes keep what they hold.
std::string strip_comment(const std::string& value) {
    bool quoted = false;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '"') quoted = !quoted;
        if (!quoted && (value[i] == ';' || value[i] == '#') &&
            (i == 0 || value[i - 1] == ' ' || value[i - 1] == '\t')) {
            return trim(value.substr(0, i));
        }
    }
    return trim(value);
}

std::string unquote(const std::string& value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

std::optional<std::string> read_text_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool is_directory(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The reader of one section's keys: each key is known or an error.
class SectionReader {
  public:
    SectionReader(const Section& section, Diagnostics& out) : section_(section), out_(out) {}

    const Entry* get(const std::string& key) {
        known_.push_back(lower(key));
        return section_.find(key);
    }
    std::string text(const std::string& key, const std::string& fallback = "") {
        const Entry* e = get(key);
        return e != nullptr ? unquote(e->value) : fallback;
    }
    template <typename T>
    bool integer(const std::string& key, T& value, long long low, long long high) {
        const Entry* e = get(key);
        if (e == nullptr) return false;
        const auto number = parse_integer(e->value);
        if (!number || *number < low || *number > high) {
            out_.error(e->where, key + " = " + e->value + ": not a whole number from " +
                                     std::to_string(low) + " to " + std::to_string(high));
            return false;
        }
        value = static_cast<T>(*number);
        return true;
    }
    bool real(const std::string& key, double& value) {
        const Entry* e = get(key);
        if (e == nullptr) return false;
        const auto number = parse_real(e->value);
        if (!number || *number < 0) {
            out_.error(e->where, key + " = " + e->value + ": not a number of 0 or more");
            return false;
        }
        value = *number;
        return true;
    }
    bool boolean(const std::string& key, bool& value) {
        const Entry* e = get(key);
        if (e == nullptr) return false;
        const auto flag = parse_bool(e->value);
        if (!flag) {
            out_.error(e->where, key + " = " + e->value + ": not yes or no");
            return false;
        }
        value = *flag;
        return true;
    }
    // Every key not asked for is unknown.
    void finish() {
        for (const Entry& e : section_.entries) {
            if (std::find(known_.begin(), known_.end(), lower(e.key)) == known_.end()) {
                out_.error(e.where, "unknown key " + e.key + " in [" + section_.name + "]");
            }
        }
    }

  private:
    const Section& section_;
    Diagnostics& out_;
    std::vector<std::string> known_;
};

void read_identity(const Section& section, Board& board, Diagnostics& out) {
    SectionReader r(section, out);
    Identity& id = board.identity;
    id.where = section.where;
    const Entry* source = r.get("source");
    const std::string kind = source != nullptr ? lower(source->value) : "";
    if (source == nullptr) {
        out.error(section.where, "[identity] needs source = signature, smbios or images");
    } else if (kind == "signature") {
        id.source = Identity::Source::Signature;
    } else if (kind == "smbios") {
        id.source = Identity::Source::Smbios;
    } else if (kind == "images") {
        id.source = Identity::Source::Images;
    } else {
        out.error(source->where, "source = " + source->value + ": not signature, smbios or images");
    }
    id.model = r.text("model");
    id.bios_version = r.text("bios_version");
    id.serial = r.text("serial");
    id.vendor = r.text("vendor");
    id.manufacturer = r.text("manufacturer");
    id.fsegment_file = r.text("fsegment");
    id.smbios_file = r.text("smbios");
    r.finish();

    if (source == nullptr) return;
    const Where at = source->where;
    if (id.source == Identity::Source::Images) {
        if (id.fsegment_file.empty() || id.smbios_file.empty()) {
            out.error(at, "source = images needs fsegment = FILE and smbios = FILE");
        }
        for (const char* key : {"model", "bios_version", "serial", "vendor", "manufacturer"}) {
            if (const Entry* e = section.find(key)) {
                out.error(e->where, std::string(key) + " is given by the images (source = images)");
            }
        }
        return;
    }
    for (const char* key : {"fsegment", "smbios"}) {
        if (const Entry* e = section.find(key)) {
            out.error(e->where, std::string(key) + " belongs to source = images");
        }
    }
    const auto where_of = [&](const char* key) {
        const Entry* e = section.find(key);
        return e != nullptr ? e->where : at;
    };
    if (id.model.empty()) out.error(where_of("model"), "the identity needs model = NAME");
    if (id.model.size() > schema::kLongestModel) {
        out.error(where_of("model"), "model " + id.model +
                                         " is longer than the 29 characters "
                                         "that the identity keeps");
    }
    if (id.serial.size() > 29) {
        out.error(where_of("serial"),
                  "serial is longer than the 29 characters that the identity keeps");
    }
    if (id.bios_version.empty())
        out.error(where_of("bios_version"), "the identity needs bios_version = TEXT");
    if (id.source == Identity::Source::Signature) {
        // "ZEKT MODEL XX.YYYYY": the version's dot, the first of the text, is
        // its third character, and five characters follow it.
        const std::string& v = id.bios_version;
        if (!v.empty() && (v.size() != 8 || v[2] != '.' || v.find('.', 3) != std::string::npos)) {
            out.error(where_of("bios_version"),
                      "bios_version = " + v +
                          ": the signature path reads two characters, a dot and five more "
                          "(R1.05 would read as \"R1.05\" cut short: write e.g. V1.05S01)");
        }
        if (id.model.find('.') != std::string::npos) {
            out.error(where_of("model"),
                      "a model with a dot cannot be read from the signature text");
        }
        if (!id.vendor.empty() &&
            (id.vendor.starts_with("Insyde") || id.vendor.starts_with("INSYDE"))) {
            out.error(where_of("vendor"),
                      "an Insyde vendor makes identification take the SMBIOS path");
        }
    } else if (!id.vendor.empty() && !id.vendor.starts_with("Insyde") &&
               !id.vendor.starts_with("INSYDE")) {
        out.error(where_of("vendor"),
                  "source = smbios needs a vendor starting with Insyde or INSYDE");
    } else if (id.bios_version.size() > 9) {
        out.error(where_of("bios_version"),
                  "bios_version is longer than the 9 characters that the identity keeps");
    }
}

void read_superio(const Section& section, Board& board, Diagnostics& out) {
    SectionReader r(section, out);
    SuperIo& chip = board.superio;
    chip.where = section.where;
    chip.chip = r.text("chip");
    chip.index_given = r.integer("index", chip.index_port, 0, 0xFFFF);
    chip.data_given = r.integer("data", chip.data_port, 0, 0xFFFF);
    chip.banked_given = r.boolean("banked", chip.banked);
    bool present = true;
    r.boolean("present", present);
    chip.present = present;
    r.finish();
}

void read_bank(const Section& section, int bank, Board& board, Diagnostics& out) {
    for (const Entry& e : section.entries) {
        const auto reg = parse_integer(e.key);
        const auto value = parse_integer(e.value);
        if (!reg || *reg < 0 || *reg > 255) {
            out.error(e.where, "register " + e.key + " is no register number from 0x00 to 0xFF");
            continue;
        }
        if (!value || *value < 0 || *value > 255) {
            out.error(e.where,
                      "register " + e.key + " = " + e.value + ": no byte value from 0x00 to 0xFF");
            continue;
        }
        board.registers[bank][*reg] = static_cast<std::uint8_t>(*value);
        board.register_given[bank][*reg] = true;
    }
}

void read_msr(const Section& section, Board& board, Diagnostics& out) {
    for (const Entry& e : section.entries) {
        const auto reg = parse_integer(e.key);
        if (!reg || *reg < 0 || *reg > 0xFFFFFFFFLL) {
            out.error(e.where, "MSR " + e.key + " is no register number");
            continue;
        }
        char* end = nullptr;
        errno = 0;
        const std::string text = e.value;
        const unsigned long long value = std::strtoull(text.c_str(), &end, 0);
        if (text.empty() || *end != '\0' || errno == ERANGE || text[0] == '-') {
            out.error(e.where, "MSR " + e.key + " = " + e.value + ": no 64-bit value");
            continue;
        }
        board.msr[static_cast<std::uint32_t>(*reg)] = value;
    }
    if (board.msr.size() > 64) out.error(section.where, "more than 64 MSRs");
}

void read_dio(const Section& section, Board& board, Diagnostics& out) {
    SectionReader r(section, out);
    board.dio_driver = true;
    bool driver = true;
    if (r.boolean("driver", driver)) board.dio_driver = driver;
    r.integer("power0", board.power[0], 0, 1);
    r.integer("power1", board.power[1], 0, 1);
    for (int i = 0; i < 8; ++i) {
        int value = 0;
        if (r.integer("relay" + std::to_string(i), value, 0, 1)) board.relay[i] = value;
    }
    r.finish();
}

void read_eth(const Section& section, Board& board, Diagnostics& out) {
    SectionReader r(section, out);
    EthPort port;
    port.name = section.name;
    r.boolean("up", port.up);
    r.integer("carrier", port.carrier, 0, 1);
    r.integer("speed", port.speed, -1, 1000000);
    r.real("rx_kbits", port.rx_kbits);
    r.real("tx_kbits", port.tx_kbits);
    port.address = r.text("address");
    port.mac = r.text("mac");
    r.finish();
    board.eth.push_back(port);
}

void read_serial(const Section& section, Board& board, Diagnostics& out) {
    SectionReader r(section, out);
    SerialPort port;
    port.name = section.name;
    r.boolean("present", port.present);
    port.held_by = r.text("held_by");
    if (const Entry* e = section.find("held_by"); e != nullptr && !port.held_by.empty()) {
        std::istringstream words(port.held_by);
        std::string command, pid, user;
        if (!(words >> command >> pid >> user) || !parse_integer(pid)) {
            out.error(e->where,
                      "held_by = " + e->value + ": give COMMAND PID USER (agetty 512 root)");
        }
    }
    r.finish();
    board.serial.push_back(port);
}

void read_disk(const Section& section, Board& board, Diagnostics& out) {
    SectionReader r(section, out);
    Disk disk;
    disk.name = section.name;
    disk.device = r.text("device");
    disk.mount = r.text("mount");
    disk.type = r.text("type", "ext4");
    r.integer("size_mb", disk.size_mb, 1, 1LL << 40);
    r.integer("used_mb", disk.used_mb, 0, 1LL << 40);
    r.finish();
    if (disk.device.empty() || disk.device[0] != '/' || !plain_text(disk.device, "/._+:@-")) {
        out.error(section.where,
                  "[" + section.name + "] needs device = /dev/NAME (plain characters)");
    }
    if (disk.mount.empty() || disk.mount[0] != '/' || !plain_text(disk.mount, "/._+:@-")) {
        out.error(section.where, "[" + section.name + "] needs mount = /PATH (plain characters)");
    }
    if (disk.size_mb <= 0) out.error(section.where, "[" + section.name + "] needs size_mb");
    if (disk.used_mb > disk.size_mb)
        out.error(section.where, "[" + section.name + "]: used_mb exceeds size_mb");
    board.disks.push_back(disk);
}

// The board's device profile: the file named, or the model's section.
void compose_profile(Board& board, const Section* board_section, Diagnostics& out) {
    const std::string model = board.identity.model;
    if (!board.profile_file.empty() && board.has_profile_section) {
        out.error(board_section != nullptr ? board_section->where : Where{board.file, 0},
                  "give either profile = FILE or a [profile] section, not both");
        return;
    }
    if (!board.profile_file.empty()) {
        const std::string path = board.profile_file[0] == '/'
                                     ? board.profile_file
                                     : board.dir + "/" + board.profile_file;
        const auto text = read_text_file(path);
        if (!text) {
            out.error(board_section->find("profile")->where, "cannot read the profile " + path);
            return;
        }
        board.profile_text = *text;
        return;
    }
    if (!board.has_profile_section) {
        out.error({board.file, 0},
                  "the board has no device profile: add a [profile] section "
                  "(the model's keys) or profile = FILE in [board]");
        return;
    }
    std::string text = "; The device profile of the simulated board " + board.name + "\n[" +
                       (model.empty() ? std::string("unknown-model") : model) + "]\n";
    for (const Entry& e : board.profile_section) text += e.key + " = " + e.value + "\n";
    board.profile_text = text;
}

std::string bare_hex(long long value) {
    char text[32];
    std::snprintf(text, sizeof text, "%02llX", value);
    return text;
}

// The board's profile as the libraries will read it (iniparser), for the
// model's section: defaults of the chip, relay node, serial nodes, and the
// registers and MSRs that the inputs name.
void read_profile(Board& board, Diagnostics& out) {
    const Where where{board.profile_file.empty() ? board.file : board.profile_file, 0};
    char name[] = "/tmp/quorvik-sim-profile-XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd < 0) return;
    const bool written = ::write(fd, board.profile_text.data(), board.profile_text.size()) ==
                         static_cast<ssize_t>(board.profile_text.size());
    ::close(fd);
    dictionary* dict = written ? iniparser_load(name) : nullptr;
    ::unlink(name);
    if (dict == nullptr) {
        out.error(where,
                  "the device profile does not load (an INI syntax error, or a line of "
                  "1024 characters or more)");
        return;
    }
    // The section that serves the model: its own, else the first whose name
    // begins the model name (as the sensor readers take it).
    const std::string model = lower(board.identity.model);
    std::string section;
    bool own = false;
    const int count = iniparser_getnsec(dict);
    for (int i = 0; i < count; ++i) {
        const std::string s = iniparser_getsecname(dict, i);
        if (s == model) {
            section = s;
            own = true;
            break;
        }
        if (section.empty() && !s.empty() && model.starts_with(s)) section = s;
    }
    if (section.empty()) {
        out.error(where, "the device profile has no section for the model " + board.identity.model);
        iniparser_freedict(dict);
        return;
    }
    if (!own) {
        out.warning(where, "the profile serves " + board.identity.model + " from section [" +
                               section +
                               "] for its sensors only: the monitoring API reads the section "
                               "named as the model");
    }
    board.profile_model_section = section;
    const auto value = [&](const char* key) -> std::optional<std::string> {
        const std::string full = section + ":" + lower(key);
        const char* text = iniparser_getstring(dict, full.c_str(), nullptr);
        if (text == nullptr) return std::nullopt;
        return std::string(text);
    };
    // The chip where the profile says it is, unless [superio] says otherwise.
    SuperIo& chip = board.superio;
    if (chip.where.line == 0) chip.present = true;  // no [superio]: the profile's chip
    if (chip.chip.empty()) chip.chip = value(schema::kChip).value_or("");
    if (!chip.index_given) {
        chip.index_port =
            static_cast<int>(parse_integer(value(schema::kIndexPort).value_or("")).value_or(0));
    }
    if (!chip.data_given) {
        chip.data_port =
            static_cast<int>(parse_integer(value(schema::kDataPort).value_or("")).value_or(0));
    }
    if (!chip.banked_given) chip.banked = schema::is_banked_chip(chip.chip);
    if (chip.present && (chip.index_port <= 0 || chip.data_port <= 0 || chip.index_port > 0xFFFF ||
                         chip.data_port > 0xFFFF)) {
        if (chip.where.line != 0) out.error(chip.where, "the chip needs index and data ports");
        chip.present = false;
    }
    if (const auto node = value(schema::kRelayNode)) board.relay_node = *node;
    if (const auto letters = value(schema::kTtyType)) board.tty_letters = *letters;
    if (const auto list = value(schema::kTtyNumbers)) {
        for (const std::string& item : tty::items(*list)) {
            if (const auto n = tty::device_number(item.c_str())) board.tty_numbers.push_back(*n);
        }
    }
    // Registers and MSRs that the inputs read and the board leaves at 0.
    for (const schema::InputKind* kind : schema::kInputKinds) {
        const int inputs =
            static_cast<int>(parse_integer(value(kind->count_key).value_or("0")).value_or(0));
        for (int n = 0; n < inputs && n < 32; ++n) {
            const auto key = [&](const char* field) {
                return value(schema::input_key(*kind, n, field).c_str());
            };
            const int bank =
                static_cast<int>(parse_integer(key(schema::kBank).value_or("0")).value_or(0));
            for (const char* field : {schema::kRegister, schema::kFanHigh, schema::kFanLow}) {
                const auto reg = key(field);
                if (!reg || !parse_integer(*reg)) continue;
                const long long r = *parse_integer(*reg);
                const int b = board.superio.banked ? bank : 0;
                if (r >= 0 && r < 256 && b >= 0 && b < 8 && !board.register_given[b][r]) {
                    out.warning({board.file, 0}, "register 0x" + bare_hex(r) + " of bank " +
                                                     std::to_string(b) + " (" +
                                                     schema::input_key(*kind, n, field) +
                                                     ") is not given: it reads 0");
                }
            }
            for (const char* field : {schema::kReferenceMsr, schema::kReadoutMsr}) {
                const auto reg = key(field);
                if (!reg || !parse_integer(*reg)) continue;
                if (!board.msr.count(static_cast<std::uint32_t>(*parse_integer(*reg)))) {
                    out.warning({board.file, 0}, "MSR " + *reg + " (" +
                                                     schema::input_key(*kind, n, field) +
                                                     ") is not given: reading it fails");
                }
            }
        }
    }
    iniparser_freedict(dict);
}

bool digits(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

// eth<n>
bool is_eth_name(const std::string& name) {
    return name.starts_with("eth") && digits(name.substr(3));
}

// tty<letters><n>
bool is_tty_name(const std::string& name) {
    if (!name.starts_with("tty")) return false;
    std::size_t i = 3;
    while (i < name.size() && std::isalpha(static_cast<unsigned char>(name[i]))) ++i;
    return i > 3 && digits(name.substr(i));
}

}  // namespace

bool plain_text(const std::string& text, const char* extra) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [&](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) ||
               (c != '\0' && std::strchr(extra, c) != nullptr);
    });
}

bool Diagnostics::has_errors() const {
    return std::any_of(list_.begin(), list_.end(), [](const Diagnostic& d) { return d.error; });
}

std::string Diagnostics::text() const {
    std::string text;
    for (const Diagnostic& d : list_) {
        text += d.where.file;
        if (d.where.line > 0) text += ":" + std::to_string(d.where.line);
        text += d.error ? ": error: " : ": warning: ";
        text += d.message + "\n";
    }
    return text;
}

const Entry* Section::find(const std::string& key) const {
    const std::string wanted = lower(key);
    const Entry* found = nullptr;
    for (const Entry& e : entries) {
        if (lower(e.key) == wanted) found = &e;  // the last one wins, as in iniparser
    }
    return found;
}

std::vector<Section> read_ini(const std::string& file, const std::string& text, Diagnostics& out) {
    std::vector<Section> sections;
    Section* current = nullptr;
    std::istringstream lines(text);
    std::string raw;
    int number = 0;
    while (std::getline(lines, raw)) {
        ++number;
        const Where where{file, number};
        const std::string line = trim(raw);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            const std::size_t close = line.find(']');
            if (close == std::string::npos || !strip_comment(line.substr(close + 1)).empty()) {
                out.error(where, "a section line is [NAME]");
                current = nullptr;
                continue;
            }
            const std::string name = trim(line.substr(1, close - 1));
            auto same = std::find_if(sections.begin(), sections.end(), [&](const Section& s) {
                return lower(s.name) == lower(name);
            });
            if (same == sections.end()) {
                sections.push_back({name, where, {}});
                current = &sections.back();
            } else {
                current = &*same;
            }
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos || equals == 0) {
            out.error(where, "a line is [SECTION], KEY = VALUE, or a comment");
            continue;
        }
        if (current == nullptr) {
            out.error(where, "a key before the first section");
            continue;
        }
        current->entries.push_back(
            {trim(line.substr(0, equals)), strip_comment(line.substr(equals + 1)), where});
    }
    return sections;
}

std::optional<long long> parse_integer(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), &end, 0);
    if (*end != '\0' || errno == ERANGE) return std::nullopt;
    return value;
}

std::optional<double> parse_real(const std::string& text) {
    if (text.empty()) return std::nullopt;
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    double value = 0;
    in >> value;
    if (in.fail() || !in.eof() || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<bool> parse_bool(const std::string& text) {
    const std::string word = lower(text);
    if (word == "yes" || word == "true" || word == "1" || word == "on") return true;
    if (word == "no" || word == "false" || word == "0" || word == "off") return false;
    return std::nullopt;
}

Board read_board(const std::string& path, Diagnostics& out) {
    Board board;
    if (is_directory(path)) {
        board.dir = path;
        board.file = path + "/board.ini";
    } else {
        board.file = path;
        const std::size_t slash = path.rfind('/');
        board.dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    }
    const auto text = read_text_file(board.file);
    if (!text) {
        out.error({board.file, 0},
                  "cannot read the board description: " + std::string(std::strerror(errno)));
        return board;
    }
    {
        // The board's name: its directory's name unless [board] says one.
        std::string dir = board.dir;
        while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
        const std::size_t slash = dir.rfind('/');
        board.name = slash == std::string::npos ? dir : dir.substr(slash + 1);
    }
    const std::vector<Section> sections = read_ini(board.file, *text, out);
    const Section* board_section = nullptr;
    bool has_identity = false;
    for (const Section& section : sections) {
        const std::string name = lower(section.name);
        if (name == "board") {
            board_section = &section;
            SectionReader r(section, out);
            board.name = r.text("name", board.name);
            board.description = r.text("description");
            board.profile_file = r.text("profile");
            r.finish();
        } else if (name == "identity") {
            has_identity = true;
            read_identity(section, board, out);
        } else if (name == "profile") {
            board.has_profile_section = true;
            board.profile_section = section.entries;
        } else if (name == "superio") {
            read_superio(section, board, out);
        } else if (name.size() == 5 && name.starts_with("bank") && name[4] >= '0' &&
                   name[4] <= '7') {
            read_bank(section, name[4] - '0', board, out);
        } else if (name == "msr") {
            read_msr(section, board, out);
        } else if (name == "dio") {
            read_dio(section, board, out);
        } else if (is_eth_name(section.name)) {
            read_eth(section, board, out);
        } else if (is_tty_name(section.name)) {
            read_serial(section, board, out);
        } else if (name.starts_with("disk")) {
            read_disk(section, board, out);
        } else {
            out.error(section.where,
                      "unknown section [" + section.name +
                          "] (board, identity, profile, superio, bank0 to bank7, msr, "
                          "dio, ethN, ttyXN, diskN)");
        }
    }
    if (!has_identity) {
        out.error({board.file, 0}, "the board has no [identity] section");
        return board;
    }
    if (out.has_errors()) return board;
    // The model that identification will find names the profile's section.
    Diagnostics image_problems;
    if (const auto images = build_images(board, image_problems)) {
        const DecodedIdentity found = decode_identity(*images);
        if (!found.failure.empty()) {
            out.error(board.identity.where, "identification would fail: " + found.failure);
        } else if (board.identity.source == Identity::Source::Images) {
            board.identity.model = found.model;
            board.identity.bios_version = found.bios_version;
            board.identity.serial = found.serial;
        } else if (found.model != board.identity.model) {
            out.error(board.identity.where, "identification would read the model as \"" +
                                                found.model + "\", not \"" + board.identity.model +
                                                "\"");
        }
    }
    for (const Diagnostic& d : image_problems.all()) out.error(d.where, d.message);
    compose_profile(board, board_section, out);
    if (!board.profile_text.empty()) read_profile(board, out);
    return board;
}

}  // namespace quorvik::simtool
