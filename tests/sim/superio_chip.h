// A Super I/O hardware monitor on the simulated board's ports: the chip of
// the test run's state (index and data port, one register file per bank),
// arranged and watched here. A banked chip (a row of schema::kBankedChips)
// selects the bank with the bits of its bank register that a selection does
// not keep; every bank shows that register. An unbanked chip has one
// register file in which it is an ordinary register. One chip at a time:
// a new one starts with every register 0.
#pragma once

#include <cstdint>
#include <vector>

#include "quorvik_common/profile_schema.h"
#include "sim_board.h"

namespace quorvik::sim {

class SuperIoChip {
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
    virtual ~SuperIoChip();
    SuperIoChip(const SuperIoChip&) = delete;
    SuperIoChip& operator=(const SuperIoChip&) = delete;

    // The bank register of a banked chip (of the W83627DHG for one without).
    std::uint8_t bank_register() const {
        return (banked_ != nullptr ? *banked_ : schema::kBankedChips[0]).bank_register;
    }

    // Puts the chip on the board's index and data ports.
    void attach_to(Board& board);

    void set(int bank, std::uint8_t reg, std::uint8_t value);
    std::uint8_t get(int bank, std::uint8_t reg) const;

    // The bank register of a banked chip and the bank it selects.
    std::uint8_t& bank_select;
    int selected_bank() const;

    // Every data-port access with the bank and register it reached.
    std::vector<RegisterAccess> accesses;

    bool answers(std::uint16_t port) const { return port == index_port_ || port == data_port_; }

    // An access to one of its ports, told by the board: a write before it
    // reaches the chip, a read after.
    virtual void seen(bool write, std::uint16_t port, std::uint8_t value);

  private:
    std::uint8_t& cell(int bank, std::uint8_t reg) const;

    std::uint16_t index_port_;
    std::uint16_t data_port_;
    const schema::BankedChip* banked_;
    Board* board_ = nullptr;
};

}  // namespace quorvik::sim
