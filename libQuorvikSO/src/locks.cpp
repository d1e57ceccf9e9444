#include "locks.h"

#include <pthread.h>

namespace quorvik::locks {
namespace {

std::mutex identity_lock;
std::mutex chip_lock;
std::mutex mailbox_lock;

// One order everywhere. No code path holds two of them at once today, so
// any order is free of deadlock; keeping one keeps it so.
void before_fork() {
    identity_lock.lock();
    chip_lock.lock();
    mailbox_lock.lock();
}

// In the parent and in the child alike: the forking thread took them, and
// in the child it is the only thread.
void after_fork() {
    mailbox_lock.unlock();
    chip_lock.unlock();
    identity_lock.unlock();
}

[[maybe_unused]] const int registered = ::pthread_atfork(before_fork, after_fork, after_fork);

}  // namespace

std::mutex& identity() {
    return identity_lock;
}

std::mutex& chip() {
    return chip_lock;
}

std::mutex& mailbox() {
    return mailbox_lock;
}

}  // namespace quorvik::locks
