// The serial port keys as the monitoring library reads them: port n is the
// node /dev/tty<TtyType><item n of TtyNum>. quorvik-info's profile checker
// reads them with the same code.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvik::tty {

// The node letters reach a shell command line: nothing but ASCII letters.
bool letters_only(std::string_view letters);

// The items of a TtyNum list, split at its separator; empty items are
// skipped, as strtok skips them.
std::vector<std::string> items(std::string_view list);

// One item's device number: its leading number (C locale, blanks skipped, 0
// when none) cut toward zero; nullopt when that does not fit an int.
std::optional<int> device_number(const char* item);

// The command that tells whether port's node exists, for its letters and
// device number. The monitoring library runs it only when it fits its
// 128-byte command line; a cut line would redirect to some other file.
std::string node_test_command(std::string_view letters, int number);

}  // namespace quorvik::tty
