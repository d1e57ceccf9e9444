// How many inputs of a kind the profile declares for a model, as heap text
// for host applications.
#include <cstdlib>
#include <cstring>

#include "QuorvikSO.h"
#include "quorvik_common/guard.h"
#include "quorvik_common/ini_value.h"
#include "quorvik_common/model_match.h"
#include "quorvik_common/sensor_inputs.h"
#include "quorvik_common/text.h"

namespace {

using namespace quorvik::sensor;
namespace schema = quorvik::schema;

constexpr std::size_t kCountTextSize = 1024;

int count_query(const char* path, const char* model, char** text, const schema::InputKind& kind) {
    if (path == nullptr || model == nullptr || text == nullptr) return SENSOR_ERR_VALUE;
    quorvik::ini::Profile profile(path);
    if (!profile) return SENSOR_ERR_PROFILE;
    const SectionName section(profile.get(), model);
    quorvik::SectionKeys keys(profile.get(), section.get());
    int count = 0;
    if (const Status s = read_count(keys, kind.count_key, count); s != SENSOR_OK) return s;

    char* result = static_cast<char*>(std::malloc(kCountTextSize));
    *text = result;
    if (result == nullptr) return SENSOR_ERR_NOMEM;
    std::memset(result, 0, kCountTextSize);
    quorvik::text::format_into({result, kCountTextSize}, "%d", count);
    return SENSOR_OK;
}

int guarded_count_query(const char* path, const char* model, char** text,
                        const schema::InputKind& kind) noexcept {
    return quorvik::guard::run_with_text(
        SENSOR_ERR_NOMEM, text, [&]() -> int { return count_query(path, model, text, kind); });
}

}  // namespace

extern "C" int SensorVoltQuery(const char* path, const char* model, char** text) noexcept {
    return guarded_count_query(path, model, text, schema::kVolt);
}

extern "C" int SensorTempQuery(const char* path, const char* model, char** text) noexcept {
    return guarded_count_query(path, model, text, schema::kTemp);
}

extern "C" int SensorFanQuery(const char* path, const char* model, char** text) noexcept {
    return guarded_count_query(path, model, text, schema::kFan);
}
