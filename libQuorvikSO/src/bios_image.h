// Bounded views of the two 64 KiB work images of identification: the BIOS
// F-segment and the SMBIOS structure table.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

namespace quorvik::bios {

inline constexpr std::size_t kImageSize = 65536;
// Start offsets tried by the F-segment searches (0 to 65,499).
inline constexpr std::size_t kSearchStarts = 65500;

using Image = std::span<const unsigned char, kImageSize>;

inline std::string_view as_text(Image image) {
    return {reinterpret_cast<const char*>(image.data()), image.size()};
}

// First place of word that a text search from one of the start offsets finds
// (each text ending at the next NUL or the image's end). One pass.
std::optional<std::size_t> find_anchor(Image image, std::string_view word);

// Offset of the first structure of the given type, walking structure by
// structure. Prints "Find Board structure Fail" (no line end) when the walk
// reaches the image's end.
std::optional<std::size_t> find_structure(Image table, unsigned char type);

// The string that byte `field` of the structure at `structure` names; nullopt
// when the string-set or the string runs past the image.
std::optional<std::string_view> structure_string(Image table, std::size_t structure,
                                                 std::size_t field);

}  // namespace quorvik::bios
