// The doctor's checks, one function each, and what several of them share:
// the identified model and the device profile, found once per run.
#pragma once

#include <iniparser.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "doctor.h"
#include "quorvik_common/unique_fd.h"

namespace quorvik::doctor {

class Context {
  public:
    Context() = default;
    ~Context();
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    // The model as the hardware library identifies it (its public calls, so
    // that a simulated board is seen as such); nullopt when it cannot.
    const std::optional<std::string>& model();

    // errno of raising the SMI command port's permission as identification
    // does (SmbxInit, dropped again at once); 0 when granted.
    int port_error();

    // The BIOS F-segment as identification reads it; empty when unreadable.
    const std::vector<unsigned char>& fsegment();

    // The device profile, opened without blocking and loaded as the libraries
    // load it; null when it cannot be (profile_problem() says why).
    const dictionary* profile();
    const std::string& profile_problem();

    // The section the hardware library reads for the model (its own name, or
    // the first whose name begins it); empty when none.
    const std::string& hardware_section();
    // The section the monitoring library reads: exactly the model's name;
    // empty when the profile has none.
    const std::string& monitor_section();

  private:
    void load_profile();
    void find_sections();

    bool identified_ = false;
    std::optional<std::string> model_;
    std::optional<int> port_error_;
    bool fsegment_read_ = false;
    std::vector<unsigned char> fsegment_;
    bool loaded_ = false;
    dictionary* profile_ = nullptr;
    std::string profile_problem_;
    bool sections_found_ = false;
    std::string hardware_section_;
    std::string monitor_section_;
};

// --- Helpers the checks share ------------------------------------------------

// Owner of one file descriptor.
using Descriptor = UniqueFd;

Finding ok(std::string found);
Finding warn(std::string found, std::string remedy);
Finding fail(std::string found, std::string remedy);

// The whole of a small file (a /proc or /sys file, a unit file); nullopt when
// it cannot be read. Opened without blocking; at most limit bytes.
std::optional<std::string> read_small_file(const char* path, std::size_t limit = 1 << 20);

// What is at path, seen through a descriptor opened as a path only
// (O_PATH): no driver's open runs, so a serial port's modem lines stay as
// they are, and the open goes where a board simulator's preloaded calls send
// it. nullopt when nothing is there (errno says why).
std::optional<struct stat> status_of(const std::string& path);

// Whether word is one of the kernel command line's words (/proc/cmdline).
bool on_kernel_command_line(const char* word);

// "0x2e".
std::string hex(unsigned long value);

// A profile value of section as text, or nullptr when missing.
const char* profile_text(const dictionary* profile, const std::string& section, const char* key);
// A profile integer as the libraries read it (base 0), or nullopt.
std::optional<int> profile_int(const dictionary* profile, const std::string& section,
                               const char* key);

// Why a later check cannot look: no section for the model.
Finding no_section(const char* library);

// --- The checks, in the order they run ----------------------------------------

Finding check_privileges(Context& context);
Finding check_lockdown(Context& context);
Finding check_port_access(Context& context);
Finding check_physical_memory(Context& context);
Finding check_board(Context& context);
Finding check_profile(Context& context);
Finding check_superio_driver(Context& context);
Finding check_superio_acpi(Context& context);
Finding check_msr(Context& context);
Finding check_dio(Context& context);
Finding check_relay(Context& context);
Finding check_ethernet(Context& context);
Finding check_serial(Context& context);
Finding check_tools(Context& context);
Finding check_network_mounts(Context& context);
Finding check_metrics_timer(Context& context);

}  // namespace quorvik::doctor
