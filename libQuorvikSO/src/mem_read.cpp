// Copies of physical memory through /dev/mem.
#include <fcntl.h>

#include <cstdint>
#include <limits>

#include "QuorvikSO.h"
#include "diag.h"
#include "quorvik_common/guard.h"
#include "resources.h"

namespace {

constexpr std::uint64_t kPageMask = 0xFFF;
// Only physical addresses below 4 GiB can be read.
constexpr std::uint64_t kPageBaseMask = 0xFFFFF000;

}  // namespace

extern "C" int MemBlockRead(uint64_t addr, unsigned char* buf, uint64_t len) noexcept {
    return quorvik::guard::run(1, [&]() -> int {
        if (buf == nullptr) return 1;
        quorvik::FileDescriptor mem("/dev/mem", O_RDONLY);
        if (!mem.valid()) return 1;

        const std::uint64_t in_page = addr & kPageMask;
        const std::uint64_t page_base = addr & kPageBaseMask;
        if (len > std::numeric_limits<std::size_t>::max() - in_page) {
            quorvik::diag::line("NULL Pointer!");
            return 1;
        }
        quorvik::ReadOnlyMapping mapping(mem, static_cast<std::size_t>(len + in_page),
                                         static_cast<off_t>(page_base));
        if (!mapping.valid()) {
            quorvik::diag::line("NULL Pointer!");
            return 1;
        }
        const unsigned char* source = mapping.data() + in_page;
        for (std::uint64_t i = 0; i < len; ++i) buf[i] = source[i];
        return 0;
    });
}
