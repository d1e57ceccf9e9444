// No exception leaves the library: a failure deep inside a call (the board's
// seam throws here, as a lock could) becomes the call's own failure status,
// and nothing stays locked or raised behind it. Every type of exception
// becomes the status alike: tests/common/guard_test.cpp.
#include <cstring>
#include <functional>
#include <string>
#include <system_error>

#include "bios_builder.h"
#include "sensor_fixture.h"

namespace quorvik::sim {
namespace {

// Every exported function is noexcept to a C++ host.
static_assert(noexcept(PlatformInfo()));
static_assert(noexcept(GetDeviceName(nullptr)));
static_assert(noexcept(GetBiosVersion(nullptr)));
static_assert(noexcept(GetSerialNumber(nullptr)));
static_assert(noexcept(MemBlockRead(0, nullptr, 0)));
static_assert(noexcept(F000_search_ZEKT(nullptr)));
static_assert(noexcept(F000_search_SMBIOS(nullptr, nullptr)));
static_assert(noexcept(search_type(nullptr, 0)));
static_assert(noexcept(Copy_F000_MODEL(nullptr, nullptr)));
static_assert(noexcept(SmbxInit()));
static_assert(noexcept(SmbxExit()));
static_assert(noexcept(SensorModelCheck(nullptr, nullptr, nullptr)));
static_assert(noexcept(SensorVolt(nullptr, nullptr, 0, nullptr)));
static_assert(noexcept(SensorTemp(nullptr, nullptr, 0, nullptr)));
static_assert(noexcept(SensorFan(nullptr, nullptr, 0, nullptr)));
static_assert(noexcept(GetSensorValueByType(nullptr, 0, 0, nullptr)));
static_assert(noexcept(SensorVoltQuery(nullptr, nullptr, nullptr)));
static_assert(noexcept(SensorTempQuery(nullptr, nullptr, nullptr)));
static_assert(noexcept(SensorFanQuery(nullptr, nullptr, nullptr)));
static_assert(noexcept(SmbxSendSMI(nullptr)));
static_assert(noexcept(SmbxRead(0, 0, nullptr)));
static_assert(noexcept(SmbxWrite(0, 0, nullptr)));

// Raising a port permission throws; dropping one still works, so that what
// was raised before can be undone.
void throw_on_raise(const std::function<void()>& thrower) {
    Board::get().ioperm_result = [thrower](const PermissionCall& call) {
        if (call.turn_on) thrower();
        return 0;
    };
}

// As a lock that cannot be taken throws.
const std::function<void()> kThrowLock = [] {
    throw std::system_error(std::make_error_code(std::errc::resource_deadlock_would_occur));
};

class Exceptions : public SensorTest {
  protected:
    void SetUp() override {
        SensorTest::SetUp();
        forget_identity();
    }
    void TearDown() override {
        SensorTest::TearDown();
        forget_identity();
    }
};

TEST_F(Exceptions, ReadersAnswerNoMemoryAndLeaveTheChipFree) {
    chip().set(0, 0x20, 150);
    const std::string path = profile(board_section());
    for (const ReaderKind& kind : kReaders) {
        SCOPED_TRACE(kind.name);
        throw_on_raise(kThrowLock);
        const Reading failed = read(kind.reader, path);
        EXPECT_EQ(failed.status, SENSOR_ERR_NOMEM);
        EXPECT_TRUE(failed.pointer_null);
        EXPECT_TRUE(board().port_log.empty());
        // The chip's lock was given back: the next reading goes through.
        board().ioperm_result = nullptr;
        EXPECT_EQ(read(kind.reader, path).status, SENSOR_OK);
        board().port_log.clear();
    }
}

TEST_F(Exceptions, IdentificationFailsWithTheCacheCleared) {
    install(insyde_board("KT-500R", "R1.05", "SN1"));
    std::strcpy(Model_str, "OLD");
    std::strcpy(BIOS_Ver_str, "OLDVER");
    throw_on_raise(kThrowLock);
    EXPECT_EQ(PlatformInfo(), 1);
    EXPECT_STREQ(Model_str, "");
    EXPECT_STREQ(BIOS_Ver_str, "");
    char buf[128] = "untouched";
    EXPECT_EQ(GetDeviceName(buf), 0);
    EXPECT_EQ(GetBiosVersion(buf), 0);
    EXPECT_EQ(GetSerialNumber(buf), 0);
    EXPECT_STREQ(buf, "untouched");
    // The identification lock was given back.
    board().ioperm_result = nullptr;
    EXPECT_EQ(GetDeviceName(buf), 1);
    EXPECT_STREQ(buf, "KT-500R");
}

TEST_F(Exceptions, DispatchAnswersZeroWithTheValueUntouched) {
    install(insyde_board("KT-500R", "R1.05", "SN1"));
    ASSERT_EQ(PlatformInfo(), 0);
    throw_on_raise(kThrowLock);
    int value = 99;
    EXPECT_EQ(GetSensorValueByType("KT-500R", SENSOR_VOLT, 0, &value), 0);
    EXPECT_EQ(value, 99);
    board().ioperm_result = nullptr;
}

TEST_F(Exceptions, PermissionPairAnswersMinusOne) {
    throw_on_raise(kThrowLock);
    EXPECT_EQ(SmbxInit(), -1);
    board().ioperm_result = nullptr;
    SmiRegisterBlock regs{};
    EXPECT_EQ(SmbxSendSMI(&regs), 1) << "a failed SmbxInit grants nothing";

    ASSERT_EQ(SmbxInit(), 0);
    const auto thrown = kThrowLock;
    board().ioperm_result = [thrown](const PermissionCall& call) {
        if (!call.turn_on) thrown();
        return 0;
    };
    EXPECT_EQ(SmbxExit(), -1);
    board().ioperm_result = nullptr;
    EXPECT_EQ(SmbxSendSMI(&regs), 1) << "after SmbxExit the port is not held";
    board().permitted.reset();  // the drop that threw never happened
}

TEST_F(Exceptions, TransfersSendNothingMoreAndFreeTheMailbox) {
    ASSERT_EQ(SmbxInit(), 0);
    const auto thrown = kThrowLock;
    board().smi_handler = [thrown](platform::SmiRegisters&) { thrown(); };
    SmiRegisterBlock regs{SMBX_CMD_READ, 1, 2, 3, 4, 5, 6};
    unsigned char buf[32] = {};
    EXPECT_EQ(SmbxSendSMI(&regs), 1);
    EXPECT_EQ(SmbxRead(0, sizeof buf, buf), 1);
    EXPECT_EQ(SmbxWrite(0, sizeof buf, buf), 1);
    EXPECT_EQ(board().smi_calls.size(), 3u) << "each transfer stopped at its first SMI";
    // The mailbox lock was given back.
    board().smi_handler = [](platform::SmiRegisters& r) { r.ebx = 7; };
    EXPECT_EQ(SmbxSendSMI(&regs), 0);
    EXPECT_EQ(regs.ebx, 7u);
    EXPECT_EQ(SmbxExit(), 0);
}

}  // namespace
}  // namespace quorvik::sim
