// A board description (quorvik-sim(1), "BOARD FORMAT"): a directory with
// board.ini and the files it names. The parser keeps the file and line of
// every value, so that `quorvik-sim check` and every command that reads a
// board say where a mistake is.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quorvik::simtool {

struct Where {
    std::string file;
    int line = 0;
};

struct Diagnostic {
    Where where;
    bool error = true;  // false: a warning
    std::string message;
};

class Diagnostics {
  public:
    void error(const Where& where, std::string message) { add(where, true, std::move(message)); }
    void warning(const Where& where, std::string message) { add(where, false, std::move(message)); }
    bool has_errors() const;
    const std::vector<Diagnostic>& all() const { return list_; }
    // "FILE:LINE: error: MESSAGE" a line.
    std::string text() const;

  private:
    void add(const Where& where, bool error, std::string message) {
        list_.push_back({where, error, std::move(message)});
    }
    std::vector<Diagnostic> list_;
};

// One key of an INI-like file, with its place.
struct Entry {
    std::string key;
    std::string value;
    Where where;
};

struct Section {
    std::string name;  // as written
    Where where;
    std::vector<Entry> entries;
    const Entry* find(const std::string& key) const;  // case-insensitive
};

// Reads an INI text: [section] lines, key = value lines, ';' and '#'
// comments (whole lines, or after a blank). Repeated sections merge.
std::vector<Section> read_ini(const std::string& file, const std::string& text, Diagnostics& out);

struct Identity {
    enum class Source { Signature, Smbios, Images } source = Source::Signature;
    std::string model;
    std::string bios_version;
    std::string serial;
    std::string vendor;
    std::string manufacturer;
    std::string fsegment_file;  // images
    std::string smbios_file;    // images
    Where where;
};

struct SuperIo {
    bool present = false;
    std::string chip;
    int index_port = 0;
    int data_port = 0;
    bool banked = false;
    bool index_given = false, data_given = false, banked_given = false;
    Where where;
};

struct EthPort {
    std::string name;  // eth0
    bool up = true;
    int carrier = 1;
    int speed = 1000;
    double rx_kbits = 0;
    double tx_kbits = 0;
    std::string address;
    std::string mac;
};

struct SerialPort {
    std::string name;  // ttyS0
    bool present = true;
    std::string held_by;  // "COMMAND PID USER", empty when free
};

struct Disk {
    std::string name;  // section name, disk0
    std::string device;
    std::string mount;
    std::string type = "ext4";
    long size_mb = 0;
    long used_mb = 0;
};

struct Board {
    std::string dir;   // the board's directory
    std::string file;  // its board.ini
    std::string name;
    std::string description;
    Identity identity;
    // The device profile: a whole file, or the model's section given here.
    std::string profile_file;
    std::vector<Entry> profile_section;
    bool has_profile_section = false;
    SuperIo superio;
    std::uint8_t registers[8][256] = {};
    bool register_given[8][256] = {};
    std::map<std::uint32_t, std::uint64_t> msr;
    bool dio_driver = false;
    int power[2] = {1, 1};
    std::map<int, int> relay;
    std::vector<EthPort> eth;
    std::vector<SerialPort> serial;
    std::vector<Disk> disks;

    // The device profile text that the run serves, and what it says of the
    // model: its section, relay node and serial nodes.
    std::string profile_text;
    std::string profile_model_section;
    std::string relay_node;
    std::string tty_letters;
    std::vector<int> tty_numbers;
};

// Reads BOARD (a directory holding board.ini, or a board file); every
// problem goes to out. The board is usable when out has no errors.
Board read_board(const std::string& path, Diagnostics& out);

// Whether text is non-empty and every character is a letter, a digit or
// one of extra.
bool plain_text(const std::string& text, const char* extra);

// Number texts: strtol base 0 / strtoull base 0 over the whole text.
std::optional<long long> parse_integer(const std::string& text);
std::optional<double> parse_real(const std::string& text);
std::optional<bool> parse_bool(const std::string& text);

}  // namespace quorvik::simtool
