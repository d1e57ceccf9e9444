// Platform identification: model name, BIOS version and serial number from
// the BIOS F-segment and the SMBIOS structure table, cached once per process.
#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <span>
#include <string_view>

#include "QuorvikSO.h"
#include "bios_image.h"
#include "diag.h"
#include "identity_cache.h"
#include "locks.h"
#include "quorvik_common/guard.h"
#include "quorvik_common/profile_schema.h"
#include "smi_port.h"

extern "C" {
char Model_str[30] = {};
static_assert(sizeof Model_str == quorvik::schema::kModelSize,
              "the profile schema knows the model size");
char BIOS_Ver_str[10] = {};
char SerialNumber_str[30] = {};
char PlatformInfo_Flag = 0;
}

namespace {

using quorvik::bios::Image;
using quorvik::bios::kImageSize;
using ImageBuffer = std::array<unsigned char, kImageSize>;

constexpr std::uint64_t kFSegmentAddress = 0xF0000;
constexpr std::size_t kTableAddressField = 24;
constexpr std::size_t kTableAddressSize = 4;

constexpr char kNotZekt[] = "Not ZEKT product\r";
constexpr char kNoSmbios[] = "Get SMBIOS Fail\r\n\r";
constexpr char kSearchFail[] = "search SMBIOS fail \r";
constexpr char kNoModelName[] = "No model name \r";

// Cuts text to the cache object and terminates it.
template <std::size_t N>
void store(char (&cache)[N], std::string_view text) {
    const std::size_t length = std::min(text.size(), N - 1);
    std::memcpy(cache, text.data(), length);
    cache[length] = '\0';
}

bool is_blank(char c) {
    return std::string_view(" \t\n\v\f\r").find(c) != std::string_view::npos;
}

void trim_model() {
    for (std::size_t end = std::strlen(Model_str); end > 0 && is_blank(Model_str[end - 1]); --end) {
        Model_str[end - 1] = '\0';
    }
}

void clear_cache() {
    std::memset(Model_str, 0, sizeof Model_str);
    std::memset(BIOS_Ver_str, 0, sizeof BIOS_Ver_str);
    std::memset(SerialNumber_str, 0, sizeof SerialNumber_str);
}

int fail(const char* message) {
    quorvik::diag::line(message);
    return 1;
}

bool read_image(std::uint64_t address, ImageBuffer& image) {
    return MemBlockRead(address, image.data(), image.size()) == 0;
}

std::uint32_t read_le32(Image image, std::size_t offset) {
    std::uint32_t value = 0;
    for (std::size_t i = kTableAddressSize; i-- > 0;) value = (value << 8) | image[offset + i];
    return value;
}

// Physical address of the structure table named by the "_SM_" entry point.
std::optional<std::uint32_t> structure_table_address(Image fsegment) {
    const unsigned char* anchor = nullptr;
    if (F000_search_SMBIOS(fsegment.data(), &anchor) != 0) return std::nullopt;
    const auto offset = static_cast<std::size_t>(anchor - fsegment.data()) + kTableAddressField;
    if (offset + kTableAddressSize > fsegment.size()) return std::nullopt;
    return read_le32(fsegment, offset);
}

// A string field of the first structure of a type, or nullopt (message printed
// by the walk when the structure is missing).
std::optional<std::string_view> smbios_field(Image table, unsigned char type, std::size_t field) {
    const auto structure = quorvik::bios::find_structure(table, type);
    if (!structure) return std::nullopt;
    return quorvik::bios::structure_string(table, *structure, field);
}

bool is_insyde(std::string_view vendor) {
    return vendor.starts_with("INSYDE") || vendor.starts_with("Insyde");
}

bool fill_from_smbios(Image table) {
    const auto product = smbios_field(table, 1, 5);
    if (!product) return false;
    store(Model_str, *product);
    const auto version = smbios_field(table, 0, 5);
    if (!version) return false;
    store(BIOS_Ver_str, *version);
    return true;
}

// The signature text: "ZEKT"/"Zekt", a blank, the model, a separator, two
// characters, a dot and at least five more characters.
std::optional<std::string_view> signature_text(Image fsegment) {
    const std::string_view image = quorvik::bios::as_text(fsegment);
    for (std::size_t offset = 0; offset < quorvik::bios::kSearchStarts; ++offset) {
        const std::string_view word = image.substr(offset, 4);
        if (word != "ZEKT" && word != "Zekt") continue;
        const std::string_view text = image.substr(offset);
        return text.substr(0, text.find('\0'));
    }
    return std::nullopt;
}

bool fill_from_signature(std::string_view text) {
    const std::size_t dot = text.find('.');
    if (dot == std::string_view::npos) return false;
    // The version: two characters before the dot to five after it.
    store(BIOS_Ver_str, text.substr(0, dot + 6).substr(dot - 2));
    const std::string_view head = text.substr(0, dot - 3);
    const std::size_t blank = head.find(' ');
    if (blank == std::string_view::npos) return false;
    std::string_view model = head.substr(blank + 1);
    // A "C" build carries a single-word model name.
    if (BIOS_Ver_str[5] == 'C') model = model.substr(0, model.find(' '));
    store(Model_str, model);
    return true;
}

// Steps within the SMI port bracket; the permission is dropped, if it was
// raised for this attempt, after the failure message.
int identify(ImageBuffer& fsegment, ImageBuffer& table, quorvik::smi::PortBracket& smi_port) {
    if (!read_image(kFSegmentAddress, fsegment) || F000_search_ZEKT(fsegment.data()) != 0) {
        return fail(kNotZekt);
    }
    clear_cache();
    const auto table_address = structure_table_address(fsegment);
    if (!table_address) return fail(kNoSmbios);
    if (!read_image(*table_address, table)) return fail(kSearchFail);

    const auto vendor = smbios_field(table, 0, 4);
    if (!vendor) return fail(kSearchFail);
    if (is_insyde(*vendor)) {
        if (!fill_from_smbios(table)) return fail(kSearchFail);
    } else {
        if (!read_image(kFSegmentAddress, fsegment)) return fail(kNoModelName);
        const auto text = signature_text(fsegment);
        if (!text || !fill_from_signature(*text)) return fail(kNoModelName);
    }
    trim_model();

    const auto serial_structure = quorvik::bios::find_structure(table, 2);
    if (!serial_structure) {
        // Model and version stand; the next query tries again for the serial.
        quorvik::diag::line(kSearchFail);
        smi_port.release();
        return 0;
    }
    const auto serial = quorvik::bios::structure_string(table, *serial_structure, 7);
    if (!serial) return fail(kSearchFail);
    store(SerialNumber_str, *serial);

    if (smi_port.release() != 0) return 1;
    std::atomic_ref<char>(PlatformInfo_Flag).store(1, std::memory_order_release);
    return 0;
}

// Identification runs once at a time; after it succeeded the cache never
// changes again, so readers then need no lock.
std::mutex& identity_mutex = quorvik::locks::identity();

bool identified() {
    return std::atomic_ref<char>(PlatformInfo_Flag).load(std::memory_order_acquire) == 1;
}

int attempt() {
    quorvik::smi::PortBracket smi_port;
    if (smi_port.result() != 0) return 1;
    // The two work images live only for this attempt; 128 KiB stays off the
    // caller's stack.
    auto fsegment = std::unique_ptr<ImageBuffer>(new (std::nothrow) ImageBuffer);
    auto table = std::unique_ptr<ImageBuffer>(new (std::nothrow) ImageBuffer);
    if (!fsegment || !table) return 1;
    return identify(*fsegment, *table, smi_port);
}

// A failed attempt leaves no part of an identity behind, whatever step it
// failed at (or threw at): queries that fail never sit beside a model or
// version that looks valid.
int attempt_locked() {
    if (identified()) return 0;
    int result = 1;
    try {
        result = attempt();
    } catch (...) {
        clear_cache();
        throw;
    }
    if (result != 0) clear_cache();
    return result;
}

template <std::size_t N>
int copy_identity(char* buf, const char (&cache)[N]) {
    if (buf == nullptr) return 0;
    // Until identification is final, copy under the lock so that a new
    // attempt cannot clear the cache halfway through the copy.
    std::unique_lock lock(identity_mutex, std::defer_lock);
    if (!identified()) {
        lock.lock();
        if (attempt_locked() != 0) return 0;
    }
    std::memcpy(buf, cache, std::strlen(cache) + 1);
    return 1;
}

}  // namespace

void quorvik::identity::copy_model(char (&model)[sizeof Model_str]) {
    std::unique_lock lock(identity_mutex, std::defer_lock);
    if (!identified()) lock.lock();
    std::memcpy(model, Model_str, sizeof Model_str);
}

extern "C" int PlatformInfo(void) noexcept {
    return quorvik::guard::run(1, [&]() -> int {
        if (identified()) return 0;
        std::lock_guard lock(identity_mutex);
        return attempt_locked();
    });
}

extern "C" int GetDeviceName(char* buf) noexcept {
    return quorvik::guard::run(0, [&]() -> int { return copy_identity(buf, Model_str); });
}

extern "C" int GetBiosVersion(char* buf) noexcept {
    return quorvik::guard::run(0, [&]() -> int { return copy_identity(buf, BIOS_Ver_str); });
}

extern "C" int GetSerialNumber(char* buf) noexcept {
    return quorvik::guard::run(0, [&]() -> int { return copy_identity(buf, SerialNumber_str); });
}
