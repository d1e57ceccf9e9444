// One entry for reading any sensor of the identified board by type.
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "QuorvikSO.h"
#include "diag.h"
#include "identity_cache.h"
#include "quorvik_common/guard.h"
#include "quorvik_common/profile_schema.h"
#include "quorvik_common/reading_text.h"
#include "quorvik_common/sensor_reader.h"
#include "quorvik_common/text.h"
#include "smi_port.h"

namespace {

using quorvik::sensor::kScratchSize;

using quorvik::sensor::Reader;
namespace schema = quorvik::schema;

// The reader of each input kind.
struct KindReader {
    const schema::InputKind& kind;
    Reader reader;
};
constexpr KindReader kReaders[] = {
    {schema::kTemp, SensorTemp}, {schema::kVolt, SensorVolt}, {schema::kFan, SensorFan}};

Reader reader_for(unsigned long type) {
    for (const KindReader& row : kReaders) {
        if (row.kind.dispatch_type == type) return row.reader;
    }
    return nullptr;
}

using CachedModel = char[sizeof Model_str];

// The model names the identified board: equal to the cached model name, case
// and all. A cache without its terminator names nothing.
bool names_identified_board(const char* model, const CachedModel& cached,
                            char (&scratch)[kScratchSize]) {
    const std::size_t length = strnlen(model, kScratchSize);
    if (length == kScratchSize) return false;
    std::memcpy(scratch, model, length + 1);
    const std::size_t cached_length = strnlen(cached, sizeof cached);
    return cached_length < sizeof cached && std::string_view(scratch, length) == cached;
}

void refuse_model(const CachedModel& cached) {
    char message[64];
    quorvik::text::format_into(message, "product input error<%.*s>\r\n",
                               static_cast<int>(strnlen(cached, sizeof cached)), cached);
    quorvik::diag::text(message);
}

}  // namespace

extern "C" int GetSensorValueByType(const char* model, unsigned long type, long input,
                                    int* value) noexcept {
    return quorvik::guard::run(0, [&]() -> int {
        if (model == nullptr || value == nullptr) return 0;
        // A snapshot: an identification attempt in another thread may rewrite
        // the cache until identification is final.
        CachedModel cached;
        quorvik::identity::copy_model(cached);
        char scratch[kScratchSize] = {};
        if (!names_identified_board(model, cached, scratch)) {
            refuse_model(cached);
            return 0;
        }

        // The reading goes on without it (the failed raise has said why); a
        // permission the caller holds stays with it.
        quorvik::smi::PortBracket smi_port;
        const Reader reader = reader_for(type);
        char* text = nullptr;
        int reading = 0;
        bool parsed = false;
        if (reader != nullptr &&
            reader(QUORVIK_PROFILE_PATH, cached, static_cast<int>(input), &text) == SENSOR_OK) {
            parsed = text != nullptr && quorvik::sensor::parse_reading(text, scratch, reading);
        }
        std::free(text);
        smi_port.release();
        if (!parsed) return 0;
        *value = reading;
        return 1;
    });
}
