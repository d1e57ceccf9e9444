// Permission pair of the SMI command port. It keeps no count: any drop ends
// the permission, whoever raised it. Linux keeps I/O permissions per thread,
// so a drop ends only the calling thread's permission, and threads that each
// raise and drop their own need no count either.
#include "smi_port.h"

#include "QuorvikSO.h"
#include "diag.h"
#include "platform.h"
#include "quorvik_common/guard.h"

namespace {

constexpr unsigned long kSmiCommandPort = 0xB2;

// What SmbxInit and SmbxExit left on this thread. There is no system call
// that tells whether a thread may use a port, and an access without the
// permission kills the process: the mailbox goes by this record.
thread_local bool holds_port = false;

int set_smi_port_permission(int turn_on) {
    const int result = quorvik::platform::ioperm(kSmiCommandPort, 1, turn_on);
    if (result != 0) quorvik::diag::line("Error: ioperm() fail\r");
    return result;
}

}  // namespace

namespace quorvik::smi {

bool thread_holds_port() noexcept {
    return holds_port;
}

PortBracket::PortBracket() {
    if (holds_port) return;
    result_ = set_smi_port_permission(1);
    raised_ = result_ == 0;
}

int PortBracket::release() {
    if (!raised_) return 0;
    raised_ = false;
    return set_smi_port_permission(0);
}

}  // namespace quorvik::smi

extern "C" int SmbxInit(void) noexcept {
    return quorvik::guard::run(-1, [&]() -> int {
        const int result = set_smi_port_permission(1);
        if (result == 0) holds_port = true;
        return result;
    });
}

extern "C" int SmbxExit(void) noexcept {
    return quorvik::guard::run(-1, [&]() -> int {
        // Whatever the drop answered, the port is no longer known to be usable.
        holds_port = false;
        return set_smi_port_permission(0);
    });
}
