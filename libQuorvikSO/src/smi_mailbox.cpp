// The software-SMI mailbox to the board firmware: one raw call and block
// transfers in 16-byte chunks, one SMI per chunk.
#include <bit>
#include <cstdint>
#include <cstring>
#include <mutex>

#include "QuorvikSO.h"
#include "locks.h"
#include "platform.h"
#include "quorvik_common/guard.h"
#include "smi_port.h"

namespace {

constexpr std::uint32_t kChunkSize = 16;

// A thread without the port's permission would be killed at the port write:
// such a call sends nothing and says so, as does one whose exchange cannot
// start (its lock failed).
constexpr int kNotSent = 1;

// The firmware serves one exchange at a time and keeps a write's state
// between its chunks: every SMI, and every whole transfer, holds this lock so
// that chunks of two transfers never interleave within the process.
std::mutex& mailbox_mutex = quorvik::locks::mailbox();

// One SMI; the caller holds mailbox_mutex.
void send_locked(SmiRegisterBlock& regs) {
    // DX carries the port number; edx and reserved are not passed in.
    quorvik::platform::SmiRegisters cpu{regs.eax, regs.ebx, regs.ecx, 0xB2, 0, regs.esi, regs.edi};
    quorvik::platform::send_smi(cpu);
    regs.eax = cpu.eax;
    regs.ebx = cpu.ebx;
    regs.ecx = cpu.ecx;
    regs.edx = cpu.edx;
}

void set_command(SmiRegisterBlock& block, std::uint8_t command) {
    block.eax = (block.eax & ~std::uint32_t{0xFF}) | command;
}

// Chunks are four 32-bit words in the processor's order, which on the x86
// processors these boards have is little-endian: plain copies move them.
static_assert(std::endian::native == std::endian::little);

std::uint32_t load_word(const unsigned char* bytes) {
    std::uint32_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

void store_word(unsigned char* bytes, std::uint32_t word) {
    std::memcpy(bytes, &word, sizeof word);
}

}  // namespace

extern "C" int SmbxSendSMI(SmiRegisterBlock* regs) noexcept {
    return quorvik::guard::run(kNotSent, [&]() -> int {
        if (regs == nullptr) return -1;
        if (!quorvik::smi::thread_holds_port()) return kNotSent;
        const std::lock_guard lock(mailbox_mutex);
        send_locked(*regs);
        return 0;
    });
}

extern "C" int SmbxRead(uint32_t offset, uint32_t length, unsigned char* buf) noexcept {
    return quorvik::guard::run(kNotSent, [&]() -> int {
        if (buf == nullptr) return -1;
        if (!quorvik::smi::thread_holds_port()) return kNotSent;
        // One block for the whole transfer: what the handler leaves in eax and
        // ebx is what the next chunk hands it.
        SmiRegisterBlock block{};
        const std::lock_guard lock(mailbox_mutex);
        std::memset(buf, 0, length);
        for (std::uint32_t i = 0; i < length / kChunkSize; ++i) {
            block.esi = offset + kChunkSize * i;
            block.ecx = kChunkSize;
            set_command(block, SMBX_CMD_READ);
            send_locked(block);
            unsigned char* chunk = buf + std::size_t{kChunkSize} * i;
            store_word(chunk, block.eax);
            store_word(chunk + 4, block.ecx);
            store_word(chunk + 8, block.edx);
            store_word(chunk + 12, block.ebx);
        }
        return 0;
    });
}

extern "C" int SmbxWrite(uint32_t offset, uint32_t length, const unsigned char* buf) noexcept {
    return quorvik::guard::run(kNotSent, [&]() -> int {
        if (buf == nullptr) return -1;
        if (!quorvik::smi::thread_holds_port()) return kNotSent;
        SmiRegisterBlock block{};
        block.edi = offset;
        block.ecx = length;
        set_command(block, SMBX_CMD_WRITE_OPEN);
        const std::lock_guard lock(mailbox_mutex);
        send_locked(block);
        for (std::uint32_t i = 0; i < length / kChunkSize; ++i) {
            const unsigned char* chunk = buf + std::size_t{kChunkSize} * i;
            const std::uint32_t word2 = load_word(chunk + 8);
            block.edi = offset + kChunkSize * i;
            block.ebx = load_word(chunk);
            block.ecx = load_word(chunk + 4);
            block.edx = word2;
            // Only the low half of word 2 reaches the handler, in EAX's upper half.
            block.eax = word2 << 16 | SMBX_CMD_WRITE_DATA;
            block.esi = load_word(chunk + 12);
            send_locked(block);
        }
        return 0;
    });
}
