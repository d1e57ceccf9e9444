// libQuorvikSO's platform layer on a simulated board (quorvik-sim): I/O ports
// and their permission, physical memory, the MSR device and the SMI port,
// served from the run's state directory. The hardware file is mapped once
// per process (sim_state.c); a port access is then a load or a store in it.
//
// Nothing here reaches real hardware: without a run ($QUORVIK_SIM_STATE),
// every permission and device open fails.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bitset>
#include <cerrno>
#include <cstring>

#include "hardware_hooks.h"
#include "platform.h"
#include "sim_state.h"

namespace {

std::atomic<quorvik::platform::HardwareHooks*> installed_hooks{nullptr};

quorvik::platform::HardwareHooks* hooks() {
    return installed_hooks.load(std::memory_order_acquire);
}

// Linux keeps I/O permissions per thread.
thread_local std::bitset<65536> permitted;

constexpr std::uint16_t kSmiPort = 0xB2;

// /dev/cpu/0/msr is the run's hardware file opened read-only: a descriptor
// is the device's when it is that file. No set of descriptors and no lock: a
// host that forks while another thread closes a descriptor must not leave its
// child a lock held for good.
std::atomic<dev_t> msr_file_device{0};
std::atomic<ino_t> msr_file_inode{0};

bool is_msr(int fd) {
    struct stat status {};
    return msr_file_inode.load() != 0 && ::fstat(fd, &status) == 0 &&
           status.st_ino == msr_file_inode.load() && status.st_dev == msr_file_device.load();
}

int open_state_file(const char* name, int flags) {
    const char* dir = qsim_state_dir();
    char path[4096];
    if (dir == nullptr || qsim_path(path, sizeof path, dir, name) != 0) {
        errno = ENOENT;
        return -1;
    }
    return ::open(path, flags | O_CLOEXEC);
}

std::uint8_t& chip_cell(qsim_hardware& hw, std::uint8_t reg) {
    if (hw.banked && reg == hw.bank_register) return hw.bank_select;
    return hw.registers[qsim_selected_bank(&hw)][reg];
}

void check_permission(qsim_hardware& hw, std::uint16_t port) {
    if (!permitted[port]) __atomic_fetch_add(&hw.port_violations, 1, __ATOMIC_RELAXED);
}

// The access told to the hooks, if any: a write before it reaches the chip,
// a read after, as a bus monitor sees them.
void watch(bool write, std::uint16_t port, std::uint8_t value) {
    if (auto* h = hooks()) h->port_access(write, port, value, permitted[port]);
}

}  // namespace

namespace quorvik::platform {

void set_hardware_hooks(HardwareHooks* hooks) {
    installed_hooks.store(hooks, std::memory_order_release);
}

int ioperm(unsigned long from, unsigned long num, int turn_on) {
    if (auto* h = hooks()) {
        if (const int result = h->permission(from, num, turn_on); result != 0) return result;
    }
    if (num == 0 || from >= permitted.size() || num > permitted.size() - from) {
        errno = EINVAL;
        return -1;
    }
    if (qsim_run_hardware() == nullptr) {
        errno = EPERM;
        return -1;
    }
    for (unsigned long port = from; port < from + num; ++port) permitted[port] = turn_on != 0;
    return 0;
}

namespace {

std::uint8_t chip_read(qsim_hardware& hw, std::uint16_t port) {
    if (!hw.chip_present) return 0xFF;
    if (port == hw.index_port) return hw.index_latch;
    if (port == hw.data_port)
        return __atomic_load_n(&chip_cell(hw, hw.index_latch), __ATOMIC_RELAXED);
    return 0xFF;
}

void chip_write(qsim_hardware& hw, std::uint8_t value, std::uint16_t port) {
    if (!hw.chip_present) return;
    if (port == hw.index_port) {
        hw.index_latch = value;
    } else if (port == hw.data_port) {
        __atomic_store_n(&chip_cell(hw, hw.index_latch), value, __ATOMIC_RELAXED);
    }
}

}  // namespace

std::uint8_t inb(std::uint16_t port) {
    qsim_hardware* hw = qsim_run_hardware();
    if (hw == nullptr) return 0xFF;
    check_permission(*hw, port);
    const std::uint8_t value = chip_read(*hw, port);
    watch(false, port, value);
    return value;
}

void outb(std::uint8_t value, std::uint16_t port) {
    qsim_hardware* hw = qsim_run_hardware();
    if (hw == nullptr) return;
    check_permission(*hw, port);
    watch(true, port, value);
    chip_write(*hw, value, port);
}

namespace {

int open_device(qsim_hardware& hw, const char* path) {
    if (std::strcmp(path, "/dev/mem") == 0) return open_state_file(QSIM_MEMORY_FILE, O_RDONLY);
    if (std::strcmp(path, "/dev/cpu/0/msr") == 0 && hw.msr_device) {
        const int fd = open_state_file(QSIM_HARDWARE_FILE, O_RDONLY);
        struct stat status {};
        if (fd >= 0 && ::fstat(fd, &status) == 0) {
            msr_file_device.store(status.st_dev);
            msr_file_inode.store(status.st_ino);
        }
        return fd;
    }
    errno = ENOENT;
    return -1;
}

}  // namespace

int open(const char* path, int flags) {
    (void)flags;
    qsim_hardware* hw = qsim_run_hardware();
    HardwareHooks* h = hooks();
    if (hw == nullptr || path == nullptr || (h != nullptr && !h->may_open(path))) {
        errno = ENOENT;
        return -1;
    }
    const int fd = open_device(*hw, path);
    if (fd >= 0 && h != nullptr) h->opened(fd);
    return fd;
}

int close(int fd) {
    if (auto* h = hooks()) h->closed(fd);
    return ::close(fd);
}

ssize_t pread(int fd, void* buf, std::size_t count, off_t offset) {
    qsim_hardware* hw = qsim_run_hardware();
    if (hw == nullptr || !is_msr(fd)) return ::pread(fd, buf, count, offset);
    std::size_t most = count;
    if (auto* h = hooks()) most = std::min(most, h->msr_read(offset));
    for (std::uint32_t i = 0; i < hw->msr_count && i < QSIM_MSRS; ++i) {
        const qsim_msr& msr = hw->msr[i];
        if (!msr.present || static_cast<off_t>(msr.number) != offset) continue;
        const std::uint64_t value = __atomic_load_n(&msr.value, __ATOMIC_RELAXED);
        unsigned char bytes[8];
        for (int b = 0; b < 8; ++b) bytes[b] = static_cast<unsigned char>(value >> (8 * b));
        const std::size_t n = std::min(most, sizeof bytes);
        std::memcpy(buf, bytes, n);
        return static_cast<ssize_t>(n);
    }
    // As the msr driver does for a register the processor does not have.
    errno = EIO;
    return -1;
}

void* map_shared_readonly(int fd, std::size_t length, off_t offset) {
    HardwareHooks* h = hooks();
    if (h != nullptr && !h->may_map(offset, length)) {
        errno = ENOMEM;
        return MAP_FAILED;
    }
    void* address = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, fd, offset);
    if (address != MAP_FAILED && h != nullptr) h->mapped(address, length);
    return address;
}

int unmap(void* addr, std::size_t length) {
    if (auto* h = hooks()) h->unmapped(addr);
    return ::munmap(addr, length);
}

void send_smi(SmiRegisters& regs) {
    qsim_hardware* hw = qsim_run_hardware();
    if (hw == nullptr) return;
    check_permission(*hw, kSmiPort);
    __atomic_fetch_add(&hw->smi_calls, 1, __ATOMIC_RELAXED);
    watch(true, kSmiPort, static_cast<std::uint8_t>(regs.eax));
    SmiRegisters cpu = regs;
    cpu.edx = kSmiPort;
    // No firmware answers on a simulated board, unless a hook is one: the
    // registers come back as they went, the port in EDX.
    if (auto* h = hooks()) {
        cpu.reserved = 0;
        h->smi(cpu);
    }
    regs.eax = cpu.eax;
    regs.ebx = cpu.ebx;
    regs.ecx = cpu.ecx;
    regs.edx = cpu.edx;
}

}  // namespace quorvik::platform
