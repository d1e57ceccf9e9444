// A run's state directory: created from a board by `run`, changed by `set`,
// read by `get` and by the stand-in tools (quorvik-sim(1), "STATE DIRECTORY").
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "board.h"
#include "images.h"
#include "sim_state.h"

namespace quorvik::simtool {

// The hardware file's contents for board: the chip with its bank register
// from the chip table, the MSRs, the driver, power inputs and relays.
qsim_hardware hardware_of(const Board& board);

// Creates dir (which must not exist or be empty) for board; self is the
// quorvik-sim executable that the stand-in tools link to. An error text, or
// empty on success.
std::string create_state(const Board& board, const MemoryImages& images, const std::string& dir,
                         const std::string& self);

// The soft state of one item (eth0, ttyS0, disk0): key = value pairs kept in
// STATE/sim/ITEM, from which the files the command lines read are derived.
using Item = std::map<std::string, std::string>;
std::optional<Item> read_item(const std::string& dir, const std::string& name);
std::string write_item(const std::string& dir, const std::string& name, const Item& item);
std::vector<std::string> item_names(const std::string& dir, const std::string& prefix);
// The item a port of the board starts with.
Item item_of(const EthPort& port);
Item item_of(const SerialPort& port);

// Writes text to path through a temporary file and a rename, so that a
// reader sees the old or the new text, never half of one. Empty or an error.
std::string replace_file(const std::string& path, const std::string& text);

}  // namespace quorvik::simtool
