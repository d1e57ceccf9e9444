// Builders of the two memory images that identification reads: a 64 KiB BIOS
// F-segment and an SMBIOS structure table.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvik::sim {

inline constexpr std::uint64_t kFSegment = 0xF0000;
inline constexpr std::size_t kSegmentSize = 65536;

class FSegmentImage {
  public:
    FSegmentImage() : bytes_(kSegmentSize, 0) {}

    // Writes text (without its NUL) at offset, cut at the image's end.
    FSegmentImage& text(std::size_t offset, std::string_view text);
    // "_SM_" entry point at offset whose address field names table_address.
    FSegmentImage& entry_point(std::size_t offset, std::uint32_t table_address);
    FSegmentImage& fill(std::uint8_t value);

    std::vector<std::uint8_t>& bytes() { return bytes_; }
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

  private:
    std::vector<std::uint8_t> bytes_;
};

class SmbiosTable {
  public:
    // One structure: formatted area of 4 header bytes plus `fields` (byte 4
    // onwards), then the string-set. An empty string list gives the two NULs
    // of a structure without strings.
    SmbiosTable& structure(std::uint8_t type, std::vector<std::uint8_t> fields,
                           std::vector<std::string> strings);

    // Common structures: string numbers point at the strings given.
    SmbiosTable& bios(std::string vendor, std::string version);          // type 0
    SmbiosTable& system(std::string manufacturer, std::string product);  // type 1
    SmbiosTable& baseboard(std::string serial);                          // type 2
    SmbiosTable& end_of_table();                                         // type 127

    SmbiosTable& raw(std::vector<std::uint8_t> bytes);

    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

  private:
    std::vector<std::uint8_t> bytes_;
    std::uint16_t next_handle_ = 0;
};

// A well-formed board: signature text (or none) in the F-segment, an entry
// point at 0xF0800 naming a table at table_address.
struct BoardImages {
    FSegmentImage fsegment;
    SmbiosTable table;
    std::uint32_t table_address = 0x000D8000;
};

// Puts both images into the simulated board's physical memory.
void install(const BoardImages& images);

// An Insyde board (identity from SMBIOS) and a signature-text board.
BoardImages insyde_board(std::string product, std::string version, std::string serial);
BoardImages signature_board(std::string_view signature_text, std::string serial);

}  // namespace quorvik::sim
