#include "sim_board.h"

#include <pthread.h>
#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>

namespace quorvik::sim {

Board& Board::get() {
    static Board board;
    return board;
}

void Board::reset() {
    for (auto& [addr, length] : mappings_) std::free(addr);
    *this = Board();
}

void Board::set_memory(std::uint64_t address, std::span<const std::uint8_t> bytes) {
    memory_.push_back({address, std::vector<std::uint8_t>(bytes.begin(), bytes.end())});
}

int Board::open(const char* path) {
    const std::string name = path;
    FileKind kind;
    if (name == "/dev/mem" && !fail_open_mem) {
        kind = FileKind::Mem;
    } else if (name == "/dev/cpu/0/msr" && !fail_open_msr) {
        kind = FileKind::Msr;
    } else {
        errno = ENOENT;
        return -1;
    }
    files_[next_fd_] = kind;
    return next_fd_++;
}

int Board::close(int fd) {
    if (files_.erase(fd) == 0) {
        errno = EBADF;
        return -1;
    }
    return 0;
}

ssize_t Board::pread(int fd, void* buf, std::size_t count, off_t offset) {
    auto file = files_.find(fd);
    if (file == files_.end() || file->second != FileKind::Msr) {
        errno = EBADF;
        return -1;
    }
    if (keep_logs) msr_reads.push_back(offset);
    auto reg = msr.find(static_cast<std::uint32_t>(offset));
    if (reg == msr.end()) {
        errno = EIO;
        return -1;
    }
    std::uint8_t bytes[8];
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<std::uint8_t>(reg->second >> (8 * i));
    const std::size_t n = std::min({count, msr_read_limit, sizeof bytes});
    std::memcpy(buf, bytes, n);
    return static_cast<ssize_t>(n);
}

void* Board::map(int fd, std::size_t length, off_t offset) {
    auto file = files_.find(fd);
    if (file == files_.end() || file->second != FileKind::Mem || fail_map || length == 0) {
        return MAP_FAILED;
    }
    map_requests.push_back({offset, length});
    auto* bytes = static_cast<std::uint8_t*>(std::calloc(length, 1));
    const auto begin = static_cast<std::uint64_t>(offset);
    const std::uint64_t end = begin + length;
    for (const auto& [address, content] : memory_) {  // later regions win
        const std::uint64_t from = std::max(begin, address);
        const std::uint64_t to = std::min(end, address + content.size());
        if (from < to) std::memcpy(bytes + (from - begin), &content[from - address], to - from);
    }
    mappings_[bytes] = length;
    return bytes;
}

int Board::unmap(void* addr, std::size_t length) {
    auto mapping = mappings_.find(addr);
    if (mapping == mappings_.end() || mapping->second != length) {
        errno = EINVAL;
        return -1;
    }
    std::free(addr);
    mappings_.erase(mapping);
    return 0;
}

Board::PortSet& Board::permissions() {
    return per_thread_permissions ? thread_permissions_[std::this_thread::get_id()] : permitted;
}

bool Board::any_thread_permission_left() const {
    return std::any_of(thread_permissions_.begin(), thread_permissions_.end(),
                       [](const auto& entry) { return entry.second.any(); });
}

int Board::ioperm(unsigned long from, unsigned long num, int turn_on) {
    const PermissionCall call{from, num, turn_on};
    if (keep_logs) permission_calls.push_back(call);
    // As Linux: the range must be non-empty and lie within the 65,536 ports.
    if (num == 0 || from >= permitted.size() || num > permitted.size() - from) {
        errno = EINVAL;
        return -1;
    }
    if (const int result = ioperm_result ? ioperm_result(call) : 0; result != 0) {
        errno = EPERM;
        return result;
    }
    PortSet& ports = permissions();
    for (unsigned long port = from; port < from + num && port < ports.size(); ++port) {
        ports[port] = turn_on != 0;
    }
    return 0;
}

std::uint8_t Board::inb(std::uint16_t port) {
    if (!permissions()[port]) ++permission_violations;
    auto device = devices_.find(port);
    const std::uint8_t value = device != devices_.end() ? device->second->read(port) : 0xFF;
    if (keep_logs) port_log.push_back({PortAccess::In, port, value});
    return value;
}

void Board::outb(std::uint8_t value, std::uint16_t port) {
    if (!permissions()[port]) ++permission_violations;
    if (keep_logs) port_log.push_back({PortAccess::Out, port, value});
    auto device = devices_.find(port);
    if (device != devices_.end()) device->second->write(port, value);
}

void Board::smi(platform::SmiRegisters& regs) {
    if (!permissions()[0xB2]) ++permission_violations;
    // The processor as the handler finds it: EAX, EBX, ECX, ESI and EDI as
    // loaded, DX holding the port; only EAX to EDX come back.
    platform::SmiRegisters cpu = regs;
    cpu.edx = 0xB2;
    cpu.reserved = 0;
    if (keep_logs) {
        smi_calls.push_back(cpu);
        port_log.push_back({PortAccess::Out, 0xB2, static_cast<std::uint8_t>(cpu.eax)});
    }
    if (smi_handler) smi_handler(cpu);
    regs.eax = cpu.eax;
    regs.ebx = cpu.ebx;
    regs.ecx = cpu.ecx;
    regs.edx = cpu.edx;
}

}  // namespace quorvik::sim

// The platform layer, served by the simulated board. One lock keeps the
// board's own bookkeeping whole when the library is called from threads.
namespace quorvik::platform {

using sim::Board;

namespace {
std::recursive_mutex board_mutex;

// A child forked while another thread was at the board finds it free, as
// hardware has no lock a fork could leave held.
[[maybe_unused]] const int board_fork_safe =
    ::pthread_atfork(nullptr, nullptr, [] { new (&board_mutex) std::recursive_mutex; });
}  // namespace

// Runs one board operation under the lock.
template <typename Operation>
auto locked(Operation&& operation) {
    std::lock_guard lock(board_mutex);
    return operation(Board::get());
}

// A port operation under the lock, then the yield the board may ask for.
template <typename Operation>
auto port_operation(Operation&& operation) {
    struct YieldOnExit {
        bool yield;
        ~YieldOnExit() {
            if (yield) std::this_thread::yield();
        }
    };
    const YieldOnExit after{locked([](Board& b) { return b.yield_between_accesses; })};
    return locked(std::forward<Operation>(operation));
}

int ioperm(unsigned long from, unsigned long num, int turn_on) {
    return port_operation([&](Board& b) { return b.ioperm(from, num, turn_on); });
}
std::uint8_t inb(std::uint16_t port) {
    return port_operation([&](Board& b) { return b.inb(port); });
}
void outb(std::uint8_t value, std::uint16_t port) {
    port_operation([&](Board& b) { b.outb(value, port); });
}
int open(const char* path, int) {
    return locked([&](Board& b) { return b.open(path); });
}
int close(int fd) {
    return locked([&](Board& b) { return b.close(fd); });
}
ssize_t pread(int fd, void* buf, std::size_t count, off_t offset) {
    return locked([&](Board& b) { return b.pread(fd, buf, count, offset); });
}
void* map_shared_readonly(int fd, std::size_t length, off_t offset) {
    return locked([&](Board& b) { return b.map(fd, length, offset); });
}
int unmap(void* addr, std::size_t length) {
    return locked([&](Board& b) { return b.unmap(addr, length); });
}
void send_smi(SmiRegisters& regs) {
    port_operation([&](Board& b) { b.smi(regs); });
}

}  // namespace quorvik::platform
