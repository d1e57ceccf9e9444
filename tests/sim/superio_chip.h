// A Super I/O hardware monitor on the simulated board's port bus: an index
// port that takes a register number and a data port that reads or writes the
// selected register. A banked chip (W83627DHG, W83627EHF) keeps one register
// file per bank and selects the bank with the low three bits of its bank
// select register 0x4E, which every bank shows; an unbanked chip has one
// register file in which 0x4E is an ordinary register.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "sim_board.h"

namespace quorvik::sim {

class SuperIoChip : public PortDevice {
  public:
    static constexpr std::uint8_t kBankSelect = 0x4E;
    static constexpr int kBanks = 8;

    struct RegisterAccess {
        enum Kind { Read, Write } kind;
        int bank;
        std::uint8_t reg;
        std::uint8_t value;
        bool operator==(const RegisterAccess&) const = default;
    };

    SuperIoChip(std::uint16_t index_port, std::uint16_t data_port, bool banked);

    // Puts the chip on the board's index and data ports.
    void attach_to(Board& board);

    void set(int bank, std::uint8_t reg, std::uint8_t value);
    std::uint8_t get(int bank, std::uint8_t reg) const;

    // Register 0x4E of a banked chip and the bank it selects.
    std::uint8_t bank_select = 0;
    int selected_bank() const { return banked_ ? bank_select & (kBanks - 1) : 0; }

    // Every data-port access with the bank and register it reached.
    std::vector<RegisterAccess> accesses;

    std::uint8_t read(std::uint16_t port) override;
    void write(std::uint16_t port, std::uint8_t value) override;

  private:
    std::uint8_t& cell(std::uint8_t reg);

    std::uint16_t index_port_;
    std::uint16_t data_port_;
    bool banked_;
    std::uint8_t index_ = 0;
    std::array<std::array<std::uint8_t, 256>, kBanks> registers_{};
};

}  // namespace quorvik::sim
