// Permission pair of the SMI command port. It keeps no count: any drop ends
// the permission, whoever raised it. Linux keeps I/O permissions per thread,
// so a drop ends only the calling thread's permission, and threads that each
// raise and drop their own need no count either.
#include "QuorvikSO.h"
#include "diag.h"
#include "platform.h"

namespace {

constexpr unsigned long kSmiCommandPort = 0xB2;

int set_smi_port_permission(int turn_on) noexcept {
    const int result = quorvik::platform::ioperm(kSmiCommandPort, 1, turn_on);
    if (result != 0) quorvik::diag::line("Error: ioperm() fail\r");
    return result;
}

}  // namespace

extern "C" int SmbxInit(void) {
    return set_smi_port_permission(1);
}

extern "C" int SmbxExit(void) {
    return set_smi_port_permission(0);
}
