// Every way an identification attempt can fail, with what it prints; each
// leaves the whole cache cleared.
#include <functional>
#include <string>

#include "identity_fixture.h"

namespace quorvik::sim {
namespace {

struct FailureCase {
    const char* name;
    std::function<void()> arrange;
    const char* printed;
};

constexpr char kWalkFail[] = "Find Board structure Failsearch SMBIOS fail \r\n";

BoardImages insyde() {
    return insyde_board("KT-1", "1.0", "S");
}

void without_type(int type) {
    BoardImages images = insyde();
    SmbiosTable table;
    if (type != 0) table.bios("Insyde", "1.0");
    if (type != 1) table.system("Q", "KT-1");
    table.baseboard("S").end_of_table();
    // Not zeros after the table: a zero there is a type-0 structure.
    table.raw(std::vector<std::uint8_t>(65536 - table.bytes().size(), 0x41));
    images.table = table;
    install(images);
}

// A table whose bytes never hold two NULs in a row: every walk runs off it.
void unterminated_table() {
    BoardImages images = insyde();
    images.table = SmbiosTable().raw(std::vector<std::uint8_t>(65536, 0x41));
    install(images);
}

const FailureCase kFailures[] = {
    {"PermissionRefused",
     [] {
         install(insyde());
         Board::get().ioperm_result = [](const PermissionCall&) { return -1; };
     },
     "Error: ioperm() fail\r\n"},
    {"NoMakerSignature", [] { install(signature_board("ACME XY-1 V1.00S00", "S")); },
     "Not ZEKT product\r\n"},
    {"DevMemCannotBeOpened",
     [] {
         install(insyde());
         Board::get().fail_open_mem = true;
     },
     "Not ZEKT product\r\n"},
    {"MappingFails",
     [] {
         install(insyde());
         Board::get().fail_map = true;
     },
     "NULL Pointer!\nNot ZEKT product\r\n"},
    {"NoSmbiosAnchor",
     [] {
         BoardImages images = insyde();
         images.fsegment.text(0x800, "_XX_");
         install(images);
     },
     "Get SMBIOS Fail\r\n\r\n"},
    {"AnchorAddressFieldPastTheImage",
     [] {
         BoardImages images = insyde();
         images.fsegment.text(0x800, "_XX_").fill(0x20).text(0x100, "ZEKT").text(65520, "_SM_");
         install(images);
     },
     "Get SMBIOS Fail\r\n\r\n"},
    {"NoBiosStructure", [] { without_type(0); }, kWalkFail},
    {"InsydeWithoutSystemStructure", [] { without_type(1); }, kWalkFail},
    {"UnterminatedTable", unterminated_table, kWalkFail},
    {"NoSignatureTextBeforeTheLastStart",
     [] {
         BoardImages images = signature_board("", "S");
         // Reachable by the maker test from the last start, not a text start.
         images.fsegment.fill(0x20).entry_point(0x800, images.table_address).text(65510, "ZEKT");
         install(images);
     },
     "No model name \r\n"},
    {"SignatureWithoutDot", [] { install(signature_board("ZEKT XY-123 V120S03", "S")); },
     "No model name \r\n"},
    // The version could be cut from it, the model not.
    {"SignatureEndingAfterTheVersion", [] { install(signature_board("ZEKT XY.1", "S")); },
     "No model name \r\n"},
    {"SignatureWithoutBlank", [] { install(signature_board("ZEKTXY-123_V1.20S03", "S")); },
     "No model name \r\n"},
    {"SerialStringRunsOffTheTable",
     [] {
         BoardImages images = insyde();
         SmbiosTable table;
         table.bios("Insyde", "1.0").system("Q", "KT-1");
         std::vector<std::uint8_t> tail{2, 8, 0, 0, 0, 0, 0, 4};
         tail.resize(65536 - table.bytes().size(), 0x41);
         images.table = table.raw(tail);
         install(images);
     },
     "search SMBIOS fail \r\n"},
};

class IdentityFailureTest : public IdentityTest, public testing::WithParamInterface<FailureCase> {};

TEST_P(IdentityFailureTest, FailsWithItsMessage) {
    // What an earlier attempt that found no serial number left.
    std::strcpy(Model_str, "OLD");
    std::strcpy(BIOS_Ver_str, "OLDVER");
    std::strcpy(SerialNumber_str, "OLDSER");
    GetParam().arrange();
    EXPECT_EQ(identify(1), GetParam().printed);
    EXPECT_EQ(PlatformInfo_Flag, 0);
    EXPECT_EQ(std::string(Model_str, sizeof Model_str), std::string(sizeof Model_str, '\0'));
    EXPECT_EQ(std::string(BIOS_Ver_str, sizeof BIOS_Ver_str),
              std::string(sizeof BIOS_Ver_str, '\0'));
    EXPECT_EQ(std::string(SerialNumber_str, sizeof SerialNumber_str),
              std::string(sizeof SerialNumber_str, '\0'));
    char buf[128] = "untouched";
    printed_by([&] { EXPECT_EQ(GetDeviceName(buf), 0); });
    EXPECT_STREQ(buf, "untouched");
    board().ioperm_result = nullptr;
}

INSTANTIATE_TEST_SUITE_P(Table, IdentityFailureTest, testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(IdentityTest, NullBuffersAreRefused) {
    install(insyde_board("KT-1", "1.0", "S"));
    EXPECT_EQ(GetDeviceName(nullptr), 0);
    EXPECT_EQ(GetBiosVersion(nullptr), 0);
    EXPECT_EQ(GetSerialNumber(nullptr), 0);
}

}  // namespace
}  // namespace quorvik::sim
