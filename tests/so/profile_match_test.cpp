// Model matching: which section of the profile serves a model.
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
