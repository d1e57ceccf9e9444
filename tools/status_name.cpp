#include "quorvik_common/status_table.h"
#include "report.h"

namespace quorvik::report {

const char* status_name(int status) {
    // Success is "OK" whichever library answered.
    if (status == 0) return "OK";
    const status::Status* row = status::find(status);
    return row != nullptr ? row->name : "UNKNOWN";
}

std::string_view Reading::label(std::string_view name) const {
    for (const Label& entry : labels) {
        if (entry.name == name) return entry.value;
    }
    return {};
}

}  // namespace quorvik::report
