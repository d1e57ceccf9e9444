// How many voltage, temperature and fan inputs the profile declares for a
// model, as heap text for host applications.
#include <cstdlib>
#include <cstring>

#include "QuorvikSO.h"
#include "quorvik_common/guard.h"
#include "quorvik_common/ini_value.h"
#include "quorvik_common/text.h"
#include "sensor_profile.h"

namespace {

using namespace quorvik::sensor;
namespace schema = quorvik::schema;

constexpr std::size_t kCountTextSize = 1024;

int count_query(const char* path, const char* model, char** text, const char* key) {
    if (path == nullptr || model == nullptr || text == nullptr) return SENSOR_ERR_VALUE;
    quorvik::ini::Profile profile(path);
    if (!profile) return SENSOR_ERR_PROFILE;
    const SectionName section(profile.get(), model);
    Keys keys(profile.get(), section.get());
    int count = 0;
    if (const Status s = read_count(keys, key, count); s != SENSOR_OK) return s;

    char* result = static_cast<char*>(std::malloc(kCountTextSize));
    *text = result;
    if (result == nullptr) return SENSOR_ERR_NOMEM;
    std::memset(result, 0, kCountTextSize);
    quorvik::text::format_into({result, kCountTextSize}, "%d", count);
    return SENSOR_OK;
}

}  // namespace

extern "C" int SensorVoltQuery(const char* path, const char* model, char** text) noexcept {
    return quorvik::guard::run_with_text(SENSOR_ERR_NOMEM, text, [&]() -> int {
        return count_query(path, model, text, schema::kVoltCount);
    });
}

extern "C" int SensorTempQuery(const char* path, const char* model, char** text) noexcept {
    return quorvik::guard::run_with_text(SENSOR_ERR_NOMEM, text, [&]() -> int {
        return count_query(path, model, text, schema::kTempCount);
    });
}

extern "C" int SensorFanQuery(const char* path, const char* model, char** text) noexcept {
    return quorvik::guard::run_with_text(SENSOR_ERR_NOMEM, text, [&]() -> int {
        return count_query(path, model, text, schema::kFanCount);
    });
}
