// The status table against what it stands for: the #defines of both public
// headers and the status lists of the man pages, each read as text.
#include "quorvik_common/status_table.h"

#include <gtest/gtest.h>

#include <charconv>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using quorvik::status::kStatuses;
using quorvik::status::Library;

const std::string kSourceDir = std::string(QUORVIK_TEST_DATA) + "/../../";

std::vector<std::string> lines_of(const std::string& relative_path) {
    std::ifstream file(kSourceDir + relative_path);
    EXPECT_TRUE(file) << relative_path;
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    return lines;
}

// "-100", "(-100)", "0" and the man pages' "\-100": the whole text as a number.
std::optional<int> number_in(std::string text) {
    if (text.size() > 2 && text.front() == '(' && text.back() == ')') {
        text = text.substr(1, text.size() - 2);
    }
    if (text.starts_with("\\-")) text.erase(0, 1);
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::string row_text(const std::string& name, int value, Library library) {
    return name + " " + std::to_string(value) +
           (library == Library::quorvik ? " quorvik.h" : " QuorvikSO.h");
}

std::set<std::string> table_rows(std::optional<Library> only = std::nullopt) {
    std::set<std::string> rows;
    for (const auto& status : kStatuses) {
        if (!only || status.library == *only)
            rows.insert(row_text(status.name, status.value, status.library));
    }
    return rows;
}

// A status is a #define with a number that is negative, names an error or
// says OK; its comment is its meaning.
struct HeaderStatus {
    std::string name;
    int value;
    std::string comment;
};

std::vector<HeaderStatus> header_statuses(const std::string& path) {
    std::vector<HeaderStatus> found;
    for (const std::string& line : lines_of(path)) {
        std::istringstream words(line);
        std::string define, name, value_text;
        if (!(words >> define >> name >> value_text) || define != "#define") continue;
        const std::optional<int> value = number_in(value_text);
        if (!value ||
            !(*value < 0 || name.find("ERR") != std::string::npos || name.ends_with("_OK")))
            continue;
        const auto open = line.find("/* "), close = line.rfind(" */");
        found.push_back({name, *value,
                         open == std::string::npos ? "" : line.substr(open + 3, close - open - 3)});
    }
    return found;
}

TEST(StatusTable, HasARowForEveryStatusOfBothPublicHeaders) {
    std::set<std::string> in_headers;
    for (const auto& [path, library] :
         {std::pair{"libquorvik/include/quorvik.h", Library::quorvik},
          std::pair{"libQuorvikSO/include/QuorvikSO.h", Library::quorvik_so}}) {
        for (const HeaderStatus& status : header_statuses(path)) {
            SCOPED_TRACE(status.name);
            in_headers.insert(row_text(status.name, status.value, library));
            const auto* row = quorvik::status::find(status.value);
            ASSERT_NE(row, nullptr);
            if (!status.comment.empty()) {
                EXPECT_EQ(row->meaning, status.comment);
            }
        }
    }
    EXPECT_EQ(in_headers, table_rows());
}

// The names in bold of a man page's section, each with the number in the
// parentheses that follow it on its line or the next.
std::set<std::string> man_page_rows(const std::string& page, const std::string& heading,
                                    Library library) {
    const std::vector<std::string> lines = lines_of("docs/man/" + page);
    std::set<std::string> rows;
    bool inside = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].starts_with(".SH") || lines[i].starts_with(".SS"))
            inside = lines[i] == heading;
        if (!inside || !(lines[i].starts_with(".B ") || lines[i].starts_with(".BR "))) continue;
        std::istringstream words(lines[i]);
        std::string macro, name;
        words >> macro >> name;
        const std::string after = lines[i].substr(macro.size() + 1 + name.size()) + " " +
                                  (i + 1 < lines.size() ? lines[i + 1] : "");
        const auto open = after.find('(');
        const auto end = after.find_first_of(":)", open);
        if (open == std::string::npos || end == std::string::npos) continue;
        if (const auto value = number_in(after.substr(open + 1, end - open - 1))) {
            rows.insert(row_text(name, *value, library));
        }
    }
    return rows;
}

TEST(StatusTable, ManPagesListEachLibrarysStatusesWithTheirValues) {
    const struct {
        const char* page;
        const char* heading;
        Library library;
    } pages[] = {
        {"libquorvik.3", ".SH RETURN VALUE", Library::quorvik},
        {"libQuorvikSO.3", ".SS Sensor statuses", Library::quorvik_so},
    };
    for (const auto& page : pages) {
        SCOPED_TRACE(page.page);
        EXPECT_EQ(man_page_rows(page.page, page.heading, page.library), table_rows(page.library));
    }
}

}  // namespace
