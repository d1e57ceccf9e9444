// The report as one JSON document (schema_version 1, described in
// quorvik-info(1)): where and when it was collected, identity texts by name,
// then every other reading with its group, name, labels, unit, and value or
// status.
#include <cmath>
#include <nlohmann/json.hpp>

#include "report.h"

namespace quorvik::report {
namespace {

using Json = nlohmann::ordered_json;

constexpr int kSchemaVersion = 1;

const char* unit_name(Unit unit) {
    switch (unit) {
        case Unit::volts:
            return "volts";
        case Unit::celsius:
            return "celsius";
        case Unit::rpm:
            return "rpm";
        case Unit::ratio:
            return "ratio";
        case Unit::bytes:
            return "bytes";
        case Unit::bits_per_second:
            return "bits_per_second";
        case Unit::text:
        case Unit::number:
        case Unit::flag:
            break;
    }
    return "";
}

// Whole values (counts, whole degrees, bytes) as JSON integers, others as
// they are; doubles hold integers exactly up to 2^53.
Json number(double value) {
    constexpr double kExactIntegers = 9007199254740992.0;
    if (std::trunc(value) == value && std::fabs(value) < kExactIntegers) {
        return static_cast<long long>(value);
    }
    return value;
}

void add_status(Json& object, const Reading& reading) {
    object["status"] = status_name(reading.status);
    object["code"] = reading.status;
    if (!reading.note.empty()) object["note"] = reading.note;
}

Json identity_entry(const Reading& reading) {
    Json entry = Json::object();
    if (reading.ok()) entry["value"] = reading.text;
    add_status(entry, reading);
    return entry;
}

Json reading_entry(const Reading& reading) {
    Json entry;
    entry["group"] = reading.quantity->group;
    entry["name"] = reading.quantity->name;
    Json labels = Json::object();
    for (const Label& label : reading.labels) labels[label.name] = label.value;
    entry["labels"] = std::move(labels);
    entry["unit"] = unit_name(reading.quantity->unit);
    if (reading.ok()) entry["value"] = number(reading.value);
    add_status(entry, reading);
    return entry;
}

}  // namespace

std::string render_json(const Report& report) {
    Json document;
    document["schema_version"] = kSchemaVersion;
    // What a fleet needs to merge many boards' documents.
    document["quorvik_info_version"] = report.tool_version;
    document["hostname"] = report.hostname;
    document["collected_at"] = report.collected_at;
    document["identity"] = Json::object();
    document["readings"] = Json::array();
    for (const Reading& reading : report.readings) {
        if (reading.quantity->unit == Unit::text) {
            document["identity"][reading.quantity->name] = identity_entry(reading);
        } else {
            document["readings"].push_back(reading_entry(reading));
        }
    }
    // Texts from the BIOS or the mounts table need not be UTF-8; such bytes
    // become U+FFFD rather than an exception.
    return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace quorvik::report
