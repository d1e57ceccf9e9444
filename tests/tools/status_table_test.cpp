// The status table against what it stands for, each read as text: the status
// #defines of both public headers and the status lists of the man pages.
#include "quorvik_common/status_table.h"

#include <gtest/gtest.h>

#include <charconv>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

using quorvik::status::Library;

std::vector<std::string> source_lines(const std::string& source_file) {
    std::ifstream file(std::string(QUORVIK_TEST_DATA) + "/../../" + source_file);
    EXPECT_TRUE(file) << source_file;
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    return lines;
}

// The number text starts with, after a parenthesis: "(-100)", "0", "(\-1: ...".
std::optional<int> number_in(std::string_view text) {
    if (text.starts_with('(')) text.remove_prefix(1);
    if (text.starts_with("\\-")) text.remove_prefix(1);  // roff's minus
    int value = 0;
    const auto read = std::from_chars(text.data(), text.data() + text.size(), value);
    return read.ec == std::errc() ? std::optional(value) : std::nullopt;
}

std::string row(const std::string& name, int value) {
    return name + " " + std::to_string(value);
}

std::set<std::string> table_rows(Library of) {
    std::set<std::string> rows;
    for (const auto& s : quorvik::status::kStatuses) {
        if (s.library == of) rows.insert(row(s.name, s.value));
    }
    return rows;
}

// The statuses a file lists within a section (all of it for ""): each
// #define or name in bold with the number after it, or in the parenthesis
// that follows on its line or the next. A status is negative, or its name
// says ERR or OK.
std::set<std::string> listed_in(const std::string& file, const std::string& section) {
    const std::vector<std::string> lines = source_lines(file);
    std::set<std::string> listed;
    bool inside = section.empty();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].starts_with(".SH") || lines[i].starts_with(".SS")) {
            inside = lines[i] == section;
        }
        std::istringstream words(lines[i]);
        std::string macro, name, rest;
        words >> macro >> name;
        std::getline(words >> std::ws, rest);
        if (rest.empty() && i + 1 < lines.size()) rest = lines[i + 1];
        const auto open = rest.find('(');
        const auto value = number_in(open == std::string::npos ? rest : rest.substr(open));
        if (!inside || !value || (macro != "#define" && macro != ".B" && macro != ".BR")) continue;
        if (*value < 0 || name.find("ERR") != std::string::npos || name.ends_with("_OK")) {
            listed.insert(row(name, *value));
        }
    }
    return listed;
}

TEST(StatusTable, EachLibrarysHeaderAndManPageListExactlyItsRows) {
    const struct {
        const char* file;
        const char* section;
        Library library;
    } lists[] = {
        {"libquorvik/include/quorvik.h", "", Library::quorvik},
        {"libQuorvikSO/include/QuorvikSO.h", "", Library::quorvik_so},
        {"docs/man/libquorvik.3", ".SH RETURN VALUE", Library::quorvik},
        {"docs/man/libQuorvikSO.3", ".SS Sensor statuses", Library::quorvik_so},
    };
    for (const auto& list : lists) {
        EXPECT_EQ(listed_in(list.file, list.section), table_rows(list.library)) << list.file;
    }
}

TEST(StatusTable, MeaningsAreThePublicHeadersComments) {
    for (const auto& s : quorvik::status::kStatuses) {
        const char* header = s.library == Library::quorvik ? "libquorvik/include/quorvik.h"
                                                           : "libQuorvikSO/include/QuorvikSO.h";
        for (const std::string& line : source_lines(header)) {
            const auto comment = line.find("/* ");
            if (line.starts_with("#define " + std::string(s.name) + " ") &&
                comment != std::string::npos) {
                EXPECT_EQ(line.substr(comment + 3, line.rfind(" */") - comment - 3), s.meaning);
            }
        }
    }
}

}  // namespace
