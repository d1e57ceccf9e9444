// Searches of the F-segment and the SMBIOS structure table. Every read is
// checked against the image bounds; every walk advances.
#include <algorithm>
#include <cstring>

#include "QuorvikSO.h"
#include "bios_image.h"
#include "diag.h"
#include "quorvik_common/guard.h"

namespace quorvik::bios {

std::optional<std::size_t> find_anchor(Image image, std::string_view word) {
    const std::string_view text = as_text(image);
    const std::size_t found = text.find(word);
    if (found == std::string_view::npos) return std::nullopt;
    if (found < kSearchStarts) return found;
    // Past the last start offset only the text that begins at it still
    // reaches the word, and only if no NUL ends that text earlier.
    const std::string_view lead_in = text.substr(kSearchStarts - 1, found - (kSearchStarts - 1));
    if (lead_in.find('\0') != std::string_view::npos) return std::nullopt;
    return found;
}

namespace {

// First p >= from with image[p] == image[p + 1] == 0.
std::optional<std::size_t> find_double_nul(Image table, std::size_t from) {
    for (std::size_t p = from; p + 1 < table.size(); ++p) {
        if (table[p] == 0 && table[p + 1] == 0) return p;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::size_t> find_structure(Image table, unsigned char type) {
    std::size_t offset = 0;
    while (offset < table.size()) {
        if (table[offset] == type) return offset;
        if (offset + 1 >= table.size()) break;
        const auto set_end = find_double_nul(table, offset + table[offset + 1]);
        if (!set_end) break;
        offset = *set_end + 2;  // always beyond the current structure's start
    }
    diag::text("Find Board structure Fail");
    return std::nullopt;
}

std::optional<std::string_view> structure_string(Image table, std::size_t structure,
                                                 std::size_t field) {
    if (structure + field >= table.size() || structure + 1 >= table.size()) return std::nullopt;
    const std::string_view text = as_text(table);
    std::size_t position = structure + table[structure + 1];
    for (unsigned number = table[structure + field]; number > 1; --number) {
        const std::size_t nul = position < text.size() ? text.find('\0', position) : text.npos;
        if (nul == std::string_view::npos) return std::nullopt;
        position = nul + 1;
    }
    if (position >= text.size()) return std::nullopt;
    const std::size_t end = text.find('\0', position);
    if (end == std::string_view::npos) return std::nullopt;
    return text.substr(position, end - position);
}

}  // namespace quorvik::bios

namespace {

using quorvik::bios::Image;
using quorvik::bios::kImageSize;

Image image_of(const unsigned char* data) {
    return Image(data, kImageSize);
}

}  // namespace

extern "C" int F000_search_ZEKT(const unsigned char* image) noexcept {
    return quorvik::guard::run(-1, [&]() -> int {
        if (image == nullptr) return -1;
        return quorvik::bios::find_anchor(image_of(image), "ZEKT") ? 0 : -1;
    });
}

extern "C" int F000_search_SMBIOS(const unsigned char* image,
                                  const unsigned char** anchor) noexcept {
    return quorvik::guard::run(-1, [&]() -> int {
        if (image == nullptr || anchor == nullptr) return -1;
        const auto found = quorvik::bios::find_anchor(image_of(image), "_SM_");
        if (!found) return -1;
        *anchor = image + *found;
        return 0;
    });
}

extern "C" int search_type(const unsigned char* table, unsigned char type) noexcept {
    return quorvik::guard::run(-1, [&]() -> int {
        if (table == nullptr) return -1;
        const auto found = quorvik::bios::find_structure(image_of(table), type);
        return found ? static_cast<int>(*found) : -1;
    });
}

extern "C" int Copy_F000_MODEL(const unsigned char* image, char* dest) noexcept {
    return quorvik::guard::run(1, [&]() -> int {
        constexpr std::size_t kSkip = 5;      // the signature and the character after it
        constexpr std::size_t kMaxCopy = 29;  // the destination is a 30-byte model buffer
        if (image == nullptr || dest == nullptr) return 1;
        const Image view = image_of(image);
        const auto signature = quorvik::bios::find_anchor(view, "ZEKT");
        if (!signature || *signature + kSkip >= kImageSize) return 1;
        const std::string_view text = quorvik::bios::as_text(view);
        const std::size_t begin = *signature + kSkip;
        const std::size_t blank = text.find(' ', begin);
        if (blank == std::string_view::npos) return 1;
        const std::size_t length = std::min(blank - begin, kMaxCopy);
        std::memcpy(dest, text.data() + begin, length);
        return 0;
    });
}
