// The device profile's vocabulary: every key name, how input keys are formed,
// the input kinds and what reads them, the chips with banks, the role tables,
// the limits on values and counts.
// The readers, the monitoring library, quorvik-info's collectors and its
// profile checker all take them from here, so that a chip or a role added
// here is one that every one of them knows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "QuorvikSO.h"

namespace quorvik {
class SectionKeys;
}  // namespace quorvik

namespace quorvik::sensor {
class MsrSource;

// Each reads the keys of one input as its kind's reader does, and gives the
// reader's status (sensor_inputs.h); the registers named are not read.
int check_volt_input(SectionKeys& keys, MsrSource& msr);
int check_temp_input(SectionKeys& keys, MsrSource& msr);
int check_fan_input(SectionKeys& keys, MsrSource& msr);
}  // namespace quorvik::sensor

namespace quorvik::schema {

// --- Section keys -----------------------------------------------------------

// Where the model's hardware monitor answers, and which chip it is.
inline constexpr const char* kIndexPort = "Index";
inline constexpr const char* kDataPort = "Data";
inline constexpr const char* kChip = "Sio";

// How many inputs of each kind the model has.
inline constexpr const char* kVoltCount = "Volt";
inline constexpr const char* kTempCount = "Temp";
inline constexpr const char* kFanCount = "Fan";

// Monitoring library keys.
inline constexpr const char* kSerialCount = "TotalSerialPort";
inline constexpr const char* kTtyType = "TtyType";
inline constexpr const char* kTtyNumbers = "TtyNum";
inline constexpr const char* kLanCount = "TotalLanPort";
inline constexpr const char* kPowerIndicator = "S_Power_indicator";
inline constexpr const char* kRelayCount = "O_Relay";
inline constexpr const char* kRelayNode = "Relay_Node";

// TtyNum is a list: items are split at this character, empty items skipped.
inline constexpr const char* kListSeparator = ",";

// --- Input keys: <prefix><input number><field>, "Vin3Idx" ----------------

inline constexpr const char* kLabel = "Str";
inline constexpr const char* kBank = "Bnk";
inline constexpr const char* kRegister = "Idx";
inline constexpr const char* kFactor = "Cof";
inline constexpr const char* kOffset = "Off";
inline constexpr const char* kReferenceMsr = "MSR";
inline constexpr const char* kReadoutMsr = "MSROffset";
inline constexpr const char* kFanHigh = "MSB";
inline constexpr const char* kFanLow = "LSB";
inline constexpr const char* kFanDividend = "Count";

// How a key's value is read. Integers convert as strtol with base 0 (an
// empty value reads as 0 where nothing refuses it), registers as a 32-bit
// model-specific register number, reals as strtod; texts are taken as they
// stand; a list is split at kListSeparator.
enum class ValueType { integer, msr_register, real, text, list };

struct Field {
    const char* name;  // "Idx"
    ValueType type;
};

// --- Roles: which input carries a voltage or temperature by role ----------

struct Role {
    const char* name;  // "cpu", as quorvik-info labels it
    const char* key;   // the profile key that names the input
};

// A role's index is its place in the table.
inline constexpr Role kVoltRoles[] = {
    {"cpu", "V_CPU_Index"}, {"dram", "V_DRAM_Index"}, {"5v", "V_5V_Index"}};
inline constexpr Role kTempRoles[] = {{"cpu", "T_CPU_Index"}, {"system", "T_SYSTEM_Index"}};

// A kind of sensor input and what reads it: a new kind is one row here, with
// its reader's row in libQuorvikSO's dispatch.
struct InputKind {
    const char* prefix;  // "Vin"
    const char* count_key;
    const char* noun;  // "voltage"
    std::span<const Field> fields;
    std::span<const Role> roles;  // the roles its inputs carry, if any
    unsigned long dispatch_type;  // GetSensorValueByType's type (SENSOR_VOLT)
    const char* count_query;      // the exported count query, "SensorVoltQuery"
    // Reads one input's keys as the kind's reader does: its status.
    int (*read_keys)(SectionKeys& keys, sensor::MsrSource& msr);
};

inline constexpr Field kVoltFields[] = {{kLabel, ValueType::text},
                                        {kBank, ValueType::integer},
                                        {kRegister, ValueType::integer},
                                        {kFactor, ValueType::integer}};
inline constexpr Field kTempFields[] = {{kLabel, ValueType::text},
                                        {kBank, ValueType::integer},
                                        {kReferenceMsr, ValueType::msr_register},
                                        {kReadoutMsr, ValueType::msr_register},
                                        {kRegister, ValueType::integer},
                                        {kFactor, ValueType::real},
                                        {kOffset, ValueType::real}};
inline constexpr Field kFanFields[] = {{kLabel, ValueType::text},
                                       {kBank, ValueType::integer},
                                       {kFanHigh, ValueType::integer},
                                       {kFanLow, ValueType::integer},
                                       {kFanDividend, ValueType::integer}};

inline constexpr InputKind kVolt{.prefix = "Vin",
                                 .count_key = kVoltCount,
                                 .noun = "voltage",
                                 .fields = kVoltFields,
                                 .roles = kVoltRoles,
                                 .dispatch_type = SENSOR_VOLT,
                                 .count_query = "SensorVoltQuery",
                                 .read_keys = sensor::check_volt_input};
inline constexpr InputKind kTemp{.prefix = "Tin",
                                 .count_key = kTempCount,
                                 .noun = "temperature",
                                 .fields = kTempFields,
                                 .roles = kTempRoles,
                                 .dispatch_type = SENSOR_TEMP,
                                 .count_query = "SensorTempQuery",
                                 .read_keys = sensor::check_temp_input};
inline constexpr InputKind kFan{.prefix = "Fin",
                                .count_key = kFanCount,
                                .noun = "fan",
                                .fields = kFanFields,
                                .roles = {},
                                .dispatch_type = SENSOR_FAN,
                                .count_query = "SensorFanQuery",
                                .read_keys = sensor::check_fan_input};
inline constexpr const InputKind* kInputKinds[] = {&kVolt, &kTemp, &kFan};

// "Vin3Idx".
inline std::string input_key(const InputKind& kind, int input, const char* field) {
    return kind.prefix + std::to_string(input) + field;
}

// Every key of a section that is neither an input key nor a role key (the
// role keys, in the role tables above, are integers).
inline constexpr Field kSectionKeys[] = {{kSerialCount, ValueType::integer},
                                         {kTtyType, ValueType::text},
                                         {kTtyNumbers, ValueType::list},
                                         {kLanCount, ValueType::integer},
                                         {kPowerIndicator, ValueType::integer},
                                         {kRelayCount, ValueType::integer},
                                         {kRelayNode, ValueType::text},
                                         {kVoltCount, ValueType::integer},
                                         {kTempCount, ValueType::integer},
                                         {kFanCount, ValueType::integer},
                                         {kIndexPort, ValueType::integer},
                                         {kDataPort, ValueType::integer},
                                         {kChip, ValueType::text}};

// --- Chips ------------------------------------------------------------------

// A chip whose hardware monitor hides its registers behind banks: the
// register that selects the bank, the bits of it that a selection keeps
// (the others hold the bank number), and its highest bank. The readers, the
// simulators and the checker all follow these rows: a chip with another bank
// register is one more row.
struct BankedChip {
    std::string_view name;  // the Sio text, matched exactly, case and all
    std::uint8_t bank_register;
    std::uint8_t kept_bits;
    int highest_bank;
};

inline constexpr BankedChip kBankedChips[] = {
    {"W83627DHG", 0x4E, 0xF8, 7},
    {"W83627EHF", 0x4E, 0xF8, 7},
};

constexpr const BankedChip* banked_chip(std::string_view chip) {
    for (const BankedChip& banked : kBankedChips) {
        if (chip == banked.name) return &banked;
    }
    return nullptr;
}

constexpr bool is_banked_chip(std::string_view chip) {
    return banked_chip(chip) != nullptr;
}

// Register files a chip of any row may have.
constexpr int most_banks() {
    int most = 1;
    for (const BankedChip& banked : kBankedChips) {
        if (banked.highest_bank + 1 > most) most = banked.highest_bank + 1;
    }
    return most;
}

// A Bnk value that names no bank.
inline constexpr int kNoBank = 255;
// Registers of the hardware monitor are one byte.
inline constexpr int kHighestRegister = 0xFF;
inline constexpr long kHighestPort = 0xFFFF;

// --- Texts ------------------------------------------------------------------

// A reader's result text "<label>: <value>" lives in this many bytes; the
// label must leave room for ": " and a long in decimal with its sign.
inline constexpr std::size_t kResultSize = 1024;
inline constexpr std::size_t kLongestValue = 20;
inline constexpr std::size_t kLongestLabel = kResultSize - 1 - (sizeof ": " - 1) - kLongestValue;

// The dispatch holds the model name, and later the first word of a reading's
// text with its colon, in this many bytes.
inline constexpr std::size_t kScratchSize = 40;
inline constexpr std::size_t kLongestFirstWord = kScratchSize - 1;

// The identity cache holds a model name in this many bytes, terminator
// included; a section longer than the longest model is reached by none.
inline constexpr std::size_t kModelSize = 30;
inline constexpr std::size_t kLongestModel = kModelSize - 1;

// The monitoring library's text values and command lines fit this many bytes.
inline constexpr std::size_t kTextSize = 128;

// The monitoring library reads at most this many TtyNum items.
inline constexpr int kMostTtyNumbers = 128;

// --- Models -----------------------------------------------------------------

// The one model whose relay is driven by a command (on /dev/relay), not
// through Relay_Node; compared exactly with the identified model name.
inline constexpr const char* kCommandRelayModel = "KT-500R";

// --- Counts -----------------------------------------------------------------

// quorvik-info reads at most this many fans, LAN or serial ports of a board;
// beyond, it shows one failed reading rather than asking two billion times.
inline constexpr int kMostListed = 32;
// No board has more inputs or ports of one kind than this: a count beyond is
// a broken profile, and the checker says so.
inline constexpr int kMostPlausible = 256;

}  // namespace quorvik::schema
