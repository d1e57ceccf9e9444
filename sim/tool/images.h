// The two memory images that identification reads (the BIOS F-segment at
// 0xF0000 and the SMBIOS structure table), generated from an identity or
// read from files: a raw 64 KiB F-segment, and a table either raw or as
// `dmidecode --dump-bin` writes it (the entry point padded to 32 bytes,
// the table from offset 0x20).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "board.h"

namespace quorvik::simtool {

inline constexpr std::uint64_t kFSegmentAddress = 0xF0000;
inline constexpr std::size_t kFSegmentSize = 65536;
inline constexpr std::uint32_t kDefaultTableAddress = 0x000D8000;

struct MemoryImages {
    std::vector<std::uint8_t> fsegment;  // 64 KiB at 0xF0000
    std::vector<std::uint8_t> table;
    std::uint32_t table_address = kDefaultTableAddress;
};

// The images of board's identity; problems go to out (at the identity's
// place in the board file).
std::optional<MemoryImages> build_images(const Board& board, Diagnostics& out);

// What identification finds in the images, decoded the way the library
// does: the model, BIOS version and serial number, or a reason.
struct DecodedIdentity {
    std::string model, bios_version, serial;
    std::string failure;  // empty on success
};
DecodedIdentity decode_identity(const MemoryImages& images);

// The SMBIOS entry point of the F-segment ("_SM_"): its offset, or nullopt.
std::optional<std::size_t> find_entry_point(const std::vector<std::uint8_t>& fsegment);

// A dmidecode --dump-bin file of the images' table.
std::vector<std::uint8_t> dump_bin(const MemoryImages& images);

}  // namespace quorvik::simtool
