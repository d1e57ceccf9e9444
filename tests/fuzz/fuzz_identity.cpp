// Platform identification over arbitrary F-segment and structure-table
// images: the first 64 KiB of input are the F-segment, the rest the table.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "QuorvikSO.h"
#include "sim_board.h"

namespace {

constexpr std::size_t kImage = 65536;
constexpr std::uint32_t kTableAddress = 0xD0000;

std::vector<std::uint8_t> image_from(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> image(kImage, 0);
    std::copy_n(data, std::min(size, kImage), image.begin());
    return image;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto& board = quorvik::sim::Board::get();
    board.reset();
    std::memset(Model_str, 0, sizeof Model_str);
    std::memset(BIOS_Ver_str, 0, sizeof BIOS_Ver_str);
    std::memset(SerialNumber_str, 0, sizeof SerialNumber_str);
    PlatformInfo_Flag = 0;

    std::vector<std::uint8_t> fsegment = image_from(data, size);
    const std::size_t rest = size > kImage ? size - kImage : 0;
    const std::vector<std::uint8_t> table = image_from(data + size - rest, rest);
    // Point every entry point's address field at the table, so the fuzzer
    // needs to find "_SM_" only.
    const unsigned char* anchor = nullptr;
    if (F000_search_SMBIOS(fsegment.data(), &anchor) == 0) {
        const std::size_t at = static_cast<std::size_t>(anchor - fsegment.data()) + 24;
        for (std::size_t i = 0; i < 4 && at + i < kImage; ++i) {
            fsegment[at + i] = static_cast<std::uint8_t>(kTableAddress >> (8 * i));
        }
    }
    board.set_memory(0xF0000, fsegment);
    board.set_memory(kTableAddress, table);

    char buf[30];
    GetDeviceName(buf);
    GetSerialNumber(buf);
    std::memset(buf, 0, sizeof buf);
    Copy_F000_MODEL(fsegment.data(), buf);
    if (board.open_files() != 0 || board.live_mappings() != 0) __builtin_trap();
    if (Model_str[29] != 0 || BIOS_Ver_str[9] != 0 || SerialNumber_str[29] != 0) __builtin_trap();
    return 0;
}
