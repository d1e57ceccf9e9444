// A Super I/O hardware monitor on the simulated board's port bus: an index
// port that takes a register number and a data port that reads or writes the
// selected register. A banked chip (a row of schema::kBankedChips) keeps one
// register file per bank and selects the bank with the bits of its bank
// register that a selection does not keep; every bank shows that register.
// An unbanked chip has one register file in which it is an ordinary register.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "quorvik_common/profile_schema.h"
#include "sim_board.h"

namespace quorvik::sim {

class SuperIoChip : public PortDevice {
  public:
    static constexpr int kBanks = schema::most_banks();

    struct RegisterAccess {
        enum Kind { Read, Write } kind;
        int bank;
        std::uint8_t reg;
        std::uint8_t value;
        bool operator==(const RegisterAccess&) const = default;
    };

    // banked: the chip's row, or null for a chip without banks.
    SuperIoChip(std::uint16_t index_port, std::uint16_t data_port,
                const schema::BankedChip* banked);
    // A W83627DHG, or a chip without banks.
    SuperIoChip(std::uint16_t index_port, std::uint16_t data_port, bool banked)
        : SuperIoChip(index_port, data_port, banked ? &schema::kBankedChips[0] : nullptr) {}

    // The bank register of a banked chip (of the W83627DHG for one without).
    std::uint8_t bank_register() const {
        return (banked_ != nullptr ? *banked_ : schema::kBankedChips[0]).bank_register;
    }

    // Puts the chip on the board's index and data ports.
    void attach_to(Board& board);

    void set(int bank, std::uint8_t reg, std::uint8_t value);
    std::uint8_t get(int bank, std::uint8_t reg) const;

    // The bank register of a banked chip and the bank it selects.
    std::uint8_t bank_select = 0;
    int selected_bank() const {
        return banked_ != nullptr ? bank_select & ~banked_->kept_bits & 0xFF : 0;
    }

    // Every data-port access with the bank and register it reached.
    std::vector<RegisterAccess> accesses;

    std::uint8_t read(std::uint16_t port) override;
    void write(std::uint16_t port, std::uint8_t value) override;

  private:
    std::uint8_t& cell(std::uint8_t reg);

    std::uint16_t index_port_;
    std::uint16_t data_port_;
    const schema::BankedChip* banked_;
    std::uint8_t index_ = 0;
    std::vector<std::array<std::uint8_t, 256>> registers_;  // one file per bank
};

}  // namespace quorvik::sim
