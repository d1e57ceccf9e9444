// The library's locks, held together around fork() so that the child of a
// multi-threaded host never starts with one held by a thread it does not
// have (its first identity query or sensor reading would wait forever).
#pragma once

#include <mutex>

namespace quorvik::locks {

std::mutex& identity();  // identification and the identity cache
std::mutex& chip();      // the Super I/O chip's index and data ports
std::mutex& mailbox();   // the SMI mailbox's exchanges

}  // namespace quorvik::locks
