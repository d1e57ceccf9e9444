// What a process that links the simulator's monitoring platform in (the
// white-box tests) can watch and break in its digital-I/O driver calls, on
// top of what the run's state holds. quorvik-sim installs nothing: the cost
// is one pointer load per call.
#pragma once

#include "quorvik_common/dio_request.h"

namespace quorvik::platform {

class DioHooks {
  public:
    virtual ~DioHooks() = default;
    // Before every open of a node path, the board's or not; may throw, as
    // a device layer does when memory runs out or its lock fails.
    virtual void opening(const char* path) = 0;
    // Before a request reaches the driver; may throw.
    virtual void sending(unsigned long request, const dio_request& record) = 0;
};

// nullptr removes them. Not to be changed while another thread is in a call.
void set_dio_hooks(DioHooks* hooks);

}  // namespace quorvik::platform
