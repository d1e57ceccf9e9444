// A systemd unit file read as systemd reads its keys, for the tests of the
// metrics service.
#pragma once

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace quorvik::units::test {

inline const std::string kService = QUORVIK_UNIT_DIR "/quorvik-metrics.service";

// Every value of every key of a unit file, in order (repeated keys add up;
// an empty assignment clears the list, as systemd reads it).
using Unit = std::map<std::string, std::vector<std::string>>;

inline Unit read_unit(const std::string& path) {
    Unit unit;
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        const auto equals = line.find('=');
        if (line.empty() || line[0] == '#' || line[0] == '[' || equals == std::string::npos) {
            continue;
        }
        const std::string key = line.substr(0, equals);
        const std::string value = line.substr(equals + 1);
        if (value.empty()) {
            unit[key].clear();
        } else {
            unit[key].push_back(value);
        }
    }
    return unit;
}

inline std::string last(const Unit& unit, const std::string& key) {
    const auto found = unit.find(key);
    return found == unit.end() || found->second.empty() ? "" : found->second.back();
}

// The blank-separated words of all of a key's values.
inline std::set<std::string> words(const Unit& unit, const std::string& key) {
    std::set<std::string> all;
    if (!unit.contains(key)) return all;
    for (const std::string& value : unit.at(key)) {
        std::istringstream in(value);
        for (std::string word; in >> word;) all.insert(word);
    }
    return all;
}

}  // namespace quorvik::units::test
