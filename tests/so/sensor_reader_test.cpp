// What the three readers share: the order in which the profile is checked,
// the port permission around the chip access, bank selection, and the
// guarantee that a failure found in the profile touches no port.
#include <cctype>
#include <functional>
#include <string>
#include <vector>

#include "quorvik_common/profile_schema.h"
#include "sensor_fixture.h"
#include "superio.h"

namespace quorvik::sim {
namespace {

constexpr char kIopermFail[] = "Error: ioperm() fail\r\n";

class EveryReader : public SensorTest, public testing::WithParamInterface<ReaderKind> {
  protected:
    std::string key(const char* suffix) const {
        return std::string(GetParam().kind) + "0" + suffix;
    }
    Reading read_param(const std::string& path, int input = 0, const char* model = "KT-500R") {
        return read(GetParam().reader, path, input, model);
    }
    // The chip's registers for input 0 of every kind, in bank 0 and bank 2.
    void arrange_registers() {
        for (int bank : {0, 2}) {
            const auto base = static_cast<std::uint8_t>(bank == 0 ? 10 : 20);
            chip().set(bank, 0x20, base);      // voltage
            chip().set(bank, 0x27, base);      // temperature
            chip().set(bank, 0x28, 0);         // fan, high
            chip().set(bank, 0x29, base * 5);  // fan, low
        }
    }
    // The value each reader gives for the registers of arrange_registers().
    std::string expected_text(int bank) const {
        const int base = bank == 0 ? 10 : 20;
        const std::string kind = GetParam().kind;
        if (kind == "Vin") return "VCORE: " + std::to_string(base * 8);
        if (kind == "Tin") return "SYSTEM: " + std::to_string(base * 1000);
        return "SYSFAN: " + std::to_string(1350000 / (base * 5));
    }
};

TEST_P(EveryReader, ReadsItsInputThroughTheChip) {
    arrange_registers();
    const Reading reading = read_param(profile(board_section()));
    EXPECT_EQ(reading.status, SENSOR_OK) << printed_;
    EXPECT_EQ(reading.text, expected_text(0));
    EXPECT_EQ(printed_, "");
    const std::vector<PermissionCall> calls{
        {kIndexPort, 1, 1}, {kDataPort, 1, 1}, {kIndexPort, 1, 0}, {kDataPort, 1, 0}};
    EXPECT_EQ(board().permission_calls, calls);
}

// The two chips that hide their registers behind banks, by their profile names.
const char* const kBankedChips[] = {"W83627DHG", "W83627EHF"};

class EveryBankedChip : public SensorTest,
                        public testing::WithParamInterface<std::tuple<ReaderKind, const char*>> {};

TEST_P(EveryBankedChip, SelectsTheInputsBankBeforeReadingIt) {
    const auto& [reader, chip_name] = GetParam();
    const std::string kind = reader.kind;
    for (int bank : {0, 2}) {
        const auto base = static_cast<std::uint8_t>(bank == 0 ? 10 : 20);
        chip().set(bank, 0x20, base);
        chip().set(bank, 0x27, base);
        chip().set(bank, 0x28, 0);
        chip().set(bank, 0x29, base * 5);
    }
    chip().bank_select = 0x80;
    const Reading reading =
        read(reader.reader, profile(board_section().set("Sio", chip_name).set(kind + "0Bnk", "2")));
    const std::string expected = kind == "Vin"   ? "VCORE: 160"
                                 : kind == "Tin" ? "SYSTEM: 20000"
                                                 : "SYSFAN: 13500";
    EXPECT_EQ(reading.text, expected);
    EXPECT_EQ(chip().bank_select, 0x82);
    ASSERT_GE(chip().accesses.size(), 3u);
    using Access = SuperIoChip::RegisterAccess;
    EXPECT_EQ(chip().accesses[0], (Access{Access::Read, 0, 0x4E, 0x80}));
    EXPECT_EQ(chip().accesses[1], (Access{Access::Write, 0, 0x4E, 0x82}));
    for (std::size_t i = 2; i < chip().accesses.size(); ++i) {
        EXPECT_EQ(chip().accesses[i].kind, Access::Read);
        EXPECT_EQ(chip().accesses[i].bank, 2);
    }
}

TEST_P(EveryBankedChip, NeedsTheBankKey) {
    const auto& [reader, chip_name] = GetParam();
    const Reading reading = read(
        reader.reader,
        profile(board_section().set("Sio", chip_name).erase(std::string(reader.kind) + "0Bnk")));
    EXPECT_EQ(reading.status, SENSOR_ERR_KEY);
    EXPECT_TRUE(board().port_log.empty());
}

// A chip is a row of the chip table: one with another bank register and
// wider bank bits is read through that register, the bits its row keeps left
// as they were.
class ChipRow : public SensorTest {};

TEST_F(ChipRow, AnotherBankRegisterIsOneRow) {
    static constexpr schema::BankedChip kRow{"TEST-CHIP", 0x4F, 0xE0, 15};
    SuperIoChip other(kIndexPort, kDataPort, &kRow);
    other.attach_to(board());
    other.set(9, 0x20, 0x42);
    other.set(0, 0x20, 0x11);
    other.bank_select = 0xA0;
    const sensor::PortDescription ports{kIndexPort, kDataPort, &kRow};
    std::uint8_t value = 0;
    const auto read = [&](sensor::HardwareMonitor& monitor) {
        value = monitor.read_register(0x20);
    };
    EXPECT_EQ(sensor::read_chip(ports, 9, read), SENSOR_OK);
    EXPECT_EQ(value, 0x42);
    EXPECT_EQ(other.bank_select, 0xA9);
    using Access = SuperIoChip::RegisterAccess;
    ASSERT_GE(other.accesses.size(), 2u);
    EXPECT_EQ(other.accesses[0], (Access{Access::Read, 0, 0x4F, 0xA0}));
    EXPECT_EQ(other.accesses[1], (Access{Access::Write, 0, 0x4F, 0xA9}));
}

INSTANTIATE_TEST_SUITE_P(Sensors, EveryBankedChip,
                         testing::Combine(testing::ValuesIn(kReaders),
                                          testing::ValuesIn(kBankedChips)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    std::get<1>(info.param);
                         });

TEST_P(EveryReader, ChipWithoutBanksIgnoresTheBankKey) {
    // Only the exact, upper-case names of the two banked chips have banks.
    for (const char* chip_name : {"w83627dhg", "W83627HF", "NCT6776"}) {
        SCOPED_TRACE(chip_name);
        use_chip(false);
        arrange_registers();
        board().port_log.clear();
        const Reading reading =
            read_param(profile(board_section().set("Sio", chip_name).erase(key("Bnk"))));
        EXPECT_EQ(reading.text, expected_text(0));
        for (const auto& access : chip().accesses) EXPECT_NE(access.reg, 0x4E);
        const Reading bank255 =
            read_param(profile(board_section().set("Sio", chip_name).set(key("Bnk"), "255")));
        EXPECT_EQ(bank255.status, SENSOR_OK);
    }
}

// ---- failures found in the profile: the status, and no port touched ----

struct ProfileFault {
    const char* name;
    // Changes the complete section for the reader's kind ("Vin", ...).
    std::function<void(SectionText&, const std::string& kind)> change;
    int status;
};

const ProfileFault kProfileFaults[] = {
    // Each case also spoils a key read later, to show which one decides.
    {"LabelMissing",
     [](SectionText& s, const std::string& k) { s.erase(k + "0Str").set("Index", ""); },
     SENSOR_ERR_KEY},
    {"IndexMissing", [](SectionText& s, const std::string&) { s.erase("Index").set("Data", ""); },
     SENSOR_ERR_KEY},
    {"IndexEmpty", [](SectionText& s, const std::string&) { s.set("Index", "").erase("Data"); },
     SENSOR_ERR_VALUE},
    {"DataMissing", [](SectionText& s, const std::string&) { s.erase("Data").set("Sio", ""); },
     SENSOR_ERR_KEY},
    {"DataEmpty", [](SectionText& s, const std::string&) { s.set("Data", "").erase("Sio"); },
     SENSOR_ERR_VALUE},
    {"SioMissing",
     [](SectionText& s, const std::string& k) { s.erase("Sio").set(k + "0Bnk", "255"); },
     SENSOR_ERR_KEY},
    {"SioEmpty", [](SectionText& s, const std::string& k) { s.set("Sio", "").erase(k + "0Bnk"); },
     SENSOR_ERR_VALUE},
    {"BankMissing", [](SectionText& s, const std::string& k) { s.erase(k + "0Bnk"); },
     SENSOR_ERR_KEY},
    {"BankIsNoBank", [](SectionText& s, const std::string& k) { s.set(k + "0Bnk", "255"); },
     SENSOR_ERR_VALUE},
    {"BankIsNoBankInHex", [](SectionText& s, const std::string& k) { s.set(k + "0Bnk", "0xFF"); },
     SENSOR_ERR_VALUE},
    {"LabelTooLongForTheText",
     [](SectionText& s, const std::string& k) { s.set(k + "0Str", std::string(1002, 'L')); },
     SENSOR_ERR_VALUE},
};

class ProfileFaults : public SensorTest,
                      public testing::WithParamInterface<std::tuple<ReaderKind, ProfileFault>> {};

TEST_P(ProfileFaults, EndTheReadingBeforeAnyPortIsTouched) {
    const auto& [reader, fault] = GetParam();
    SectionText section = board_section();
    fault.change(section, reader.kind);
    const Reading reading = read(reader.reader, profile(section));
    EXPECT_EQ(reading.status, fault.status);
    EXPECT_TRUE(reading.pointer_untouched);
    EXPECT_TRUE(board().permission_calls.empty());
    EXPECT_TRUE(board().port_log.empty());
    EXPECT_EQ(printed_, "");
}

INSTANTIATE_TEST_SUITE_P(Sensors, ProfileFaults,
                         testing::Combine(testing::ValuesIn(kReaders),
                                          testing::ValuesIn(kProfileFaults)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    std::get<1>(info.param).name;
                         });

TEST_P(EveryReader, LongestLabelStillFitsTheText) {
    chip().set(0, 0x27, 0x80);  // -128 degrees: the longest temperature
    const std::string label(1001, 'L');
    const Reading reading = read_param(profile(board_section().set(key("Str"), label)));
    EXPECT_EQ(reading.status, SENSOR_OK);
    EXPECT_EQ(reading.text.substr(0, label.size() + 2), label + ": ");
}

TEST_P(EveryReader, EmptyLabelGivesTextStartingWithTheColon) {
    const Reading reading = read_param(profile(board_section().set(key("Str"), "")));
    EXPECT_EQ(reading.status, SENSOR_OK);
    EXPECT_EQ(reading.text.substr(0, 2), ": ");
}

TEST_P(EveryReader, ModelWithoutSectionOrInputMissesItsLabel) {
    const std::string path = profile(board_section().text());
    EXPECT_EQ(read_param(path, 0, "KT-900").status, SENSOR_ERR_KEY);
    EXPECT_EQ(read_param(path, 1).status, SENSOR_ERR_KEY);
    EXPECT_TRUE(board().port_log.empty());
}

TEST_P(EveryReader, SectionNamedLikeAKeyIsNoValue) {
    // iniparser 4.1 crashes when a value is read under a key text that names
    // a section; such a key is simply missing.
    const std::string lowered = [&] {
        std::string k = key("str");
        for (auto& c : k) c = static_cast<char>(std::tolower(c));
        return k;
    }();
    SectionText section = board_section().erase(key("Str"));
    const Reading reading =
        read_param(profile(section.text() + "[kt-500r:" + lowered + "]\nx = 1\n"));
    EXPECT_EQ(reading.status, SENSOR_ERR_KEY);
}

TEST_P(EveryReader, ProfileThatCannotBeLoaded) {
    EXPECT_EQ(read_param(dir_ + "/absent.ini").status, SENSOR_ERR_PROFILE);
    const std::string broken = profile("[kt-500r\nIndex = 0x295\n", "broken.ini");
    testing::internal::CaptureStderr();  // iniparser's own complaint
    EXPECT_EQ(read_param(broken).status, SENSOR_ERR_PROFILE);
    EXPECT_FALSE(testing::internal::GetCapturedStderr().empty());
}

TEST_P(EveryReader, NullArgumentsAreRefused) {
    const std::string path = profile(board_section());
    char* text = nullptr;
    EXPECT_EQ(GetParam().reader(nullptr, "KT-500R", 0, &text), SENSOR_ERR_VALUE);
    EXPECT_EQ(GetParam().reader(path.c_str(), nullptr, 0, &text), SENSOR_ERR_VALUE);
    EXPECT_EQ(GetParam().reader(path.c_str(), "KT-500R", 0, nullptr), SENSOR_ERR_VALUE);
    EXPECT_EQ(text, nullptr);
    EXPECT_TRUE(board().permission_calls.empty());
}

TEST_P(EveryReader, ModelServedByPrefixReadsThatSection) {
    arrange_registers();
    const Reading reading = read_param(profile(board_section("kt-500")), 0, "KT-500R-LX");
    EXPECT_EQ(reading.text, expected_text(0));
}

// ---- the port permission ----

struct PermissionFault {
    const char* name;
    std::string index;  // profile's Index value
    std::function<int(const PermissionCall&)> result;
    std::vector<PermissionCall> calls;
    int messages;
    bool chip_read;
};

const PermissionFault kPermissionFaults[] = {
    {"IndexRaiseRefused",
     "0x295",
     [](const PermissionCall& c) { return c.from == kIndexPort && c.turn_on ? -1 : 0; },
     {{kIndexPort, 1, 1}, {kDataPort, 1, 1}, {kDataPort, 1, 0}},
     1,
     false},
    {"DataRaiseRefused",
     "0x295",
     [](const PermissionCall& c) { return c.from == kDataPort && c.turn_on ? -1 : 0; },
     {{kIndexPort, 1, 1}, {kDataPort, 1, 1}, {kIndexPort, 1, 0}},
     1,
     false},
    {"BothRaisesRefused",
     "0x295",
     [](const PermissionCall& c) { return c.turn_on ? -1 : 0; },
     {{kIndexPort, 1, 1}, {kDataPort, 1, 1}},
     2,
     false},
    // A port number beyond the port space: the permission call itself refuses.
    {"IndexBeyondPortSpace",
     "0x10295",
     nullptr,
     {{0x10295, 1, 1}, {kDataPort, 1, 1}, {kDataPort, 1, 0}},
     1,
     false},
    {"DataDropRefused",
     "0x295",
     [](const PermissionCall& c) { return c.from == kDataPort && !c.turn_on ? -1 : 0; },
     {{kIndexPort, 1, 1}, {kDataPort, 1, 1}, {kIndexPort, 1, 0}, {kDataPort, 1, 0}},
     1,
     true},
    {"IndexDropRefused",
     "0x295",
     [](const PermissionCall& c) { return c.from == kIndexPort && !c.turn_on ? -1 : 0; },
     {{kIndexPort, 1, 1}, {kDataPort, 1, 1}, {kIndexPort, 1, 0}, {kDataPort, 1, 0}},
     1,
     true},
};

class PermissionFaults
    : public SensorTest,
      public testing::WithParamInterface<std::tuple<ReaderKind, PermissionFault>> {};

TEST_P(PermissionFaults, FailTheReadingWithoutResultText) {
    const auto& [reader, fault] = GetParam();
    board().ioperm_result = fault.result;
    const Reading reading = read(reader.reader, profile(board_section().set("Index", fault.index)));
    EXPECT_EQ(reading.status, SENSOR_ERR_VALUE);
    EXPECT_TRUE(reading.pointer_untouched) << "no text may be left to the caller";
    EXPECT_EQ(board().permission_calls, fault.calls);
    std::string messages;
    for (int i = 0; i < fault.messages; ++i) messages += kIopermFail;
    EXPECT_EQ(printed_, messages);
    EXPECT_EQ(!board().port_log.empty(), fault.chip_read);
    // A refused drop leaves that permission in place: nothing more to undo.
    expect_permissions_dropped_ = false;
    board().permitted.reset();
}

INSTANTIATE_TEST_SUITE_P(Sensors, PermissionFaults,
                         testing::Combine(testing::ValuesIn(kReaders),
                                          testing::ValuesIn(kPermissionFaults)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    std::get<1>(info.param).name;
                         });

INSTANTIATE_TEST_SUITE_P(Sensors, EveryReader, testing::ValuesIn(kReaders), reader_name);

// ---- number keys ----

struct PortNumber {
    const char* text;
    unsigned long port;
};

class PortNumbers : public SensorTest, public testing::WithParamInterface<PortNumber> {};

TEST_P(PortNumbers, ConvertLikeStrtolWithBaseZero) {
    use_chip(false);
    const Reading reading = read(SensorVolt, profile(board_section()
                                                         .set("Sio", "NCT6776")
                                                         .set("Index", GetParam().text)
                                                         .set("Vin0Idx", GetParam().text)));
    EXPECT_EQ(reading.status, SENSOR_OK);
    ASSERT_FALSE(board().permission_calls.empty());
    EXPECT_EQ(board().permission_calls[0].from, GetParam().port);
    ASSERT_FALSE(board().port_log.empty());
    EXPECT_EQ(board().port_log[0].port, GetParam().port);
    // The register number goes to the index port as its low 8 bits.
    EXPECT_EQ(board().port_log[0].value, static_cast<std::uint8_t>(GetParam().port));
}

INSTANTIATE_TEST_SUITE_P(Sensors, PortNumbers,
                         testing::Values(PortNumber{"0x295", 661}, PortNumber{"661", 661},
                                         PortNumber{"01225", 661}, PortNumber{"0661", 433},
                                         PortNumber{"0x2E ; comment", 0x2E},
                                         PortNumber{"0x2Ez", 0x2E}));

}  // namespace
}  // namespace quorvik::sim
