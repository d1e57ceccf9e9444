#include "images.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace quorvik::simtool {
namespace {

constexpr std::size_t kEntryPointOffset = 0x800;  // 16-byte aligned, as the standard asks
constexpr std::size_t kTableAddressField = 24;
constexpr std::size_t kDumpTableOffset = 0x20;
constexpr std::size_t kTableWindow = 65536;  // what the library reads of the table

void put_text(std::vector<std::uint8_t>& image, std::size_t offset, const std::string& text) {
    for (std::size_t i = 0; i < text.size() && offset + i < image.size(); ++i) {
        image[offset + i] = static_cast<std::uint8_t>(text[i]);
    }
}

void put_le(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint64_t value, int size) {
    for (int i = 0; i < size && offset + i < bytes.size(); ++i) {
        bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

std::uint64_t get_le(const std::vector<std::uint8_t>& bytes, std::size_t offset, int size) {
    std::uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = (value << 8) | (offset + i < bytes.size() ? bytes[offset + i] : 0);
    }
    return value;
}

void checksum(std::vector<std::uint8_t>& bytes, std::size_t from, std::size_t length,
              std::size_t field) {
    bytes[field] = 0;
    unsigned sum = 0;
    for (std::size_t i = from; i < from + length && i < bytes.size(); ++i) sum += bytes[i];
    bytes[field] = static_cast<std::uint8_t>(-sum);
}

// A 2.8 entry point ("_SM_" ... "_DMI_") naming the table.
void write_entry_point(std::vector<std::uint8_t>& image, std::size_t at, std::uint32_t address,
                       std::size_t table_length, int structures) {
    std::fill(image.begin() + at, image.begin() + at + 0x1F, 0);
    put_text(image, at, "_SM_");
    image[at + 5] = 0x1F;  // entry point length
    image[at + 6] = 2;     // SMBIOS 2.8
    image[at + 7] = 8;
    put_text(image, at + 0x10, "_DMI_");
    put_le(image, at + 0x16, table_length, 2);
    put_le(image, at + kTableAddressField, address, 4);
    put_le(image, at + 0x1C, static_cast<std::uint64_t>(structures), 2);
    image[at + 0x1E] = 0x28;
    checksum(image, at + 0x10, 0x0F, at + 0x15);
    checksum(image, at, 0x1F, at + 4);
}

class TableBuilder {
  public:
    void structure(std::uint8_t type, std::vector<std::uint8_t> fields,
                   const std::vector<std::string>& strings) {
        bytes.push_back(type);
        bytes.push_back(static_cast<std::uint8_t>(4 + fields.size()));
        bytes.push_back(static_cast<std::uint8_t>(handle));
        bytes.push_back(static_cast<std::uint8_t>(handle >> 8));
        ++handle;
        ++count;
        bytes.insert(bytes.end(), fields.begin(), fields.end());
        for (const auto& s : strings) {
            bytes.insert(bytes.end(), s.begin(), s.end());
            bytes.push_back(0);
        }
        if (strings.empty()) bytes.push_back(0);
        bytes.push_back(0);
    }
    std::vector<std::uint8_t> bytes;
    int handle = 0;
    int count = 0;
};

std::optional<std::vector<std::uint8_t>> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string resolve(const Board& board, const std::string& file) {
    return !file.empty() && file[0] == '/' ? file : board.dir + "/" + file;
}

// The string `number` of the structure at `at` (1-based), or nullopt.
std::optional<std::string> structure_string(const std::vector<std::uint8_t>& table, std::size_t at,
                                            std::size_t field) {
    if (at + 1 >= table.size()) return std::nullopt;
    const std::size_t length = table[at + 1];
    if (at + field >= table.size() || field >= length) return std::nullopt;
    const unsigned number = table[at + field];
    if (number == 0) return std::string();
    std::size_t p = at + length;
    for (unsigned n = 1; p < table.size(); ++n) {
        const std::size_t end = std::find(table.begin() + p, table.end(), 0) - table.begin();
        if (end >= table.size()) return std::nullopt;
        if (end == p) return std::nullopt;  // end of the string-set
        if (n == number) return std::string(table.begin() + p, table.begin() + end);
        p = end + 1;
    }
    return std::nullopt;
}

std::optional<std::size_t> find_structure(const std::vector<std::uint8_t>& table, int type) {
    std::size_t at = 0;
    while (at + 4 <= table.size()) {
        if (table[at] == type) return at;
        if (table[at] == 127) return std::nullopt;
        const std::size_t length = table[at + 1];
        if (length < 4) return std::nullopt;
        std::size_t p = at + length;
        while (p + 1 < table.size() && !(table[p] == 0 && table[p + 1] == 0)) ++p;
        if (p + 1 >= table.size()) return std::nullopt;
        at = p + 2;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::size_t> find_entry_point(const std::vector<std::uint8_t>& fsegment) {
    for (std::size_t at = 0; at + 0x1F <= fsegment.size(); at += 16) {
        if (std::memcmp(&fsegment[at], "_SM_", 4) == 0) return at;
    }
    // The library searches byte by byte.
    for (std::size_t at = 0; at + 28 <= fsegment.size(); ++at) {
        if (std::memcmp(&fsegment[at], "_SM_", 4) == 0) return at;
    }
    return std::nullopt;
}

std::optional<MemoryImages> build_images(const Board& board, Diagnostics& out) {
    const Identity& id = board.identity;
    MemoryImages images;
    images.fsegment.assign(kFSegmentSize, 0);
    if (id.source != Identity::Source::Images) {
        TableBuilder table;
        const bool smbios = id.source == Identity::Source::Smbios;
        const std::string vendor = !id.vendor.empty() ? id.vendor
                                   : smbios           ? "Insyde Corp."
                                                      : "American Megatrends Inc.";
        const std::string manufacturer = !id.manufacturer.empty() ? id.manufacturer : "Quorvik";
        // Type 0: vendor 1, version 2, start segment, release date 3, ROM size.
        table.structure(0, {1, 2, 0x00, 0xE0, 3, 0x0F, 0, 0, 0, 0, 0, 0, 0, 0},
                        {vendor, id.bios_version, "01/02/2026"});
        // Type 1: manufacturer 1, product 2, version 3, serial 4.
        table.structure(1, {1, 2, 3, 4}, {manufacturer, id.model, "1.0", id.serial});
        // Type 2: manufacturer 1, product 2, version 3, serial 4.
        table.structure(2, {1, 2, 3, 4, 0}, {manufacturer, id.model, "1.0", id.serial});
        table.structure(127, {}, {});
        images.table = table.bytes;
        // The maker's word, which every board of the family carries; the
        // signature text names model and version on the other path.
        // (the signature search takes the first one).
        if (smbios) {
            put_text(images.fsegment, 0x100, "ZEKT");
        } else {
            put_text(images.fsegment, 0x2000, "ZEKT " + id.model + " " + id.bios_version);
        }
        write_entry_point(images.fsegment, kEntryPointOffset, images.table_address,
                          images.table.size(), table.count);
        return images;
    }

    const auto fsegment = read_file(resolve(board, id.fsegment_file));
    if (!fsegment) {
        out.error(id.where, "cannot read the F-segment image " + id.fsegment_file);
        return std::nullopt;
    }
    if (fsegment->size() != kFSegmentSize) {
        out.error(id.where, "the F-segment image " + id.fsegment_file + " has " +
                                std::to_string(fsegment->size()) + " bytes, not 65536");
        return std::nullopt;
    }
    images.fsegment = *fsegment;
    const auto entry = find_entry_point(images.fsegment);
    if (!entry) {
        out.error(id.where, "the F-segment image " + id.fsegment_file +
                                " holds no SMBIOS entry point (\"_SM_\")");
        return std::nullopt;
    }
    images.table_address =
        static_cast<std::uint32_t>(get_le(images.fsegment, *entry + kTableAddressField, 4));
    const auto table = read_file(resolve(board, id.smbios_file));
    if (!table) {
        out.error(id.where, "cannot read the SMBIOS image " + id.smbios_file);
        return std::nullopt;
    }
    if (table->size() >= kDumpTableOffset && std::memcmp(table->data(), "_SM_", 4) == 0) {
        // dmidecode --dump-bin: 2.x entry point, table length at 0x16.
        const std::size_t length = get_le(*table, 0x16, 2);
        const std::size_t end = std::min(table->size(), kDumpTableOffset + length);
        images.table.assign(table->begin() + kDumpTableOffset, table->begin() + end);
    } else if (table->size() >= kDumpTableOffset && std::memcmp(table->data(), "_SM3_", 5) == 0) {
        const std::size_t length = get_le(*table, 0x0C, 4);
        const std::size_t end = std::min(table->size(), kDumpTableOffset + length);
        images.table.assign(table->begin() + kDumpTableOffset, table->begin() + end);
    } else {
        images.table = *table;
    }
    if (images.table.size() > kTableWindow) images.table.resize(kTableWindow);
    if (static_cast<std::uint64_t>(images.table_address) + kTableWindow > (1ULL << 32)) {
        out.error(id.where, "the F-segment's entry point names a table above 4 GiB");
        return std::nullopt;
    }
    return images;
}

DecodedIdentity decode_identity(const MemoryImages& images) {
    DecodedIdentity id;
    const std::string fseg(images.fsegment.begin(), images.fsegment.end());
    if (fseg.find("ZEKT") == std::string::npos) {
        id.failure = "the F-segment does not hold the maker's word ZEKT";
        return id;
    }
    if (!find_entry_point(images.fsegment)) {
        id.failure = "the F-segment holds no SMBIOS entry point";
        return id;
    }
    const auto bios = find_structure(images.table, 0);
    const auto vendor = bios ? structure_string(images.table, *bios, 4) : std::nullopt;
    if (!vendor) {
        id.failure = "the SMBIOS table has no BIOS structure (type 0) with a vendor";
        return id;
    }
    if (vendor->starts_with("INSYDE") || vendor->starts_with("Insyde")) {
        const auto system = find_structure(images.table, 1);
        const auto product = system ? structure_string(images.table, *system, 5) : std::nullopt;
        const auto version = structure_string(images.table, *bios, 5);
        if (!product || !version) {
            id.failure = "the SMBIOS table lacks the product name or the BIOS version";
            return id;
        }
        id.model = product->substr(0, 29);
        id.bios_version = version->substr(0, 9);
    } else {
        std::size_t at = std::string::npos;
        for (std::size_t i = 0; i + 4 <= fseg.size() && i < 65500; ++i) {
            if (fseg.compare(i, 4, "ZEKT") == 0 || fseg.compare(i, 4, "Zekt") == 0) {
                at = i;
                break;
            }
        }
        std::string text = at == std::string::npos ? "" : fseg.substr(at);
        text = text.substr(0, text.find('\0'));
        const std::size_t dot = text.find('.');
        if (dot == std::string::npos || dot < 3) {
            id.failure = "the signature text (\"ZEKT MODEL XX.YYYYY\") has no version with a dot";
            return id;
        }
        id.bios_version = text.substr(0, dot + 6).substr(dot - 2).substr(0, 9);
        const std::string head = text.substr(0, dot - 3);
        const std::size_t blank = head.find(' ');
        if (blank == std::string::npos) {
            id.failure = "the signature text has no blank before the model";
            return id;
        }
        std::string model = head.substr(blank + 1);
        if (id.bios_version.size() > 5 && id.bios_version[5] == 'C')
            model = model.substr(0, model.find(' '));
        id.model = model.substr(0, 29);
    }
    while (!id.model.empty() &&
           std::string(" \t\n\v\f\r").find(id.model.back()) != std::string::npos) {
        id.model.pop_back();
    }
    const auto board = find_structure(images.table, 2);
    const auto serial = board ? structure_string(images.table, *board, 7) : std::nullopt;
    if (serial) id.serial = serial->substr(0, 29);
    return id;
}

std::vector<std::uint8_t> dump_bin(const MemoryImages& images) {
    std::vector<std::uint8_t> dump(kDumpTableOffset, 0);
    int structures = 0;
    for (std::size_t at = 0; at + 4 <= images.table.size();) {
        ++structures;
        if (images.table[at] == 127) break;
        std::size_t p = at + images.table[at + 1];
        while (p + 1 < images.table.size() && !(images.table[p] == 0 && images.table[p + 1] == 0))
            ++p;
        at = p + 2;
    }
    std::size_t length = images.table.size();
    // Up to the end-of-table structure.
    if (const auto end = find_structure(images.table, 127)) {
        std::size_t p = *end + images.table[*end + 1];
        while (p + 1 < images.table.size() && !(images.table[p] == 0 && images.table[p + 1] == 0))
            ++p;
        length = std::min(images.table.size(), p + 2);
    }
    write_entry_point(dump, 0, kDumpTableOffset, length, structures);
    dump.insert(dump.end(), images.table.begin(), images.table.begin() + length);
    return dump;
}

}  // namespace quorvik::simtool
