// The SMI command port's permission as a host holds it: the library's own
// brackets around identification and sensor reading leave it as they found
// it, and the mailbox never touches the port on a thread that lacks it. The
// board keeps permissions per thread, as Linux does, and counts every port
// access a real process would have been killed for.
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "bios_builder.h"
#include "private_mounts.h"
#include "sensor_fixture.h"

namespace quorvik::sim {
namespace {

constexpr unsigned long kSmiPort = 0xB2;

class SmiPortTest : public SensorTest {
  protected:
    void SetUp() override {
        SensorTest::SetUp();
        board().per_thread_permissions = true;
        forget_identity();
        board().smi_handler = [](platform::SmiRegisters& r) { r.ebx = ~r.ebx; };
    }
    void TearDown() override {
        EXPECT_FALSE(board().any_thread_permission_left()) << "a permission was left raised";
        SensorTest::TearDown();
        forget_identity();
    }

    // One transfer of each kind, and their statuses.
    static std::vector<int> transfer_all() {
        SmiRegisterBlock regs{SMBX_CMD_READ, 0x1234, 0, 0, 0, 0, 0};
        unsigned char buf[32];
        std::memset(buf, 0x77, sizeof buf);
        return {SmbxSendSMI(&regs), SmbxRead(0x10, sizeof buf, buf),
                SmbxWrite(0x10, sizeof buf, buf)};
    }
};

struct HostQuery {
    const char* name;
    // Arranges the board and runs the query; returns what it answered.
    std::function<int()> run;
    int answer;
};

int read_voltage() {
    install(insyde_board("KT-500R", "R1.05", "SN1"));
    char model[128] = {};
    if (GetDeviceName(model) != 1) return -1;
    int value = 0;
    return GetSensorValueByType(model, SENSOR_VOLT, 0, &value);
}

const HostQuery kQueries[] = {
    {"PlatformInfo",
     [] {
         install(insyde_board("KT-500R", "R1.05", "SN1"));
         return PlatformInfo();
     },
     0},
    {"GetDeviceName",
     [] {
         install(insyde_board("KT-500R", "R1.05", "SN1"));
         char buf[128];
         return GetDeviceName(buf);
     },
     1},
    {"GetBiosVersion",
     [] {
         install(signature_board("ZEKT XY-123 V1.20S03", "S1"));
         char buf[128];
         return GetBiosVersion(buf);
     },
     1},
    {"GetSerialNumber",
     [] {
         install(insyde_board("KT-500R", "R1.05", "SN1"));
         char buf[128];
         return GetSerialNumber(buf);
     },
     1},
    {"FailedIdentification",
     [] {
         install(signature_board("ACME XY-1 V1.00S00", "S"));
         return PlatformInfo();
     },
     1},
    {"IdentificationWithoutSerial",
     [] {
         BoardImages images = insyde_board("KT-1", "1.0", "unused");
         images.table = SmbiosTable().bios("Insyde", "1.0").system("Q", "KT-1").end_of_table();
         install(images);
         return PlatformInfo();
     },
     0},
    {"GetSensorValueByType", read_voltage, 1},
};

class HostHoldingThePort : public SmiPortTest, public testing::WithParamInterface<HostQuery> {};

TEST_P(HostHoldingThePort, KeepsItAcrossTheQuery) {
    QUORVIK_REQUIRE_PRIVATE_MOUNTS();
    write_system_profile(board_section().text());
    chip().set(0, 0x20, 142);
    ASSERT_EQ(SmbxInit(), 0);
    int answer = -1;
    printed_by([&] { answer = GetParam().run(); });
    EXPECT_EQ(answer, GetParam().answer);
    // The query neither raised nor dropped the host's permission.
    EXPECT_EQ(calls_for(kSmiPort).size(), 1u) << "only the host's own SmbxInit";

    EXPECT_EQ(transfer_all(), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(board().smi_calls.size(), 1u + 2u + 3u);
    EXPECT_EQ(board().permission_violations, 0);
    EXPECT_EQ(SmbxExit(), 0);
}

TEST_P(HostHoldingThePort, WithoutItTheQueryRaisesAndDropsItsOwn) {
    QUORVIK_REQUIRE_PRIVATE_MOUNTS();
    write_system_profile(board_section().text());
    chip().set(0, 0x20, 142);
    int answer = -1;
    printed_by([&] { answer = GetParam().run(); });
    EXPECT_EQ(answer, GetParam().answer);
    const std::vector<PermissionCall> pair{{kSmiPort, 1, 1}, {kSmiPort, 1, 0}};
    const std::vector<PermissionCall> calls = calls_for(kSmiPort);
    ASSERT_FALSE(calls.empty());
    // Each identification attempt or reading is one raise and one drop.
    for (std::size_t i = 0; i < calls.size(); ++i) EXPECT_EQ(calls[i], pair[i % 2]) << i;
    EXPECT_EQ(calls.size() % 2, 0u);
}

INSTANTIATE_TEST_SUITE_P(Smi, HostHoldingThePort, testing::ValuesIn(kQueries),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SmiPortTest, TransfersWithoutThePermissionSendNothing) {
    SmiRegisterBlock regs{SMBX_CMD_READ, 0x1234, 5, 6, 7, 8, 9};
    const SmiRegisterBlock before = regs;
    unsigned char buf[32];
    std::memset(buf, 0x77, sizeof buf);
    EXPECT_EQ(SmbxSendSMI(&regs), 1);
    EXPECT_EQ(std::memcmp(&regs, &before, sizeof regs), 0) << "registers untouched";
    EXPECT_EQ(SmbxRead(0x10, sizeof buf, buf), 1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), sizeof buf), std::string(sizeof buf, 0x77))
        << "buffer untouched";
    EXPECT_EQ(SmbxWrite(0x10, sizeof buf, buf), 1);
    EXPECT_TRUE(board().smi_calls.empty());
    EXPECT_TRUE(board().port_log.empty());
    EXPECT_TRUE(board().permission_calls.empty()) << "no permission taken behind the host's back";
    // A null argument is still refused as such.
    EXPECT_EQ(SmbxSendSMI(nullptr), -1);
}

TEST_F(SmiPortTest, PermissionDroppedOrNeverGrantedRefusesTransfers) {
    ASSERT_EQ(SmbxInit(), 0);
    EXPECT_EQ(transfer_all(), (std::vector<int>{0, 0, 0}));
    ASSERT_EQ(SmbxExit(), 0);
    EXPECT_EQ(transfer_all(), (std::vector<int>{1, 1, 1}));

    board().ioperm_result = [](const PermissionCall& c) { return c.turn_on ? -1 : 0; };
    printed_by([] { EXPECT_NE(SmbxInit(), 0); });
    EXPECT_EQ(transfer_all(), (std::vector<int>{1, 1, 1}));
    EXPECT_EQ(board().smi_calls.size(), 6u) << "only the exchanges made with the permission";
}

TEST_F(SmiPortTest, PermissionOfOneThreadServesNoOther) {
    ASSERT_EQ(SmbxInit(), 0);
    std::vector<int> other;
    std::thread([&] { other = transfer_all(); }).join();
    EXPECT_EQ(other, (std::vector<int>{1, 1, 1}));
    EXPECT_TRUE(board().smi_calls.empty());
    EXPECT_EQ(transfer_all(), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(SmbxExit(), 0);
}

TEST_F(SmiPortTest, SecondInitAndOneExit) {
    // The pair keeps no count: one SmbxExit ends what two SmbxInit raised.
    ASSERT_EQ(SmbxInit(), 0);
    ASSERT_EQ(SmbxInit(), 0);
    ASSERT_EQ(SmbxExit(), 0);
    EXPECT_EQ(transfer_all(), (std::vector<int>{1, 1, 1}));
    EXPECT_EQ(board().permission_violations, 0);
}

}  // namespace
}  // namespace quorvik::sim
