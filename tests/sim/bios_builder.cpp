#include "bios_builder.h"

#include <algorithm>

#include "sim_board.h"

namespace quorvik::sim {

FSegmentImage& FSegmentImage::text(std::size_t offset, std::string_view text) {
    for (std::size_t i = 0; i < text.size() && offset + i < bytes_.size(); ++i) {
        bytes_[offset + i] = static_cast<std::uint8_t>(text[i]);
    }
    return *this;
}

FSegmentImage& FSegmentImage::entry_point(std::size_t offset, std::uint32_t table_address) {
    text(offset, "_SM_");
    for (std::size_t i = 0; i < 4 && offset + 24 + i < bytes_.size(); ++i) {
        bytes_[offset + 24 + i] = static_cast<std::uint8_t>(table_address >> (8 * i));
    }
    return *this;
}

FSegmentImage& FSegmentImage::fill(std::uint8_t value) {
    std::fill(bytes_.begin(), bytes_.end(), value);
    return *this;
}

SmbiosTable& SmbiosTable::structure(std::uint8_t type, std::vector<std::uint8_t> fields,
                                    std::vector<std::string> strings) {
    bytes_.push_back(type);
    bytes_.push_back(static_cast<std::uint8_t>(4 + fields.size()));
    bytes_.push_back(static_cast<std::uint8_t>(next_handle_));
    bytes_.push_back(static_cast<std::uint8_t>(next_handle_ >> 8));
    ++next_handle_;
    bytes_.insert(bytes_.end(), fields.begin(), fields.end());
    for (const auto& s : strings) {
        bytes_.insert(bytes_.end(), s.begin(), s.end());
        bytes_.push_back(0);
    }
    if (strings.empty()) bytes_.push_back(0);
    bytes_.push_back(0);
    return *this;
}

SmbiosTable& SmbiosTable::bios(std::string vendor, std::string version) {
    // Vendor 1, version 2, start segment, release date 3, ROM size...
    return structure(0, {1, 2, 0x00, 0xE0, 3, 0x0F, 0, 0, 0, 0, 0, 0, 0, 0},
                     {std::move(vendor), std::move(version), "01/02/2026"});
}

SmbiosTable& SmbiosTable::system(std::string manufacturer, std::string product) {
    return structure(1, {1, 2, 0, 0}, {std::move(manufacturer), std::move(product)});
}

SmbiosTable& SmbiosTable::baseboard(std::string serial) {
    // Manufacturer 1, product 2, version 3, serial number 4.
    return structure(2, {1, 2, 3, 4, 0}, {"Quorvik", "MB-1", "1.0", std::move(serial)});
}

SmbiosTable& SmbiosTable::end_of_table() {
    return structure(127, {}, {});
}

SmbiosTable& SmbiosTable::raw(std::vector<std::uint8_t> bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

void install(const BoardImages& images) {
    Board& board = Board::get();
    board.set_memory(kFSegment, images.fsegment.bytes());
    board.set_memory(images.table_address, images.table.bytes());
}

namespace {

BoardImages with_entry_point() {
    BoardImages images;
    images.fsegment.entry_point(0x800, images.table_address);
    return images;
}

}  // namespace

BoardImages insyde_board(std::string product, std::string version, std::string serial) {
    BoardImages images = with_entry_point();
    images.fsegment.text(0x100, "ZEKT");
    images.table.bios("Insyde Corp.", std::move(version))
        .system("Quorvik", std::move(product))
        .baseboard(std::move(serial))
        .end_of_table();
    return images;
}

BoardImages signature_board(std::string_view signature_text, std::string serial) {
    BoardImages images = with_entry_point();
    images.fsegment.text(0x2000, signature_text);
    images.table.bios("American Megatrends Inc.", "5.12")
        .system("Quorvik", "ignored")
        .baseboard(std::move(serial))
        .end_of_table();
    return images;
}

}  // namespace quorvik::sim
