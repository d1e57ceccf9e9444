#include "superio.h"

#include "diag.h"
#include "locks.h"
#include "platform.h"

namespace quorvik::sensor {
namespace {

// One for all chips: a board has one hardware monitor, and a reading is short.
std::mutex& chip_mutex = locks::chip();

// One port's permission; prints the diagnostic when the call fails.
bool set_permission(unsigned long port, int turn_on) {
    if (platform::ioperm(port, 1, turn_on) == 0) return true;
    diag::line("Error: ioperm() fail\r");
    return false;
}

}  // namespace

std::unique_lock<std::mutex> lock_chip() {
    return std::unique_lock(chip_mutex);
}

// Port numbers are ints; the permission call takes them whole (a number
// outside the port space fails there), the port instructions their low 16 bits.
PortPermission::PortPermission(const PortDescription& ports)
    : index_port_(static_cast<unsigned long>(ports.index_port)),
      data_port_(static_cast<unsigned long>(ports.data_port)),
      index_held_(set_permission(index_port_, 1)),
      data_held_(set_permission(data_port_, 1)) {
    if (!held()) drop();
}

bool PortPermission::drop() {
    bool dropped = true;
    if (index_held_) {
        index_held_ = false;
        dropped = set_permission(index_port_, 0) && dropped;
    }
    if (data_held_) {
        data_held_ = false;
        dropped = set_permission(data_port_, 0) && dropped;
    }
    return dropped;
}

HardwareMonitor::HardwareMonitor(const PortDescription& ports)
    : index_port_(static_cast<std::uint16_t>(ports.index_port)),
      data_port_(static_cast<std::uint16_t>(ports.data_port)),
      chip_(ports.banked) {}

void HardwareMonitor::select_bank(int bank) {
    if (chip_ == nullptr) return;
    platform::outb(chip_->bank_register, index_port_);
    const unsigned kept = platform::inb(data_port_) & chip_->kept_bits;
    platform::outb(static_cast<std::uint8_t>(kept | static_cast<unsigned>(bank)), data_port_);
}

std::uint8_t HardwareMonitor::read_register(int reg) {
    platform::outb(static_cast<std::uint8_t>(reg), index_port_);
    return platform::inb(data_port_);
}

}  // namespace quorvik::sensor
