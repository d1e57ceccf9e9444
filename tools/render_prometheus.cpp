// The report in the Prometheus text exposition format, for node_exporter's
// textfile collector, in its conventions: one gauge family per quantity with
// HELP and TYPE once, a sample per reading that was read, base units, the
// label names node_exporter gives the same things (sensor, device) so that
// queries join on them, quorvik_build_info, when the report was collected and
// how long that took, quorvik_board_info for what is known of the identity,
// quorvik_reading_ok for every reading (1 or 0, the same series whatever the
// status) and quorvik_reading_status_info naming the status of each failed
// one.
#include <charconv>
#include <cmath>
#include <string>
#include <vector>

#include "report.h"

namespace quorvik::report {
namespace {

constexpr const char* kBuildInfo = "quorvik_build_info";
constexpr const char* kBuildInfoHelp = "Always 1; version is quorvik-info's version.";
constexpr const char* kStarted = "quorvik_report_timestamp_seconds";
constexpr const char* kStartedHelp = "Unix time at which the collection of this report started.";
constexpr const char* kDuration = "quorvik_report_duration_seconds";
constexpr const char* kDurationHelp = "Time the collection of this report took, in seconds.";
constexpr const char* kReadingOk = "quorvik_reading_ok";
constexpr const char* kReadingOkHelp =
    "1 when the reading was read, 0 when it failed; see quorvik_reading_status_info.";
constexpr const char* kStatusInfo = "quorvik_reading_status_info";
constexpr const char* kStatusInfoHelp =
    "Always 1, for each reading that failed; status names why, code is its number.";

// The report's label names that node_exporter spells otherwise.
std::string label_name(const std::string& name) {
    if (name == "label") return "sensor";
    if (name == "interface" || name == "disk") return "device";
    return name;
}

// Length of the valid UTF-8 sequence at text[at], or 0.
std::size_t utf8_sequence(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    }
    if (length == 0 || at + length > text.size()) return 0;
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (std::size_t i = at + 2; i < at + length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    }
    return length;
}

// Label values are UTF-8 with backslash, double quote and newline escaped.
std::string label_value(std::string_view text) {
    std::string escaped;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = utf8_sequence(text, at);
        if (length == 0) {
            escaped += "\xEF\xBF\xBD";  // U+FFFD for a byte that starts no character
            ++at;
            continue;
        }
        const char c = text[at];
        if (c == '\\') {
            escaped += "\\\\";
        } else if (c == '"') {
            escaped += "\\\"";
        } else if (c == '\n') {
            escaped += "\\n";
        } else {
            escaped.append(text, at, length);
        }
        at += length;
    }
    return escaped;
}

std::string sample_value(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string sample(const char* metric, const std::vector<Label>& labels, double value) {
    std::string line = metric;
    if (!labels.empty()) {
        line += '{';
        for (std::size_t i = 0; i < labels.size(); ++i) {
            if (i > 0) line += ',';
            line += label_name(labels[i].name) + "=\"" + label_value(labels[i].value) + '"';
        }
        line += '}';
    }
    return line + ' ' + sample_value(value) + '\n';
}

std::string family(const char* metric, const char* help) {
    return std::string("# HELP ") + metric + ' ' + help + "\n# TYPE " + metric + " gauge\n";
}

bool is_identity(const Reading& reading) {
    return reading.quantity->unit == Unit::text;
}

// When the report was collected, and how long that took.
std::string report_timing(const Report& report) {
    std::string text;
    if (report.started_seconds > 0) {
        text += family(kStarted, kStartedHelp) + sample(kStarted, {}, report.started_seconds);
    }
    if (report.duration_seconds >= 0) {
        text += family(kDuration, kDurationHelp) + sample(kDuration, {}, report.duration_seconds);
    }
    return text;
}

// The identity texts that were read; nothing when the model is unknown, as
// labels of an unidentified board would only be empty.
std::string board_info(const Report& report) {
    std::vector<Label> labels;
    bool identified = false;
    for (const Reading& reading : report.readings) {
        if (!is_identity(reading) || !reading.ok()) continue;
        labels.push_back({reading.quantity->name, reading.text});
        identified = identified || reading.quantity == &quantity::kModel;
    }
    if (!identified) return {};
    const Quantity& info = quantity::kModel;
    return family(info.metric, info.help) + sample(info.metric, labels, 1);
}

std::string values(const Report& report, const Quantity& quantity) {
    std::string samples;
    for (const Reading& reading : report.readings) {
        if (reading.quantity == &quantity && reading.ok()) {
            samples +=
                sample(quantity.metric, reading.labels, reading.value * quantity.metric_scale);
        }
    }
    return samples.empty() ? samples : family(quantity.metric, quantity.help) + samples;
}

// Which reading: its metric, the identity field, its own labels.
std::vector<Label> reading_labels(const Reading& reading) {
    std::vector<Label> labels = {{"reading", reading.quantity->metric}};
    if (is_identity(reading)) labels.push_back({"field", reading.quantity->name});
    labels.insert(labels.end(), reading.labels.begin(), reading.labels.end());
    return labels;
}

std::string reading_ok(const Report& report) {
    std::string text = family(kReadingOk, kReadingOkHelp);
    for (const Reading& reading : report.readings) {
        text += sample(kReadingOk, reading_labels(reading), reading.ok() ? 1 : 0);
    }
    return text;
}

std::string status_info(const Report& report) {
    std::string samples;
    for (const Reading& reading : report.readings) {
        if (reading.ok()) continue;
        std::vector<Label> labels = reading_labels(reading);
        labels.push_back({"status", status_name(reading.status)});
        labels.push_back({"code", std::to_string(reading.status)});
        samples += sample(kStatusInfo, labels, 1);
    }
    return samples.empty() ? samples : family(kStatusInfo, kStatusInfoHelp) + samples;
}

}  // namespace

std::string render_prometheus(const Report& report) {
    std::string text;
    if (!report.tool_version.empty()) {
        text += family(kBuildInfo, kBuildInfoHelp) +
                sample(kBuildInfo, {{"version", report.tool_version}}, 1);
    }
    text += report_timing(report);
    text += board_info(report);
    for (const Group& group : kGroups) {
        for (const Quantity* quantity : group.quantities) {
            if (quantity->unit != Unit::text) text += values(report, *quantity);
        }
    }
    if (report.readings.empty()) return text;
    return text + reading_ok(report) + status_info(report);
}

}  // namespace quorvik::report
