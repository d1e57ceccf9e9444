// The doctor's checks of who may read the hardware and what the firmware and
// the kernel let through: privileges, lockdown, I/O-port permission, physical
// memory, and the board's identification.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "QuorvikSO.h"
#include "doctor_checks.h"
#include "quorvik_common/c_number.h"

namespace quorvik::doctor {
namespace {

constexpr int kCapSysRawio = 17;
constexpr std::uint64_t kFirstMiB = 0x100000;
constexpr std::size_t kTableImageSize = 65536;
// The table address of the 32-bit SMBIOS entry point, from its "_SM_" anchor.
constexpr std::size_t kTableAddressField = 0x18;

// Whether the effective capability set holds cap (from /proc/self/status).
std::optional<bool> has_capability(int cap) {
    const auto status = read_small_file("/proc/self/status");
    if (!status) return std::nullopt;
    const std::size_t at = status->find("\nCapEff:");
    if (at == std::string::npos) return std::nullopt;
    char* end = nullptr;
    const unsigned long long bits =
        std::strtoull(status->c_str() + at + sizeof "\nCapEff:" - 1, &end, 16);
    return ((bits >> cap) & 1ULL) != 0;
}

// The bracketed word of the lockdown file ("none [integrity] confidentiality").
std::string lockdown_mode(const std::string& text) {
    const std::size_t open = text.find('[');
    const std::size_t close = text.find(']', open);
    if (open == std::string::npos || close == std::string::npos) return "";
    return text.substr(open + 1, close - open - 1);
}

std::uint32_t little_endian(const std::vector<unsigned char>& image, std::size_t at, int bytes) {
    std::uint32_t value = 0;
    for (int i = bytes; i-- > 0;) value = (value << 8) | image[at + static_cast<std::size_t>(i)];
    return value;
}

struct EntryPoint {
    std::uint32_t table_address;
};

std::optional<EntryPoint> entry_point(const std::vector<unsigned char>& fsegment) {
    const unsigned char* anchor = nullptr;
    if (F000_search_SMBIOS(fsegment.data(), &anchor) != 0) return std::nullopt;
    const auto at = static_cast<std::size_t>(anchor - fsegment.data());
    if (at + kTableAddressField + 4 > fsegment.size()) return std::nullopt;
    return EntryPoint{little_endian(fsegment, at + kTableAddressField, 4)};
}

// The vendor text of the first BIOS structure (type 0, string of byte 4) of
// a structure table image; empty when it cannot be found.
std::string bios_vendor(const std::vector<unsigned char>& table) {
    const int at = search_type(table.data(), 0);
    if (at < 0 || static_cast<std::size_t>(at) + 5 > table.size()) return "";
    const std::string_view image(reinterpret_cast<const char*>(table.data()), table.size());
    const auto start = static_cast<std::size_t>(at);
    const unsigned wanted = table[start + 4];
    std::size_t text = start + table[start + 1];
    for (unsigned n = 1; n <= wanted && text < image.size(); ++n) {
        const std::size_t end = image.find('\0', text);
        if (end == std::string_view::npos) return "";
        if (n == wanted) return std::string(image.substr(text, end - text));
        if (end == text) return "";  // the string-set ended before
        text = end + 1;
    }
    return "";
}

bool starts_with_insyde(const std::string& vendor) {
    return vendor.rfind("INSYDE", 0) == 0 || vendor.rfind("Insyde", 0) == 0;
}

// Which way identification took: the SMBIOS product name on Insyde firmware,
// else the maker's signature text in the F-segment.
std::string identification_path(Context& context) {
    const auto point = entry_point(context.fsegment());
    if (!point) return "the F-segment signature";
    std::vector<unsigned char> table(kTableImageSize);
    if (MemBlockRead(point->table_address, table.data(), table.size()) != 0) return "";
    return starts_with_insyde(bios_vendor(table))
               ? "the SMBIOS system product name (Insyde firmware)"
               : "the maker's signature text in the F-segment";
}

std::string identity_text(int (*query)(char*)) {
    char text[sizeof Model_str + 1] = {};
    return query(text) == 1 ? text : "?";
}

}  // namespace

Finding check_privileges(Context&) {
    const uid_t uid = ::geteuid();
    if (uid != 0) {
        return fail("runs as user " + std::to_string(uid) +
                        ": /dev/mem, I/O ports, the MSRs and /dev/dio need root",
                    "run it as root: sudo quorvik-info --doctor");
    }
    const auto rawio = has_capability(kCapSysRawio);
    if (rawio && !*rawio) {
        return fail("root, but without CAP_SYS_RAWIO, which I/O ports and /dev/mem need",
                    "give the process CAP_SYS_RAWIO (a container: --cap-add SYS_RAWIO; a "
                    "systemd unit: CapabilityBoundingSet=CAP_SYS_RAWIO)");
    }
    return ok(rawio ? "root, with CAP_SYS_RAWIO" : "root");
}

Finding check_lockdown(Context&) {
    const auto text = read_small_file("/sys/kernel/security/lockdown");
    if (!text) return ok("no /sys/kernel/security/lockdown: the kernel has no lockdown");
    const std::string mode = lockdown_mode(*text);
    if (mode == "none" || mode.empty())
        return ok("lockdown mode " + (mode.empty() ? "unknown" : mode));
    return fail("kernel lockdown in " + mode + " mode refuses /dev/mem and I/O-port access",
                "lockdown cannot be lifted while the kernel runs: turn off Secure Boot in the "
                "firmware setup, or boot without lockdown= on the kernel command line");
}

Finding check_port_access(Context& context) {
    const int error = context.port_error();
    if (error == 0) return ok("I/O-port permission granted (ioperm)");
    if (error == ENOSYS) {
        return fail("ioperm answers ENOSYS: this kernel has no I/O-port permission calls",
                    "boot a kernel built with CONFIG_X86_IOPL_IOPERM (some virtual machines and "
                    "hardened kernels leave it out)");
    }
    if (error == EPERM) {
        return fail(
            "ioperm answers EPERM: port access refused (no CAP_SYS_RAWIO, or kernel "
            "lockdown)",
            "run as root with CAP_SYS_RAWIO on a kernel without lockdown (see the checks "
            "above)");
    }
    return fail(std::string("ioperm fails: ") + std::strerror(error),
                "run as root with CAP_SYS_RAWIO on a kernel that grants I/O-port permission");
}

Finding check_physical_memory(Context& context) {
    const std::vector<unsigned char>& fsegment = context.fsegment();
    if (fsegment.empty()) {
        if (!status_of("/dev/mem")) {
            return fail("no /dev/mem: the BIOS F-segment cannot be read",
                        "use a kernel with CONFIG_DEVMEM (in a container, pass the host's "
                        "/dev/mem in)");
        }
        return fail("/dev/mem refuses the BIOS F-segment (0xF0000)",
                    "run as root with CAP_SYS_RAWIO on a kernel without lockdown");
    }
    const auto point = entry_point(fsegment);
    if (!point) {
        return fail("the F-segment is readable but holds no SMBIOS entry point (\"_SM_\")",
                    "on a Quorvik board update its firmware; elsewhere no identity can be read");
    }
    std::vector<unsigned char> table(kTableImageSize);
    if (MemBlockRead(point->table_address, table.data(), table.size()) != 0) {
        if (point->table_address + kTableImageSize > kFirstMiB) {
            return fail("the F-segment is readable, the SMBIOS table at " +
                            hex(point->table_address) +
                            " is refused: the kernel allows only the first MiB of /dev/mem "
                            "(CONFIG_STRICT_DEVMEM)",
                        "boot a kernel built without CONFIG_STRICT_DEVMEM (with "
                        "CONFIG_IO_STRICT_DEVMEM alone, the boot option iomem=relaxed is enough)");
        }
        return fail("the F-segment is readable, the SMBIOS table at " + hex(point->table_address) +
                        " is refused",
                    "run as root with CAP_SYS_RAWIO on a kernel without lockdown");
    }
    return ok("the F-segment and the SMBIOS table at " + hex(point->table_address) +
              " are readable");
}

Finding check_board(Context& context) {
    const auto& model = context.model();
    if (model) {
        const std::string path = identification_path(context);
        return ok("model " + *model + ", BIOS " + identity_text(GetBiosVersion) + ", serial " +
                  identity_text(GetSerialNumber) + (path.empty() ? "" : ", from " + path));
    }
    if (context.port_error() != 0) {
        return fail("not identified: identification needs the I/O-port permission",
                    "see the port-access check above");
    }
    const std::vector<unsigned char>& fsegment = context.fsegment();
    if (fsegment.empty()) {
        return fail("not identified: the F-segment cannot be read",
                    "see the physical-memory check above");
    }
    if (F000_search_ZEKT(fsegment.data()) != 0) {
        return fail(
            "not identified: the F-segment holds no maker signature, so this is no "
            "Quorvik board (every identity reading fails with ERR_DEVICE_NAME)",
            "run the libraries on a Quorvik board, or on a simulated one (quorvik-sim)");
    }
    return fail(
        "not identified: the maker's signature is there, but no model name in the "
        "SMBIOS table or the signature text",
        "see the physical-memory check above; if it is OK, the firmware's identity "
        "tables are damaged: ask the board maker");
}

}  // namespace quorvik::doctor
