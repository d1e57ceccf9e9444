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

std::vector<std::string> lines_of(const std::string& source_file) {
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

std::string row(const std::string& name, int value, Library library) {
    return name + " " + std::to_string(value) + (library == Library::quorvik ? " quorvik" : " SO");
}

std::set<std::string> table_rows(std::optional<Library> of = std::nullopt) {
    std::set<std::string> rows;
    for (const auto& s : quorvik::status::kStatuses) {
        if (!of || s.library == *of) rows.insert(row(s.name, s.value, s.library));
    }
    return rows;
}

TEST(StatusTable, HasTheRowOfEveryStatusOfBothPublicHeaders) {
    std::set<std::string> defined;
    for (const auto& [header, library] :
         {std::pair{"libquorvik/include/quorvik.h", Library::quorvik},
          std::pair{"libQuorvikSO/include/QuorvikSO.h", Library::quorvik_so}}) {
        for (const std::string& line : lines_of(header)) {
            std::istringstream words(line);
            std::string define, name, value_text;
            words >> define >> name >> value_text;
            const std::optional<int> value = number_in(value_text);
            // A status: a negative number, or a name that says ERR or OK.
            if (define != "#define" || !value ||
                !(*value < 0 || name.find("ERR") != std::string::npos || name.ends_with("_OK"))) {
                continue;
            }
            defined.insert(row(name, *value, library));
            const auto* status = quorvik::status::find(*value);
            const auto comment = line.find("/* ");
            if (status != nullptr && comment != std::string::npos) {
                EXPECT_EQ(line.substr(comment + 3, line.rfind(" */") - comment - 3),
                          status->meaning);
            }
        }
    }
    EXPECT_EQ(defined, table_rows());
}

TEST(StatusTable, ManPagesListEachLibrarysStatusesWithTheirValues) {
    const struct {
        const char* page;
        const char* section;
        Library library;
    } pages[] = {
        {"libquorvik.3", ".SH RETURN VALUE", Library::quorvik},
        {"libQuorvikSO.3", ".SS Sensor statuses", Library::quorvik_so},
    };
    for (const auto& page : pages) {
        SCOPED_TRACE(page.page);
        // Each name in bold with the number in the parenthesis after it,
        // on its line or the next.
        const std::vector<std::string> lines = lines_of(std::string("docs/man/") + page.page);
        std::set<std::string> listed;
        bool inside = false;
        for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
            if (lines[i].starts_with(".SH") || lines[i].starts_with(".SS")) {
                inside = lines[i] == page.section;
            }
            std::istringstream words(lines[i]);
            std::string macro, name;
            words >> macro >> name;
            if (!inside || (macro != ".B" && macro != ".BR")) continue;
            const std::string after =
                lines[i].substr(macro.size() + name.size() + 1) + lines[i + 1];
            const auto open = after.find('(');
            const auto value = number_in(open == std::string::npos ? "" : after.substr(open));
            if (value) listed.insert(row(name, *value, page.library));
        }
        EXPECT_EQ(listed, table_rows(page.library));
    }
}

}  // namespace
