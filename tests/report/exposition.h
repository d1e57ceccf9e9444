// A strict reader of the Prometheus text exposition format, for checking
// quorvik-info's output line by line: metric and label names, HELP and TYPE
// once per family and before its samples, families not split, label value
// escapes, numeric values, no series twice.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quorvik::report::test {

using LabelSet = std::map<std::string, std::string>;

struct Sample {
    std::string name;
    LabelSet labels;  // unescaped values
    double value = 0.0;
};

struct Exposition {
    std::vector<Sample> samples;
    std::map<std::string, std::string> help;  // unescaped
    std::map<std::string, std::string> type;
    std::vector<std::string> errors;  // "line 3: ..." for every fault found

    // The value of the series, or nothing when it is not there.
    std::optional<double> value(const std::string& name, const LabelSet& labels = {}) const;
    // Samples of a family.
    std::vector<Sample> family(const std::string& name) const;
};

Exposition parse_exposition(const std::string& text);

}  // namespace quorvik::report::test
