// quorvik-sim-record: writes the description of the board it runs on, read
// through libQuorvikSO's platform layer (this program is built twice, with
// the Linux platform and with the simulator's, as the libraries are; `quorvik-
// sim record` starts the one that fits). It only reads: the bank selection
// that the readers themselves do aside, which it restores.
//   quorvik-sim-record DIR
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "board.h"
#include "images.h"
#include "platform.h"
#include "quorvik_common/dio_request.h"
#include "quorvik_common/profile_file.h"
#include "quorvik_common/profile_schema.h"

using namespace quorvik::simtool;
namespace platform = quorvik::platform;
namespace schema = quorvik::schema;

namespace {

constexpr std::size_t kPage = 4096;

// What could not be recorded, said at the end.
std::vector<std::string> missing;

std::string hex(unsigned long long value, int digits = 2) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%0*llX", digits, value);
    return text;
}

// length bytes of physical memory from address, through the platform's
// /dev/mem mapping.
std::optional<std::vector<std::uint8_t>> read_memory(std::uint64_t address, std::size_t length) {
    const int fd = platform::open("/dev/mem", O_RDONLY);
    if (fd < 0) return std::nullopt;
    const std::uint64_t base = address & ~static_cast<std::uint64_t>(kPage - 1);
    const std::size_t span = static_cast<std::size_t>(address - base) + length;
    void* map = platform::map_shared_readonly(fd, span, static_cast<off_t>(base));
    std::optional<std::vector<std::uint8_t>> bytes;
    if (map != MAP_FAILED) {
        const auto* start = static_cast<const std::uint8_t*>(map) + (address - base);
        bytes.emplace(start, start + length);
        platform::unmap(map, span);
    }
    platform::close(fd);
    return bytes;
}

std::optional<MemoryImages> record_images() {
    MemoryImages images;
    auto fsegment = read_memory(kFSegmentAddress, kFSegmentSize);
    if (!fsegment) {
        missing.push_back("the F-segment (/dev/mem: " + std::string(std::strerror(errno)) + ")");
        return std::nullopt;
    }
    images.fsegment = *fsegment;
    const auto entry = find_entry_point(images.fsegment);
    if (!entry) {
        missing.push_back("the SMBIOS table (no entry point in the F-segment)");
        return std::nullopt;
    }
    std::uint32_t address = 0;
    for (int i = 3; i >= 0; --i) address = (address << 8) | images.fsegment[*entry + 24 + i];
    std::size_t length = images.fsegment[*entry + 0x16] | (images.fsegment[*entry + 0x17] << 8);
    if (length == 0) length = kFSegmentSize;  // what identification reads
    images.table_address = address;
    auto table = read_memory(address, length);
    if (!table) {
        missing.push_back("the SMBIOS table at " + hex(address, 8));
        return std::nullopt;
    }
    images.table = *table;
    return images;
}

std::string read_profile_text() {
    const int fd = platform::open_profile(QUORVIK_PROFILE_PATH);
    if (fd < 0) {
        missing.push_back(std::string("the device profile ") + QUORVIK_PROFILE_PATH + ": " +
                          std::strerror(errno));
        return "";
    }
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<std::size_t>(n));
    ::close(fd);
    return text;
}

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The section serving model: its own, else the first whose name begins it.
const Section* model_section(const std::vector<Section>& sections, const std::string& model) {
    const Section* prefix = nullptr;
    for (const Section& s : sections) {
        if (lower(s.name) == lower(model)) return &s;
        if (prefix == nullptr && !s.name.empty() && lower(model).starts_with(lower(s.name)))
            prefix = &s;
    }
    return prefix;
}

std::optional<long long> number(const Section& section, const std::string& key) {
    const Entry* e = section.find(key);
    return e != nullptr ? parse_integer(e->value) : std::nullopt;
}

struct Chip {
    int index = 0, data = 0;
    const schema::BankedChip* banked = nullptr;  // the chip's row
    std::map<int, std::set<int>> registers;      // bank -> registers
    std::set<std::uint32_t> msrs;
};

Chip chip_of(const Section& section) {
    Chip chip;
    chip.index = static_cast<int>(number(section, schema::kIndexPort).value_or(0));
    chip.data = static_cast<int>(number(section, schema::kDataPort).value_or(0));
    const Entry* sio = section.find(schema::kChip);
    chip.banked = sio != nullptr ? schema::banked_chip(sio->value) : nullptr;
    for (const schema::InputKind* kind : schema::kInputKinds) {
        const int inputs = static_cast<int>(number(section, kind->count_key).value_or(0));
        for (int n = 0; n < inputs && n < 64; ++n) {
            const auto key = [&](const char* field) { return schema::input_key(*kind, n, field); };
            const int bank =
                chip.banked ? static_cast<int>(number(section, key(schema::kBank)).value_or(0)) : 0;
            for (const char* field : {schema::kRegister, schema::kFanHigh, schema::kFanLow}) {
                const auto reg = number(section, key(field));
                if (reg && *reg >= 0 && *reg < 256 && bank >= 0 && bank < schema::most_banks())
                    chip.registers[bank].insert(static_cast<int>(*reg));
            }
            for (const char* field : {schema::kReferenceMsr, schema::kReadoutMsr}) {
                const auto reg = number(section, key(field));
                if (reg && *reg >= 0) chip.msrs.insert(static_cast<std::uint32_t>(*reg));
            }
        }
    }
    return chip;
}

std::uint8_t read_register(const Chip& chip, int reg) {
    platform::outb(static_cast<std::uint8_t>(reg), static_cast<std::uint16_t>(chip.index));
    return platform::inb(static_cast<std::uint16_t>(chip.data));
}

void write_register(const Chip& chip, int reg, std::uint8_t value) {
    platform::outb(static_cast<std::uint8_t>(reg), static_cast<std::uint16_t>(chip.index));
    platform::outb(value, static_cast<std::uint16_t>(chip.data));
}

// Bank -> register -> value, as the readers see them.
std::map<int, std::map<int, std::uint8_t>> record_registers(const Chip& chip) {
    std::map<int, std::map<int, std::uint8_t>> values;
    if (chip.index <= 0 || chip.data <= 0 || chip.registers.empty()) return values;
    const auto index = static_cast<unsigned long>(chip.index),
               data = static_cast<unsigned long>(chip.data);
    if (platform::ioperm(index, 1, 1) != 0 || platform::ioperm(data, 1, 1) != 0) {
        missing.push_back("the Super I/O registers (no I/O-port permission: " +
                          std::string(std::strerror(errno)) + ")");
        platform::ioperm(index, 1, 0);
        return values;
    }
    const int bank_register = chip.banked ? chip.banked->bank_register : 0;
    const std::uint8_t selected = chip.banked ? read_register(chip, bank_register) : 0;
    for (const auto& [bank, registers] : chip.registers) {
        // The readers' own bank selection: the kept bits left as they were.
        if (chip.banked) {
            write_register(chip, bank_register,
                           static_cast<std::uint8_t>((selected & chip.banked->kept_bits) | bank));
        }
        for (int reg : registers) values[bank][reg] = read_register(chip, reg);
    }
    if (chip.banked) {
        write_register(chip, bank_register, selected);
        values[0][bank_register] = selected;
    }
    platform::ioperm(index, 1, 0);
    platform::ioperm(data, 1, 0);
    return values;
}

std::map<std::uint32_t, std::uint64_t> record_msrs(const Chip& chip) {
    std::map<std::uint32_t, std::uint64_t> values;
    if (chip.msrs.empty()) return values;
    const int fd = platform::open("/dev/cpu/0/msr", O_RDONLY);
    if (fd < 0) {
        missing.push_back("the MSRs (/dev/cpu/0/msr: " + std::string(std::strerror(errno)) + ")");
        return values;
    }
    for (std::uint32_t reg : chip.msrs) {
        unsigned char bytes[8] = {};
        if (platform::pread(fd, bytes, sizeof bytes, static_cast<off_t>(reg)) != 8) {
            missing.push_back("MSR " + hex(reg, 3));
            continue;
        }
        std::uint64_t value = 0;
        for (int i = 7; i >= 0; --i) value = (value << 8) | bytes[i];
        values[reg] = value;
    }
    platform::close(fd);
    return values;
}

// The power inputs, asked of the digital-I/O driver (read requests only).
std::string record_power() {
    const int fd = dio_open_node(QUORVIK_DIO_PATH);
    if (fd < 0) {
        missing.push_back(std::string("the power inputs (") + QUORVIK_DIO_PATH + ": " +
                          std::strerror(errno) + ")");
        return "";
    }
    std::string text = "\n[dio]\n";
    for (int port = 0; port < 2; ++port) {
        dio_request request{port, 0};
        if (::ioctl(fd, DIO_GET_POWER, &request) == 0) {
            text += "power" + std::to_string(port) + " = " + std::to_string(request.value) + "\n";
        } else {
            missing.push_back("power input " + std::to_string(port) + " (" + std::strerror(errno) +
                              ")");
        }
    }
    ::close(fd);
    return text;
}

bool write_binary(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "Usage: quorvik-sim record DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "quorvik-sim record: cannot create %s: %s\n", dir.c_str(),
                     std::strerror(errno));
        return 1;
    }
    std::string board =
        "; Recorded by quorvik-sim record.\n\n[identity]\nsource = images\n"
        "fsegment = images/fsegment.bin\nsmbios = images/smbios.bin\n";
    const auto images = record_images();
    std::string model;
    if (images) {
        ::mkdir((dir + "/images").c_str(), 0755);
        if (!write_binary(dir + "/images/fsegment.bin", images->fsegment) ||
            !write_binary(dir + "/images/smbios.bin", dump_bin(*images))) {
            std::fprintf(stderr, "quorvik-sim record: cannot write the images into %s\n",
                         dir.c_str());
            return 1;
        }
        const DecodedIdentity identity = decode_identity(*images);
        if (!identity.failure.empty()) missing.push_back("the model name: " + identity.failure);
        model = identity.model;
    }

    Diagnostics ignored;
    const std::string profile_text = read_profile_text();
    const std::vector<Section> sections = read_ini(QUORVIK_PROFILE_PATH, profile_text, ignored);
    const Section* section = model.empty() ? nullptr : model_section(sections, model);
    if (!profile_text.empty() && section == nullptr) {
        missing.push_back("the model's profile section (the profile has none for \"" + model +
                          "\")");
    }
    if (section != nullptr) {
        board += "\n; The profile's section [" + section->name + "].\n[profile]\n";
        for (const Entry& e : section->entries) board += e.key + " = " + e.value + "\n";
        const Chip chip = chip_of(*section);
        for (const auto& [bank, registers] : record_registers(chip)) {
            board += "\n[bank" + std::to_string(bank) + "]\n";
            for (const auto& [reg, value] : registers)
                board += hex(static_cast<unsigned>(reg)) + " = " + hex(value) + "\n";
        }
        const auto msrs = record_msrs(chip);
        if (!msrs.empty()) {
            board += "\n[msr]\n";
            for (const auto& [reg, value] : msrs)
                board += hex(reg, 3) + " = " + hex(value, 16) + "\n";
        }
    }
    board += record_power();
    std::ofstream out(dir + "/board.ini", std::ios::trunc);
    out << board;
    out.close();
    if (!out) {
        std::fprintf(stderr, "quorvik-sim record: cannot write %s/board.ini\n", dir.c_str());
        return 1;
    }
    for (const std::string& what : missing)
        std::fprintf(stderr, "quorvik-sim record: not recorded: %s\n", what.c_str());
    return images && section != nullptr ? 0 : 1;
}
