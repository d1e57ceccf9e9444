#include "concurrent_board.h"

#include <cerrno>
#include <cstring>

#include "QuorvikSO.h"

namespace quorvik::sim {

// ---- chip ----

void CheckedChip::seen(bool write, std::uint16_t port, std::uint8_t value) {
    if (port == index_port_ && write) {
        index_writer_ = std::this_thread::get_id();
    } else if (port != index_port_ && index_writer_ != std::this_thread::get_id()) {
        ++foreign_data_accesses;
    }
    SuperIoChip::seen(write, port, value);
}

// ---- firmware ----

namespace {

std::uint32_t load(const std::vector<std::uint8_t>& store, std::uint32_t at) {
    std::uint32_t word = 0;
    for (int i = 3; i >= 0; --i) word = word << 8 | store[at + static_cast<std::uint32_t>(i)];
    return word;
}

void save(std::vector<std::uint8_t>& store, std::uint32_t at, std::uint32_t word) {
    for (std::uint32_t i = 0; i < 4; ++i)
        store[at + i] = static_cast<std::uint8_t>(word >> (8 * i));
}

}  // namespace

void Firmware::serve(Board& board) {
    board.smi_handler = [this](platform::SmiRegisters& r) { handle(r); };
}

void Firmware::handle(platform::SmiRegisters& r) {
    const auto me = std::this_thread::get_id();
    const std::uint8_t command = static_cast<std::uint8_t>(r.eax);
    const bool in_transfer = write_chunks_left_ > 0 || read_chunks_left_ > 0;
    switch (command) {
        case SMBX_CMD_READ: {
            if (write_chunks_left_ > 0) ++broken_transfers;
            if (read_chunks_left_ == 0) {
                owner_ = me;
                next_offset_ = r.esi;
                read_chunks_left_ = kReadChunks;
            }
            if (owner_ != me || r.esi != next_offset_ || r.esi + 16 > kStoreSize) {
                ++broken_transfers;
                read_chunks_left_ = 0;
                return;
            }
            r.eax = load(store_, r.esi);
            r.ecx = load(store_, r.esi + 4);
            r.edx = load(store_, r.esi + 8);
            r.ebx = load(store_, r.esi + 12);
            next_offset_ += 16;
            --read_chunks_left_;
            return;
        }
        case SMBX_CMD_WRITE_OPEN:
            if (in_transfer) ++broken_transfers;
            read_chunks_left_ = 0;
            owner_ = me;
            next_offset_ = r.edi;
            write_chunks_left_ = static_cast<int>(r.ecx / 16);
            return;
        case SMBX_CMD_WRITE_DATA:
            if (write_chunks_left_ == 0 || owner_ != me || r.edi != next_offset_ ||
                r.edi + 16 > kStoreSize) {
                ++broken_transfers;
                write_chunks_left_ = 0;
                return;
            }
            // The mailbox passes only the low half of the third word.
            save(store_, r.edi, r.ebx);
            save(store_, r.edi + 4, r.ecx);
            save(store_, r.edi + 8, r.eax >> 16);
            save(store_, r.edi + 12, r.esi);
            next_offset_ += 16;
            --write_chunks_left_;
            return;
        case kEcho:
            if (in_transfer) ++broken_transfers;
            r.ebx = ~r.ebx;
            return;
        default:
            ++broken_transfers;
    }
}

}  // namespace quorvik::sim
