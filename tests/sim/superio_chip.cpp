#include "superio_chip.h"

namespace quorvik::sim {

SuperIoChip::SuperIoChip(std::uint16_t index_port, std::uint16_t data_port, bool banked)
    : index_port_(index_port), data_port_(data_port), banked_(banked) {}

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
    if (banked_ && reg == kBankSelect) return bank_select;
    return registers_[static_cast<std::size_t>(selected_bank())][reg];
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
