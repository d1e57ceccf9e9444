// The count queries: how many inputs of a kind the profile declares.
#include <malloc.h>

#include <string>

#include "sensor_fixture.h"

namespace quorvik::sim {
namespace {

using CountQuery = int (*)(const char*, const char*, char**);

struct Query {
    const char* name;
    CountQuery query;
    const char* key;
};

class CountTest : public SensorTest, public testing::WithParamInterface<Query> {
  protected:
    // Status, and the text or whether the caller's pointer was left alone.
    std::pair<int, std::string> ask(const std::string& path, const char* model,
                                    bool* untouched = nullptr) {
        static char sentinel;
        char* text = &sentinel;
        const std::string printed =
            printed_by([&] { status_ = GetParam().query(path.c_str(), model, &text); });
        EXPECT_EQ(printed, "");
        if (untouched != nullptr) *untouched = text == &sentinel;
        std::string value;
        if (status_ == SENSOR_OK) {
            EXPECT_GE(malloc_usable_size(text), 1024u);
            value = text;
            std::free(text);
        }
        return {status_, value};
    }
    int status_ = 0;
};

TEST_P(CountTest, ReportsTheCountAsItStands) {
    const struct {
        const char* value;
        const char* reported;
    } cases[] = {{"3", "3"},
                 {"0", "0"},
                 {"-2", "-2"},
                 {"0x10", "16"},
                 {"010", "8"},
                 {"", "0"},
                 {"4 inputs", "4"},
                 {"2147483647", "2147483647"},
                 {"-2147483648", "-2147483648"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        const std::string path = profile(SectionText("kt-500r").set(GetParam().key, c.value));
        EXPECT_EQ(ask(path, "KT-500R"), std::make_pair(SENSOR_OK, std::string(c.reported)));
    }
}

TEST_P(CountTest, ModelServedByPrefixReadsThatSection) {
    const std::string path = profile(SectionText("kt-500").set(GetParam().key, "4").text() +
                                     SectionText("kt-500r-lx").set(GetParam().key, "9").text());
    EXPECT_EQ(ask(path, "KT-500R").second, "4");
    EXPECT_EQ(ask(path, "KT-500R-LX").second, "9");
}

TEST_P(CountTest, Failures) {
    bool untouched = false;
    EXPECT_EQ(ask(dir_ + "/absent.ini", "KT-500R", &untouched).first, SENSOR_ERR_PROFILE);
    EXPECT_TRUE(untouched);

    const std::string path = profile(SectionText("kt-500r").set(GetParam().key, "3"));
    // A model name too long for the 1024-byte key cannot name a key.
    EXPECT_EQ(ask(path, std::string(1100, 'k').c_str(), &untouched).first, SENSOR_ERR_KEY);
    EXPECT_TRUE(untouched);

    // A section named like the key is no value (iniparser 4.1 crashes there).
    std::string key = GetParam().key;
    for (auto& c : key) c = static_cast<char>(std::tolower(c));
    const std::string trap = profile("[kt-900]\nx = 1\n[kt-900:" + key + "]\ny = 2\n", "trap.ini");
    EXPECT_EQ(ask(trap, "KT-900", &untouched).first, SENSOR_ERR_KEY);

    char* text = nullptr;
    EXPECT_EQ(GetParam().query(nullptr, "KT-500R", &text), SENSOR_ERR_VALUE);
    EXPECT_EQ(GetParam().query(path.c_str(), nullptr, &text), SENSOR_ERR_VALUE);
    EXPECT_EQ(GetParam().query(path.c_str(), "KT-500R", nullptr), SENSOR_ERR_VALUE);
    EXPECT_EQ(text, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Sensors, CountTest,
                         testing::Values(Query{"Volt", SensorVoltQuery, "Volt"},
                                         Query{"Temp", SensorTempQuery, "Temp"},
                                         Query{"Fan", SensorFanQuery, "Fan"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvik::sim
