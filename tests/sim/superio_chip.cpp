#include "superio_chip.h"

#include <algorithm>

namespace quorvik::sim {

SuperIoChip::SuperIoChip(std::uint16_t index_port, std::uint16_t data_port,
                         const schema::BankedChip* banked)
    : index_port_(index_port),
      data_port_(data_port),
      banked_(banked),
      // Files for every bank any chip has (tests fill them alike), and for
      // every bank of this chip's row.
      registers_(static_cast<std::size_t>(
          std::max(kBanks, banked != nullptr ? banked->highest_bank + 1 : 1))) {}

void SuperIoChip::attach_to(Board& board) {
    board.attach(index_port_, this);
    board.attach(data_port_, this);
}

void SuperIoChip::set(int bank, std::uint8_t reg, std::uint8_t value) {
    registers_.at(static_cast<std::size_t>(bank))[reg] = value;
}

std::uint8_t SuperIoChip::get(int bank, std::uint8_t reg) const {
    return registers_.at(static_cast<std::size_t>(bank))[reg];
}

std::uint8_t& SuperIoChip::cell(std::uint8_t reg) {
    if (banked_ != nullptr && reg == banked_->bank_register) return bank_select;
    // A bank number beyond the register files reaches none: read as 0xFF.
    const auto bank = static_cast<std::size_t>(selected_bank());
    if (bank >= registers_.size()) {
        static std::uint8_t open_bus;
        open_bus = 0xFF;
        return open_bus;
    }
    return registers_[bank][reg];
}

std::uint8_t SuperIoChip::read(std::uint16_t port) {
    if (port == index_port_) return index_;
    const std::uint8_t value = cell(index_);
    accesses.push_back({RegisterAccess::Read, selected_bank(), index_, value});
    return value;
}

void SuperIoChip::write(std::uint16_t port, std::uint8_t value) {
    if (port == index_port_) {
        index_ = value;
        return;
    }
    accesses.push_back({RegisterAccess::Write, selected_bank(), index_, value});
    cell(index_) = value;
}

}  // namespace quorvik::sim
