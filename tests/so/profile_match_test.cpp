// Model matching: which section of the profile serves a model.
#include <iniparser.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "quorvik_common/ini_value.h"
#include "sensor_fixture.h"

namespace quorvik::sim {
namespace {

struct Match {
    const char* name;
    std::vector<std::string> sections;  // in file order
    std::string model;
    int result;
    std::optional<std::string> section;  // buffer after the call; nullopt: untouched
};

class ModelCheck : public SensorTest, public testing::WithParamInterface<Match> {};

TEST_P(ModelCheck, FindsTheServingSection) {
    std::string text;
    for (const auto& name : GetParam().sections) text += "[" + name + "]\nkey = 1\n";
    ini::Profile loaded(profile(text).c_str());
    ASSERT_TRUE(loaded);
    char buffer[30];
    std::memset(buffer, '#', sizeof buffer);  // untouched stays '#'
    EXPECT_EQ(SensorModelCheck(GetParam().model.c_str(), loaded.get(), buffer), GetParam().result);
    if (!GetParam().section) {
        EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(30, '#'));
    } else {
        const std::string& name = *GetParam().section;
        ASSERT_LT(name.size(), sizeof buffer);
        EXPECT_EQ(std::string(buffer, name.size() + 1), name + '\0');
        EXPECT_EQ(std::string(buffer + name.size() + 1, buffer + sizeof buffer),
                  std::string(sizeof buffer - name.size() - 1, '#'))
            << "written past the name's terminator";
    }
}

const std::string k35(35, 'm');

INSTANTIATE_TEST_SUITE_P(
    Profile, ModelCheck,
    testing::Values(
        // An exact match leaves the caller with the model's own name.
        Match{"ExactMatch", {"ab-1234"}, "AB-1234", 0, std::nullopt},
        Match{"ExactBeatsEarlierPrefix", {"ab", "ab-1234"}, "AB-1234", 0, std::nullopt},
        Match{"FirstPrefixInFileOrder", {"ab-12", "ab-1234"}, "AB-1234-LX", 1, "ab-12"},
        Match{"FirstPrefixNotLongest", {"ab-1234", "ab-12"}, "AB-1234-LX", 1, "ab-1234"},
        Match{"LongerSectionNeverFits", {"ab-1234"}, "AB-12", 0, std::nullopt},
        Match{"NoSectionFits", {"cd-1", "ab-2"}, "AB-1234", 0, std::nullopt},
        Match{"NoSections", {}, "AB-1234", 0, std::nullopt},
        // Only the first 30 characters of a long model take part in a prefix.
        Match{"LongModelServedByPrefix", {k35.substr(0, 29)}, k35, 1, k35.substr(0, 29)},
        Match{"SectionOfThirtyDoesNotFitTheBuffer", {k35.substr(0, 30)}, k35, 0, std::nullopt},
        Match{"LongModelNamedExactly", {k35.substr(0, 29), k35}, k35, 0, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

// A section with an empty name, as iniparser keeps "[ ]" (and "[]" at the top
// of the file), never serves a model by prefix; later sections still do.
TEST_F(SensorTest, EmptySectionNameServesNoModel) {
    for (const char* empty : {"[]", "[ ]", "[\t]"}) {
        SCOPED_TRACE(empty);
        ini::Profile loaded(
            profile(std::string(empty) + "\nkey = 1\n[kt-9]\nkey = 2\n[ab-1]\nkey = 3\n").c_str());
        ASSERT_TRUE(loaded);
        ASSERT_EQ(iniparser_getnsec(loaded.get()), 3);
        ASSERT_STREQ(iniparser_getsecname(loaded.get(), 0), "") << "no empty section to test";
        for (const char* model : {"AB-1234", "ZZ-1", "X"}) {
            char buffer[30] = {};
            EXPECT_EQ(SensorModelCheck(model, loaded.get(), buffer),
                      std::string(model) == "AB-1234" ? 1 : 0)
                << model;
            EXPECT_STREQ(buffer, std::string(model) == "AB-1234" ? "ab-1" : "") << model;
        }
    }
}

TEST_F(SensorTest, EmptySectionNameGivesAReaderNoKeys) {
    // The readers address the model's own name when no section serves it.
    chip().set(0, 0x20, 10);
    const std::string body = board_section("kt-500r").text().substr(sizeof "[kt-500r]" - 1);
    const Reading reading = read(SensorVolt, profile("[ ]" + body), 0, "KT-900");
    EXPECT_EQ(reading.status, SENSOR_ERR_KEY);
    EXPECT_TRUE(board().port_log.empty());
}

TEST_F(SensorTest, ModelCheckRefusesNullArguments) {
    ini::Profile loaded(profile("[ab]\nk = 1\n").c_str());
    char buffer[30] = {};
    EXPECT_EQ(SensorModelCheck(nullptr, loaded.get(), buffer), 0);
    EXPECT_EQ(SensorModelCheck("AB-1", nullptr, buffer), 0);
    EXPECT_EQ(SensorModelCheck("AB-1", loaded.get(), nullptr), 0);
    EXPECT_EQ(buffer[0], '\0');
}

}  // namespace
}  // namespace quorvik::sim
