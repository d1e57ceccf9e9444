// The Super I/O hardware monitor behind its index and data ports: the ports'
// I/O permission, bank selection and register reads.
#pragma once

#include <cstdint>
#include <mutex>

#include "quorvik_common/sensor_inputs.h"

namespace quorvik::sensor {

// Permission of the index and data ports for one reading. Raising asks for
// both ports even when the first fails; what was raised is dropped on every
// path.
class PortPermission {
  public:
    explicit PortPermission(const PortDescription& ports);
    ~PortPermission() { drop(); }
    PortPermission(const PortPermission&) = delete;
    PortPermission& operator=(const PortPermission&) = delete;

    // Both ports may be accessed.
    bool held() const { return index_held_ && data_held_; }

    // Drops what is still raised; false when a drop failed.
    bool drop();

  private:
    unsigned long index_port_;
    unsigned long data_port_;
    bool index_held_;
    bool data_held_;
};

// Register access through the index and data ports; only while the
// permission is held.
class HardwareMonitor {
  public:
    explicit HardwareMonitor(const PortDescription& ports);

    // Selects the bank in the chip's bank register, keeping the bits its row
    // keeps. The bank stays selected after the reading.
    void select_bank(int bank);

    std::uint8_t read_register(int reg);

  private:
    std::uint16_t index_port_;
    std::uint16_t data_port_;
    const schema::BankedChip* chip_;
};

// The chip's index register and bank select are one state for every thread:
// a reading's index writes, bank selection and data accesses must not
// interleave with another reading's. Held for the whole of read_chip.
// (ioperm permissions are per thread on Linux, so they need no lock; they
// are raised inside it only to keep the sequence in one piece.)
[[nodiscard]] std::unique_lock<std::mutex> lock_chip();

// One reading: raises the permission, selects the bank on a banked chip, runs
// read(monitor) and drops the permission, all under lock_chip().
// SENSOR_ERR_VALUE, without touching a port, when the permission cannot be
// raised; SENSOR_ERR_VALUE also when it cannot be dropped afterwards, so that
// no result leaves the reader.
template <typename Read>
Status read_chip(const PortDescription& ports, int bank, Read&& read) {
    const auto chip = lock_chip();
    PortPermission permission(ports);
    if (!permission.held()) return SENSOR_ERR_VALUE;
    HardwareMonitor monitor(ports);
    if (ports.banked) monitor.select_bank(bank);
    read(monitor);
    return permission.drop() ? SENSOR_OK : SENSOR_ERR_VALUE;
}

}  // namespace quorvik::sensor
