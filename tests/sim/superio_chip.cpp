#include "superio_chip.h"

#include <cstring>
#include <stdexcept>

#include "sim_run.h"

namespace quorvik::sim {

SuperIoChip::SuperIoChip(std::uint16_t index_port, std::uint16_t data_port,
                         const schema::BankedChip* banked)
    : bank_select(SimRun::get().hardware().bank_select),
      index_port_(index_port),
      data_port_(data_port),
      banked_(banked) {
    qsim_hardware& hw = SimRun::get().hardware();
    std::memset(hw.registers, 0, sizeof hw.registers);
    hw.index_latch = 0;
    hw.bank_select = 0;
}

SuperIoChip::~SuperIoChip() {
    if (board_ != nullptr) board_->detach(this);
}

void SuperIoChip::attach_to(Board& board) {
    qsim_hardware& hw = SimRun::get().hardware();
    hw.index_port = index_port_;
    hw.data_port = data_port_;
    hw.banked = banked_ != nullptr ? 1 : 0;
    hw.bank_register = bank_register();
    hw.bank_kept = banked_ != nullptr ? banked_->kept_bits : 0;
    hw.chip_present = 1;
    board.attach(this);
    board_ = &board;
}

std::uint8_t& SuperIoChip::cell(int bank, std::uint8_t reg) const {
    if (bank < 0 || bank >= QSIM_REGISTER_FILES) throw std::out_of_range("no such bank");
    return SimRun::get().hardware().registers[bank][reg];
}

void SuperIoChip::set(int bank, std::uint8_t reg, std::uint8_t value) {
    cell(bank, reg) = value;
}

std::uint8_t SuperIoChip::get(int bank, std::uint8_t reg) const {
    return cell(bank, reg);
}

int SuperIoChip::selected_bank() const {
    return static_cast<int>(qsim_selected_bank(&SimRun::get().hardware()));
}

void SuperIoChip::seen(bool write, std::uint16_t port, std::uint8_t value) {
    if (port != data_port_) return;
    const qsim_hardware& hw = SimRun::get().hardware();
    accesses.push_back({write ? RegisterAccess::Write : RegisterAccess::Read, selected_bank(),
                        hw.index_latch, value});
}

}  // namespace quorvik::sim
