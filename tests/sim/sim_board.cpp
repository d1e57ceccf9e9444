#include "sim_board.h"

#include <pthread.h>
#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>

#include "QuorvikSO.h"
#include "sim_run.h"
#include "superio_chip.h"

namespace quorvik::sim {
namespace {

qsim_hardware& hardware() {
    return SimRun::get().hardware();
}

// One lock keeps the board's bookkeeping whole when the library is called
// from threads; the firmware handler runs under it, and may call back.
std::recursive_mutex board_mutex;

// A child forked while another thread was at the board finds it free, as
// hardware has no lock a fork could leave held.
[[maybe_unused]] const int board_fork_safe =
    ::pthread_atfork(nullptr, nullptr, [] { new (&board_mutex) std::recursive_mutex; });

// The hooks are in place before the first test touches the library.
[[maybe_unused]] const Board& early = Board::get();

// Yields on the way out of a hook when the board asks for it.
struct YieldOnExit {
    bool yield;
    ~YieldOnExit() {
        if (yield) std::this_thread::yield();
    }
};

}  // namespace

// ---- MSRs ----

qsim_msr* MsrFile::find(std::uint32_t number) {
    qsim_hardware& hw = hardware();
    for (std::uint32_t i = 0; i < hw.msr_count; ++i) {
        if (hw.msr[i].present && hw.msr[i].number == number) return &hw.msr[i];
    }
    return nullptr;
}

MsrFile::Register& MsrFile::Register::operator=(std::uint64_t value) {
    qsim_msr* reg = file_.find(number_);
    qsim_hardware& hw = hardware();
    if (reg == nullptr) {
        if (hw.msr_count == QSIM_MSRS) throw std::length_error("the MSR table is full");
        reg = &hw.msr[hw.msr_count++];
        *reg = {number_, 1, 0};
    }
    reg->value = value;
    return *this;
}

MsrFile& MsrFile::operator=(
    std::initializer_list<std::pair<const std::uint32_t, std::uint64_t>> all) {
    clear();
    for (const auto& [number, value] : all) (*this)[number] = value;
    return *this;
}

void MsrFile::erase(std::uint32_t number) {
    if (qsim_msr* reg = find(number)) reg->present = 0;
}

void MsrFile::clear() {
    qsim_hardware& hw = hardware();
    hw.msr_count = 0;
    std::memset(hw.msr, 0, sizeof hw.msr);
}

// ---- the board ----

Board& Board::get() {
    static Board board;
    return board;
}

Board::Board() {
    clear();
    platform::set_hardware_hooks(this);
}

void Board::clear() {
    qsim_hardware& hw = hardware();
    // The chip leaves the ports; its registers stay with it.
    hw.chip_present = 0;
    hw.index_port = 0;
    hw.data_port = 0;
    hw.msr_device = 1;
    msr.clear();
    SimRun::get().clear_memory();
}

void Board::reset() {
    // The calling thread's grants go with the board's record of them.
    platform::set_hardware_hooks(nullptr);
    platform::ioperm(0, 65536, 0);
    {
        std::lock_guard lock(board_mutex);
        *this = Board(Blank{});
        clear();
    }
    platform::set_hardware_hooks(this);
}

void Board::set_memory(std::uint64_t address, std::span<const std::uint8_t> bytes) {
    SimRun::get().write_memory(address, bytes);
}

void Board::attach(SuperIoChip* chip) {
    std::lock_guard lock(board_mutex);
    chip_ = chip;
}

void Board::detach(SuperIoChip* chip) {
    std::lock_guard lock(board_mutex);
    if (chip_ != chip) return;
    chip_ = nullptr;
    hardware().chip_present = 0;
}

Board::PortSet& Board::permissions() {
    return per_thread_permissions ? thread_permissions_[std::this_thread::get_id()] : permitted;
}

bool Board::any_thread_permission_left() const {
    std::lock_guard lock(board_mutex);
    return std::any_of(thread_permissions_.begin(), thread_permissions_.end(),
                       [](const auto& entry) { return entry.second.any(); });
}

int Board::permission(unsigned long from, unsigned long num, int turn_on) {
    const YieldOnExit after{yield_between_accesses};  // once the lock is released
    std::lock_guard lock(board_mutex);
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
    for (unsigned long port = from; port < from + num; ++port) ports[port] = turn_on != 0;
    return 0;
}

void Board::port_access(bool write, std::uint16_t port, std::uint8_t value, bool permitted) {
    const YieldOnExit after{yield_between_accesses};  // once the lock is released
    std::lock_guard lock(board_mutex);
    if (!permitted) ++permission_violations;
    if (keep_logs) port_log.push_back({write ? PortAccess::Out : PortAccess::In, port, value});
    if (chip_ != nullptr && chip_->answers(port)) chip_->seen(write, port, value);
}

bool Board::may_open(const char* path) {
    std::lock_guard lock(board_mutex);
    const std::string name = path;
    return !(name == "/dev/mem" && fail_open_mem) && !(name == "/dev/cpu/0/msr" && fail_open_msr);
}

void Board::opened(int fd) {
    std::lock_guard lock(board_mutex);
    files_.insert(fd);
}

void Board::closed(int fd) {
    std::lock_guard lock(board_mutex);
    files_.erase(fd);
}

std::size_t Board::msr_read(off_t offset) {
    std::lock_guard lock(board_mutex);
    if (keep_logs) msr_reads.push_back(offset);
    return msr_read_limit;
}

bool Board::may_map(off_t offset, std::size_t length) {
    std::lock_guard lock(board_mutex);
    if (fail_map || length == 0) return false;
    map_requests.push_back({offset, length});
    return true;
}

void Board::mapped(void* address, std::size_t length) {
    std::lock_guard lock(board_mutex);
    mappings_[address] = length;
}

void Board::unmapped(void* address) {
    std::lock_guard lock(board_mutex);
    mappings_.erase(address);
}

void Board::smi(platform::SmiRegisters& cpu) {
    const YieldOnExit after{yield_between_accesses};  // once the lock is released
    std::lock_guard lock(board_mutex);
    if (keep_logs) smi_calls.push_back(cpu);
    if (smi_handler) smi_handler(cpu);
}

void forget_identity() {
    std::memset(Model_str, 0, sizeof Model_str);
    std::memset(BIOS_Ver_str, 0, sizeof BIOS_Ver_str);
    std::memset(SerialNumber_str, 0, sizeof SerialNumber_str);
    PlatformInfo_Flag = 0;
}

}  // namespace quorvik::sim
