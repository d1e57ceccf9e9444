#include <string>
#include <vector>

#include "identity_fixture.h"

namespace quorvik::sim {
namespace {

constexpr char kSearchFail[] = "Find Board structure Failsearch SMBIOS fail \r\n";

TEST_F(IdentityTest, InsydeBoardIsIdentifiedFromSmbiosWithinThePermissionPair) {
    install(insyde_board("KT-500R", "R1.05", "SN0042"));
    EXPECT_EQ(identify(0), "");
    EXPECT_STREQ(Model_str, "KT-500R");
    EXPECT_STREQ(BIOS_Ver_str, "R1.05");
    EXPECT_STREQ(SerialNumber_str, "SN0042");
    EXPECT_EQ(PlatformInfo_Flag, 1);
    const std::vector<PermissionCall> pair{{0xB2, 1, 1}, {0xB2, 1, 0}};
    EXPECT_EQ(board().permission_calls, pair);
    EXPECT_TRUE(board().port_log.empty()) << "identification performs no port access";
}

TEST_F(IdentityTest, LaterQueriesCopyFromTheCacheWithoutTouchingTheBoard) {
    install(insyde_board("KT-500R", "R1.05", "SN0042"));
    identify(0);
    board().permission_calls.clear();
    board().map_requests.clear();
    char model[128] = {}, version[128] = {}, serial[128] = {};
    const std::string printed = printed_by([&] {
        EXPECT_EQ(GetDeviceName(model), 1);
        EXPECT_EQ(GetBiosVersion(version), 1);
        EXPECT_EQ(GetSerialNumber(serial), 1);
    });
    EXPECT_EQ(printed, "");
    EXPECT_STREQ(model, "KT-500R");
    EXPECT_STREQ(version, "R1.05");
    EXPECT_STREQ(serial, "SN0042");
    EXPECT_TRUE(board().permission_calls.empty());
    EXPECT_TRUE(board().map_requests.empty());
}

struct SignatureCase {
    const char* text;
    const char* version;
    const char* model;
};

class SignatureTextTest : public IdentityTest, public testing::WithParamInterface<SignatureCase> {};

TEST_P(SignatureTextTest, CutsModelAndVersion) {
    install(signature_board(GetParam().text, "S1"));
    EXPECT_EQ(identify(0), "");
    EXPECT_STREQ(BIOS_Ver_str, GetParam().version);
    EXPECT_STREQ(Model_str, GetParam().model);
    EXPECT_STREQ(SerialNumber_str, "S1");
}

INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, SignatureTextTest,
    testing::Values(SignatureCase{"ZEKT XY-123 V1.20S03", "V1.20S03", "XY-123"},
                    SignatureCase{"ZEKT XY-123 EX V1.20S03", "V1.20S03", "XY-123 EX"},
                    SignatureCase{"ZEKT XY-123 EX V1.20C03", "V1.20C03", "XY-123"},
                    SignatureCase{"ZEKT XY-123  V1.20S03", "V1.20S03", "XY-123"},
                    // Short tail after the dot: the version ends with the text.
                    SignatureCase{"ZEKT AB-1 V1.2", "V1.2", "AB-1"},
                    // A "C" build with a one-word model keeps the whole word.
                    SignatureCase{"ZEKT XY-123 V1.20C03", "V1.20C03", "XY-123"}));

TEST_F(IdentityTest, FirstSignatureInEitherCaseGivesTheText) {
    BoardImages images = signature_board("Zekt XY-9 V2.00S01", "S1");
    images.fsegment.text(0x9000, "ZEKT LATER-1 V9.99S99");  // passes the maker test
    install(images);
    identify(0);
    EXPECT_STREQ(Model_str, "XY-9");
    EXPECT_STREQ(BIOS_Ver_str, "V2.00S01");
}

TEST_F(IdentityTest, LowerCaseSignatureAloneFailsTheMakerTest) {
    BoardImages images = signature_board("Zekt XY-123 V1.20S03", "S1");
    install(images);
    strcpy(Model_str, "OLD");
    EXPECT_EQ(identify(1), "Not ZEKT product\r\n");
    EXPECT_STREQ(Model_str, "") << "a failed attempt clears the cache";
}

struct VendorCase {
    const char* vendor;
    bool smbios_branch;
};

class VendorTest : public IdentityTest, public testing::WithParamInterface<VendorCase> {};

TEST_P(VendorTest, VendorChoosesTheBranch) {
    BoardImages images;
    images.fsegment.entry_point(0x800, images.table_address).text(0x3000, "ZEKT SIG-1 V1.00S00");
    images.table.bios(GetParam().vendor, "B9.9")
        .system("Quorvik", "SMB-1")
        .baseboard("S")
        .end_of_table();
    install(images);
    identify(0);
    EXPECT_STREQ(Model_str, GetParam().smbios_branch ? "SMB-1" : "SIG-1");
    EXPECT_STREQ(BIOS_Ver_str, GetParam().smbios_branch ? "B9.9" : "V1.00S00");
}

INSTANTIATE_TEST_SUITE_P(Vendors, VendorTest,
                         testing::Values(VendorCase{"Insyde Corp.", true},
                                         VendorCase{"INSYDE Software", true},
                                         VendorCase{"INSYDEXYZ", true}, VendorCase{"insyde", false},
                                         VendorCase{"InsydeH2O", true},
                                         VendorCase{"American Megatrends", false},
                                         VendorCase{"Insyd", false}));

TEST_F(IdentityTest, VendorFieldZeroIsJudgedByTheFirstString) {
    BoardImages images;
    images.fsegment.entry_point(0x800, images.table_address).text(0x100, "ZEKT");
    images.table.structure(0, {0, 2}, {"Insyde", "V0"})
        .system("Q", "BY-FIRST")
        .baseboard("S")
        .end_of_table();
    install(images);
    identify(0);
    EXPECT_STREQ(Model_str, "BY-FIRST");
    EXPECT_STREQ(BIOS_Ver_str, "V0");
}

TEST_F(IdentityTest, ModelLosesTrailingWhiteSpaceOnly) {
    install(insyde_board("AB-1234 \t\r", "1.0 ", "SER "));
    identify(0);
    EXPECT_STREQ(Model_str, "AB-1234");
    EXPECT_STREQ(BIOS_Ver_str, "1.0 ");
    EXPECT_STREQ(SerialNumber_str, "SER ");
}

TEST_F(IdentityTest, WhiteSpaceModelBecomesEmptyButIdentified) {
    install(insyde_board(" \r\n", "1.0", "S"));
    identify(0);
    char model[128];
    std::memset(model, 'x', sizeof model);
    EXPECT_EQ(GetDeviceName(model), 1);
    EXPECT_STREQ(model, "");
}

TEST_F(IdentityTest, MissingBaseboardKeepsModelAndRetriesEveryQuery) {
    BoardImages images = insyde_board("KT-1", "1.0", "unused");
    images.table = SmbiosTable().bios("Insyde", "1.0").system("Q", "KT-1").end_of_table();
    install(images);
    for (int query = 0; query < 2; ++query) {
        char serial[128] = "untouched";
        const std::string printed = printed_by([&] { EXPECT_EQ(GetSerialNumber(serial), 1); });
        EXPECT_EQ(printed, kSearchFail);
        EXPECT_STREQ(serial, "");
        EXPECT_STREQ(Model_str, "KT-1");
        EXPECT_EQ(PlatformInfo_Flag, 0);
    }
}

TEST_F(IdentityTest, BaseboardAfterTheEndOfTableIsStillFound) {
    BoardImages images = insyde_board("KT-1", "1.0", "unused");
    images.table =
        SmbiosTable().bios("Insyde", "1.0").system("Q", "KT-1").end_of_table().baseboard("LATE");
    install(images);
    identify(0);
    EXPECT_STREQ(SerialNumber_str, "LATE");
}

TEST_F(IdentityTest, FailedAttemptIsRetriedByTheNextQuery) {
    char model[128] = "keep";
    EXPECT_EQ(printed_by([&] { EXPECT_EQ(GetDeviceName(model), 0); }), "Not ZEKT product\r\n");
    EXPECT_STREQ(model, "keep");
    install(insyde_board("KT-2", "1.0", "S"));
    EXPECT_EQ(GetDeviceName(model), 1);
    EXPECT_STREQ(model, "KT-2");
}

TEST_F(IdentityTest, DropFailureAtTheEndFailsTheAttemptAndClearsTheCache) {
    install(insyde_board("KT-3", "1.0", "S3"));
    board().ioperm_result = [](const PermissionCall& call) { return call.turn_on ? 0 : -1; };
    EXPECT_EQ(identify(1), "Error: ioperm() fail\r\n");
    EXPECT_STREQ(Model_str, "");
    EXPECT_STREQ(BIOS_Ver_str, "");
    EXPECT_STREQ(SerialNumber_str, "");
    EXPECT_EQ(PlatformInfo_Flag, 0);
    board().ioperm_result = nullptr;
    board().permitted.reset();
}

TEST_F(IdentityTest, OverlongIdentityStringsAreCutToTheCache) {
    const std::string long_model(40, 'M'), long_version(15, 'V'), long_serial(45, 'S');
    install(insyde_board(long_model, long_version, long_serial));
    identify(0);
    EXPECT_EQ(std::string(Model_str), long_model.substr(0, 29));
    EXPECT_EQ(std::string(BIOS_Ver_str), long_version.substr(0, 9));
    EXPECT_EQ(std::string(SerialNumber_str), long_serial.substr(0, 29));
}

TEST_F(IdentityTest, OverlongSignatureModelIsCut) {
    install(signature_board("ZEKT " + std::string(50, 'Q') + " V1.20S03", "S"));
    identify(0);
    EXPECT_EQ(std::string(Model_str), std::string(29, 'Q'));
}

}  // namespace
}  // namespace quorvik::sim
