#include "concurrent_board.h"

#include <cerrno>
#include <cstring>

#include "QuorvikSO.h"
#include "dio_device.h"

namespace quorvik::sim {

// ---- chip ----

std::uint8_t CheckedChip::read(std::uint16_t port) {
    check_data_access(port);
    return SuperIoChip::read(port);
}

void CheckedChip::write(std::uint16_t port, std::uint8_t value) {
    if (port == index_port_) {
        index_writer_ = std::this_thread::get_id();
    } else {
        check_data_access(port);
    }
    SuperIoChip::write(port, value);
}

void CheckedChip::check_data_access(std::uint16_t port) {
    if (port != index_port_ && index_writer_ != std::this_thread::get_id()) {
        ++foreign_data_accesses;
    }
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

// ---- digital I/O ----

namespace {

int dio_open(const char* path) {
    return LockedDio::get().open(path);
}
int dio_send(int fd, unsigned long request, dio_request* record) {
    return LockedDio::get().request(fd, request, &record->port, &record->value);
}
int dio_close(int fd) {
    return LockedDio::get().close(fd);
}
constexpr dio::Driver kLockedDriver{dio_open, dio_send, dio_close};

}  // namespace

LockedDio& LockedDio::get() {
    static LockedDio driver;
    return driver;
}

void LockedDio::install() {
    dio::replace_driver(&kLockedDriver);
}

void LockedDio::uninstall() {
    dio::replace_driver(nullptr);
}

void LockedDio::reset(std::map<int, int> power_inputs) {
    const std::lock_guard lock(mutex_);
    power_inputs_ = std::move(power_inputs);
    relays_.clear();
    open_.clear();
    misuses_ = 0;
}

std::map<int, int> LockedDio::relays() const {
    const std::lock_guard lock(mutex_);
    return relays_;
}

int LockedDio::open_descriptors() const {
    const std::lock_guard lock(mutex_);
    return static_cast<int>(open_.size());
}

int LockedDio::misuses() const {
    const std::lock_guard lock(mutex_);
    return misuses_;
}

int LockedDio::open(const char* path) {
    const std::lock_guard lock(mutex_);
    if (std::strcmp(path, "/dev/dio") != 0) {
        errno = ENOENT;
        return -1;
    }
    open_.insert(next_fd_);
    return next_fd_++;
}

int LockedDio::request(int fd, unsigned long number, int* port, int* value) {
    const std::lock_guard lock(mutex_);
    if (open_.count(fd) == 0) {
        ++misuses_;
        errno = EBADF;
        return -1;
    }
    if (number == DIO_GET_POWER && power_inputs_.count(*port) != 0) {
        *value = power_inputs_[*port];
        return 0;
    }
    if (number == DIO_SET_RELAY && *port >= 0 && (*value == 0 || *value == 1)) {
        relays_[*port] = *value;
        return 0;
    }
    errno = EINVAL;
    return -1;
}

int LockedDio::close(int fd) {
    const std::lock_guard lock(mutex_);
    if (open_.erase(fd) == 0) {
        ++misuses_;
        errno = EBADF;
        return -1;
    }
    return 0;
}

}  // namespace quorvik::sim
