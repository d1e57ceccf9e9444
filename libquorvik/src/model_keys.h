// What the queries read from the model's section, in the order that decides
// which failure a caller sees. Nothing here runs a command or opens a device,
// so that quorvik-info's profile checker asks this very code which key of a
// query fails, with which status and why.
#pragma once

#include <cstddef>
#include <set>
#include <string>

#include "quorvik_common/ini_value.h"
#include "quorvik_common/profile_schema.h"

namespace quorvik {

inline constexpr std::size_t kBufferSize = schema::kTextSize;

enum IniType : int { INI_TYPE_INT = 0, INI_TYPE_DOUBLE = 1, INI_TYPE_STRING = 2 };

// Reads key of section from a loaded profile (value: int*, double* or a
// 128-byte character buffer, by type), numbers as strtol (base 0) and strtod
// read them in the C locale. Returns 0, ERR_PROFILE_LOAD (no profile) or
// ERR_PROFILE_VALUE; a failed integer or real lookup leaves its negative value
// stored (-1 for a missing key), an integer outside int and a failed text
// lookup leave the destination untouched. Every profile lookup of the library
// comes here.
int profile_lookup(const ini::Profile& profile, const char* section, const char* key, int type,
                   void* value);

// The keys of one model's section, as the queries read them.
class SectionKeys {
  public:
    // section nullptr: the model has no name, and every read gives
    // ERR_DEVICE_NAME; profile nullptr: no profile loaded (ERR_PROFILE_LOAD).
    SectionKeys(const dictionary* profile, const char* section)
        : profile_(profile), section_(section) {}

    // As profile_lookup, from this section.
    int read(const char* key, int type, void* value);
    int integer(const char* key, int& value) { return read(key, INI_TYPE_INT, &value); }
    int text(const char* key, char (&value)[kBufferSize]) {
        return read(key, INI_TYPE_STRING, value);
    }

    // Refuses the value of the key read last, or of key (ERR_PROFILE_VALUE);
    // why says what the query makes of it, for the profile checker.
    int refuse(const char* why, const char* key = nullptr);

    const char* last_key() const { return last_key_; }
    const char* why() const { return why_; }
    // Every key read from now on goes into asked too.
    void record_asked(std::set<std::string>& asked) { asked_ = &asked; }

  private:
    const dictionary* profile_;
    const char* section_;
    const char* last_key_ = "";
    const char* why_ = "";
    std::set<std::string>* asked_ = nullptr;
};

// Serial port index: the TotalSerialPort bound, the node letters and the
// port's device number, and the command line that tests for the node.
struct SerialPort {
    char letters[kBufferSize] = {};
    int number = 0;
    std::string node_test;
};
int read_serial_port(SectionKeys& keys, int index, SerialPort& port);

// How set_relay(index, value) reaches the relay of model: by command, or
// through the node it names.
struct RelayTarget {
    bool by_command = false;
    char node[kBufferSize] = {};
};
int read_relay(SectionKeys& keys, const char* model, int index, int value, RelayTarget& target);

// The power-supply indicator count and range of get_pwr_status(index).
int read_power_indicator(SectionKeys& keys, int index);

// The reader input that carries role index of kind, bounded by the model's
// count of that kind.
int read_role_input(SectionKeys& keys, const schema::InputKind& kind, int index, int& input);

}  // namespace quorvik
