// The simulated board made to watch for what concurrent callers could break:
// a Super I/O chip that notices a data access following another thread's
// index write, a firmware mailbox that notices chunks of two transfers mixed
// together. The digital-I/O driver is the test run's (sim_run.h).
#pragma once

#include <cstdint>
#include <thread>
#include <vector>

#include "sim_board.h"
#include "superio_chip.h"

namespace quorvik::sim {

// The chip's index register is one state for all threads: a data access
// must come from the thread that wrote the index last. The board tells the
// chip under its own lock, so the check needs none.
class CheckedChip : public SuperIoChip {
  public:
    CheckedChip(std::uint16_t index_port, std::uint16_t data_port, bool banked)
        : SuperIoChip(index_port, data_port, banked), index_port_(index_port) {}

    int foreign_data_accesses = 0;

    void seen(bool write, std::uint16_t port, std::uint8_t value) override;

  private:
    std::uint16_t index_port_;
    std::thread::id index_writer_;
};

// A firmware store behind the SMI port, served as the mailbox commands ask:
// reads of 16-byte chunks, and writes announced by an open and sent chunk by
// chunk. It knows what a whole transfer looks like (a read transfer here is
// always kReadChunks chunks) and counts every SMI that breaks into one.
class Firmware {
  public:
    static constexpr std::uint8_t kEcho = 0x42;  // answers ~EBX in EBX
    static constexpr std::uint32_t kStoreSize = 4096;
    static constexpr int kReadChunks = 4;

    // Becomes the board's SMI handler.
    void serve(Board& board);

    int broken_transfers = 0;

  private:
    void handle(platform::SmiRegisters& r);

    std::vector<std::uint8_t> store_ = std::vector<std::uint8_t>(kStoreSize);
    std::thread::id owner_;
    std::uint32_t next_offset_ = 0;
    int write_chunks_left_ = 0;
    int read_chunks_left_ = 0;
};

}  // namespace quorvik::sim
