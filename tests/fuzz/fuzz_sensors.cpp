// The three sensor readers and the count queries over arbitrary device
// profiles and register values. Input: a header of 96 bytes (flags, a failure
// mask for the permission calls, the input number, 64 register bytes, two
// model-specific register values), then the profile text. The simulated chip
// on 0x295/0x296 and the MSR device answer from the header.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "QuorvikSO.h"
#include "quorvik_common/c_number.h"
#include "quorvik_common/ini_value.h"
#include "sim_board.h"
#include "superio_chip.h"

namespace {

using quorvik::sim::Board;
using quorvik::sim::SuperIoChip;

constexpr std::size_t kHeader = 96;
constexpr std::size_t kRegisters = 64;
constexpr std::size_t kRegistersAt = 3;
constexpr std::size_t kMsrAt = kRegistersAt + kRegisters;
constexpr std::size_t kTextSize = 1024;

struct Header {
    bool banked_chip;
    std::size_t msr_read_limit;
    std::uint8_t permission_failures;  // bit i: the i-th permission call fails
    int input;
    std::array<std::uint8_t, kRegisters> registers;
    std::array<std::uint64_t, 2> msr;
};

Header header_from(const std::uint8_t* data, std::size_t size) {
    std::array<std::uint8_t, kHeader> bytes{};
    std::copy_n(data, std::min(size, kHeader), bytes.begin());
    Header header{};
    header.banked_chip = (bytes[0] & 1) != 0;
    header.msr_read_limit = (bytes[0] >> 1) % 9;  // 8 for a sound driver, less for a broken one
    header.permission_failures = bytes[1];
    header.input = static_cast<std::int8_t>(bytes[2]);
    std::copy_n(bytes.begin() + kRegistersAt, kRegisters, header.registers.begin());
    for (std::size_t m = 0; m < header.msr.size(); ++m) {
        for (std::size_t i = 8; i-- > 0;) {
            header.msr[m] = header.msr[m] << 8 | bytes[kMsrAt + 8 * m + i];
        }
    }
    return header;
}

const std::string& profile_path() {
    static const std::string path = "/tmp/quorvik-fuzz-sensors-" + std::to_string(::getpid());
    return path;
}

int quiet(const char*, ...) {
    return 0;
}

// Every register number that a key ending in "msr" or "msroffset" names
// answers with one of the header's two values.
void arrange_msrs(Board& board, const Header& header) {
    quorvik::ini::Profile profile(profile_path().c_str());
    if (!profile) return;
    const dictionary* dict = profile.get();
    std::size_t next = 0;
    for (int i = 0; i < dict->n; ++i) {
        if (dict->key[i] == nullptr || dict->val[i] == nullptr) continue;
        const std::string_view key = dict->key[i];
        if (!key.ends_with("msr") && !key.ends_with("msroffset")) continue;
        const auto reg = quorvik::number::c_strto_register(dict->val[i]);
        if (!reg) continue;
        board.msr[*reg] = header.msr[next++ % header.msr.size()];
    }
}

// Permission calls that reached the board, with their results.
struct PermissionResult {
    unsigned long port;
    int turn_on;
    int result;
};

// Every port whose raise succeeded was asked back afterwards (the drop may be
// refused: a port then stays permitted, and only then); no port was touched
// without permission and no device file stays open.
void check_permissions(const Board& board, const std::vector<PermissionResult>& results) {
    std::map<unsigned long, bool> owed;
    for (const auto& call : results) {
        if (call.turn_on == 0) {
            owed[call.port] = false;
        } else if (call.result == 0) {
            owed[call.port] = true;
        }
    }
    for (const auto& [port, still_owed] : owed) {
        if (still_owed) __builtin_trap();
    }
    if (board.permission_violations != 0 || board.open_files() != 0) __builtin_trap();
}

bool is_decimal(const char* text) {
    char* end = nullptr;
    std::strtol(text, &end, 10);
    return end != text && *end == '\0';
}

// A result text is "<label>: <value>" within its 1024 bytes; a failure leaves
// the caller's pointer alone (null for SENSOR_ERR_NOMEM only).
void check_reading(int status, char* text, char* untouched, bool touched_hardware) {
    switch (status) {
        case SENSOR_OK: {
            if (text == nullptr || text == untouched) __builtin_trap();
            const std::size_t length = strnlen(text, kTextSize);
            const std::string_view view(text, length);
            const std::size_t separator = view.rfind(": ");
            if (length == kTextSize || separator == std::string_view::npos) __builtin_trap();
            if (!is_decimal(text + separator + 2)) __builtin_trap();
            std::free(text);
            return;
        }
        case SENSOR_ERR_KEY:
        case SENSOR_ERR_PROFILE:
            // Found in the profile: no port may have been touched.
            if (touched_hardware) __builtin_trap();
            [[fallthrough]];
        case SENSOR_ERR_VALUE:
            if (text != untouched) __builtin_trap();
            return;
        default:
            __builtin_trap();  // no memory is not something the fuzzer causes
    }
}

void check_count(int status, char* text, char* untouched) {
    if (status == SENSOR_OK) {
        if (text == nullptr || text == untouched || !is_decimal(text)) __builtin_trap();
        std::free(text);
    } else if (status != SENSOR_ERR_KEY && status != SENSOR_ERR_PROFILE &&
               status != SENSOR_ERR_VALUE) {  // a count beyond an int
        __builtin_trap();
    } else if (text != untouched) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool silenced = (iniparser_set_error_callback(quiet), true);
    (void)silenced;
    const Header header = header_from(data, size);
    FILE* file = std::fopen(profile_path().c_str(), "wb");
    if (file == nullptr) return 0;
    if (size > kHeader) std::fwrite(data + kHeader, 1, size - kHeader, file);
    std::fclose(file);

    Board& board = Board::get();
    board.reset();
    SuperIoChip chip(0x295, 0x296, header.banked_chip);
    chip.attach_to(board);
    for (int bank = 0; bank < SuperIoChip::kBanks; ++bank) {
        for (int reg = 0; reg < 256; ++reg) {
            chip.set(bank, static_cast<std::uint8_t>(reg), header.registers[(reg + 8 * bank) % 64]);
        }
    }
    board.msr_read_limit = header.msr_read_limit;
    arrange_msrs(board, header);
    std::vector<PermissionResult> results;
    board.ioperm_result = [&](const quorvik::sim::PermissionCall& call) {
        const std::size_t n = results.size();
        const int result = n < 8 && (header.permission_failures >> n & 1) != 0 ? -1 : 0;
        results.push_back({call.from, call.turn_on, result});
        return result;
    };

    const char* path = profile_path().c_str();
    static char sentinel;
    for (auto reader : {SensorVolt, SensorTemp, SensorFan}) {
        const std::size_t ports_before = board.port_log.size();
        const std::size_t calls_before = board.permission_calls.size();
        char* text = &sentinel;
        const int status = reader(path, "KT-500R", header.input, &text);
        const bool touched =
            board.port_log.size() != ports_before || board.permission_calls.size() != calls_before;
        check_reading(status, text, &sentinel, touched);
        check_permissions(board, results);
    }
    for (auto query : {SensorVoltQuery, SensorTempQuery, SensorFanQuery}) {
        char* text = &sentinel;
        check_count(query(path, "KT-500R", &text), text, &sentinel);
    }
    board.reset();
    return 0;
}
