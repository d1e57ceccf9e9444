// The identity readings, and the whole collection in report order.
#include "quorvik.h"
#include "report.h"

namespace quorvik::report {
namespace {

void add_text(Report& report, const Quantity& quantity, int (*query)(char*)) {
    char text[128];
    Reading reading(quantity);
    reading.status = query(text);
    if (reading.ok()) reading.text = text;
    report.readings.push_back(std::move(reading));
}

}  // namespace

void collect_identity(Report& report) {
    add_text(report, quantity::kModel, get_device_name);
    add_text(report, quantity::kBiosVersion, get_bios_ver);
    add_text(report, quantity::kSerialNumber, get_ser_num);
}

Report collect(const CollectOptions& options) {
    Report report;
    collect_identity(report);
    collect_sensors(report);
    collect_system(report, options);
    return report;
}

}  // namespace quorvik::report
