// The F-segment searches, the structure walk, Copy_F000_MODEL and
// MemBlockRead's page arithmetic.
#include <chrono>
#include <cstring>
#include <optional>
#include <random>
#include <string_view>
#include <vector>

#include "identity_fixture.h"

namespace quorvik::sim {
namespace {

constexpr std::size_t kStarts = 65500;

// The search as stated: every start offset, each text ending at the next NUL
// or the image's end. Quadratic on images without NULs; tests keep NULs in.
std::optional<std::size_t> reference_search(const std::vector<std::uint8_t>& image,
                                            std::string_view word) {
    const std::string_view all(reinterpret_cast<const char*>(image.data()), image.size());
    for (std::size_t start = 0; start < kStarts; ++start) {
        std::string_view text = all.substr(start);
        text = text.substr(0, text.find('\0'));
        const std::size_t found = text.find(word);
        if (found != std::string_view::npos) return start + found;
    }
    return std::nullopt;
}

std::optional<std::size_t> library_search(const std::vector<std::uint8_t>& image) {
    const unsigned char* anchor = nullptr;
    if (F000_search_SMBIOS(image.data(), &anchor) != 0) return std::nullopt;
    return static_cast<std::size_t>(anchor - image.data());
}

TEST(FSegmentSearch, MatchesTheStartOffsetRuleNearTheImageEnd) {
    std::mt19937 random(7);
    for (int round = 0; round < 150; ++round) {
        std::vector<std::uint8_t> image(65536);
        for (auto& byte : image) byte = static_cast<std::uint8_t>('A' + random() % 4);
        for (int i = 0; i < 3000; ++i) image[random() % image.size()] = 0;
        // The interesting region: words and NULs around the last start offset.
        const std::size_t at = 65470 + random() % 63;
        std::memcpy(&image[at], "_SM_", std::min<std::size_t>(4, 65536 - at));
        if (random() % 2) image[65490 + random() % 40] = 0;
        if (random() % 3 == 0) std::memcpy(&image[random() % 65000], "_SM_", 4);
        SCOPED_TRACE(testing::Message() << "round " << round << " word at " << at);
        EXPECT_EQ(library_search(image), reference_search(image, "_SM_"));
        EXPECT_EQ(F000_search_ZEKT(image.data()) == 0, reference_search(image, "ZEKT").has_value());
    }
}

TEST(FSegmentSearch, ImageWithoutNulsIsSearchedInOnePass) {
    std::vector<std::uint8_t> image(65536, 'Z');
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(F000_search_ZEKT(image.data()), -1);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    std::memcpy(&image[65532], "ZEKT", 4);  // reachable from the last start
    EXPECT_EQ(F000_search_ZEKT(image.data()), 0);
    image[65510] = 0;  // now no start reaches it
    EXPECT_EQ(F000_search_ZEKT(image.data()), -1);
}

TEST(FSegmentSearch, AnchorIsTheFirstOccurrenceAndUntouchedOnFailure) {
    std::vector<std::uint8_t> image(65536, 0);
    const unsigned char sentinel = 0;
    const unsigned char* anchor = &sentinel;
    EXPECT_EQ(F000_search_SMBIOS(image.data(), &anchor), -1);
    EXPECT_EQ(anchor, &sentinel);
    std::memcpy(&image[0x900], "_SM_", 4);
    std::memcpy(&image[0x400], "_SM_", 4);
    EXPECT_EQ(F000_search_SMBIOS(image.data(), &anchor), 0);
    EXPECT_EQ(anchor, image.data() + 0x400);
}

TEST(StructureWalk, FindsTypesAtStructureBoundariesOnly) {
    SmbiosTable table;
    table.bios("V", "1").structure(7, {2, 2, 2}, {}).system("M", "P").baseboard("S");
    std::vector<std::uint8_t> image = table.bytes();
    image.resize(65536, 0);
    EXPECT_EQ(search_type(image.data(), 0), 0);
    const int cache = search_type(image.data(), 7);
    ASSERT_GT(cache, 0);
    EXPECT_EQ(image[static_cast<std::size_t>(cache)], 7);
    // The 2s inside the cache structure are not a boundary.
    const int board = search_type(image.data(), 2);
    EXPECT_GT(board, search_type(image.data(), 1));
}

TEST(StructureWalk, RunningOffTheImageFailsWithItsMessage) {
    std::vector<std::uint8_t> image(65536, 0x41);
    image[1] = 0xFF;  // a formatted area reaching far
    int result = 0;
    EXPECT_EQ(printed_by([&] { result = search_type(image.data(), 9); }),
              "Find Board structure Fail");
    EXPECT_EQ(result, -1);
    // Zero-length structures still advance: zeros everywhere walk in steps of two.
    std::vector<std::uint8_t> zeros(65536, 0);
    printed_by([&] { result = search_type(zeros.data(), 5); });
    EXPECT_EQ(result, -1);
}

TEST(CopyModel, CopiesTheWordAfterTheSignatureWithoutTerminator) {
    FSegmentImage image;
    image.text(0x100, "ZEKT KT-500R V1.00S00");
    char dest[30];
    std::memset(dest, 0, sizeof dest);
    EXPECT_EQ(Copy_F000_MODEL(image.bytes().data(), dest), 0);
    EXPECT_STREQ(dest, "KT-500R");

    std::memset(dest, 0, sizeof dest);
    image.text(0x105, std::string(40, 'W') + " ");
    EXPECT_EQ(Copy_F000_MODEL(image.bytes().data(), dest), 0);
    EXPECT_EQ(std::string(dest, 29), std::string(29, 'W'));
}

TEST(CopyModel, RefusesImagesWithoutSignatureOrBlank) {
    char dest[30] = {};
    FSegmentImage none;
    EXPECT_NE(Copy_F000_MODEL(none.bytes().data(), dest), 0);
    FSegmentImage no_blank;
    no_blank.fill('x').text(0x10, "ZEKT");
    EXPECT_NE(Copy_F000_MODEL(no_blank.bytes().data(), dest), 0);
    EXPECT_STREQ(dest, "");
}

class MemBlockReadTest : public IdentityTest {};

TEST_F(MemBlockReadTest, MapsWholePagesAndCopiesFromTheInPageOffset) {
    std::vector<std::uint8_t> memory(0x2000);
    for (std::size_t i = 0; i < memory.size(); ++i) memory[i] = static_cast<std::uint8_t>(i * 7);
    board().set_memory(0xF1000, memory);
    unsigned char buf[16] = {};
    EXPECT_EQ(MemBlockRead(0xF1234, buf, sizeof buf), 0);
    ASSERT_EQ(board().map_requests.size(), 1u);
    EXPECT_EQ(board().map_requests[0], (MapRequest{0xF1000, 0x244}));
    EXPECT_EQ(std::memcmp(buf, &memory[0x234], sizeof buf), 0);
}

TEST_F(MemBlockReadTest, AddressBitsAbove31AreDropped) {
    unsigned char buf[4];
    EXPECT_EQ(MemBlockRead(0x1'000F'0010ULL, buf, sizeof buf), 0);
    EXPECT_EQ(board().map_requests.at(0), (MapRequest{0xF0000, 0x14}));
}

TEST_F(MemBlockReadTest, FailuresReleaseEverything) {
    unsigned char buf[4];
    board().fail_open_mem = true;
    EXPECT_EQ(printed_by([&] { EXPECT_EQ(MemBlockRead(0xF0000, buf, 4), 1); }), "");
    board().fail_open_mem = false;
    board().fail_map = true;
    EXPECT_EQ(printed_by([&] { EXPECT_EQ(MemBlockRead(0xF0000, buf, 4), 1); }), "NULL Pointer!\n");
    EXPECT_EQ(MemBlockRead(0xF0000, nullptr, 4), 1);
}

}  // namespace
}  // namespace quorvik::sim
