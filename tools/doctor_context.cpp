// What the doctor's checks share, found once, and their small helpers.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "QuorvikSO.h"
#include "doctor_checks.h"
#include "quorvik_common/c_number.h"
#include "quorvik_common/ini_value.h"

namespace quorvik::doctor {
namespace {

constexpr std::uint64_t kFSegmentAddress = 0xF0000;
constexpr std::size_t kFSegmentSize = 65536;

// iniparser's own messages would interleave with the doctor's lines; the
// profile check tells what is wrong with the file instead.
int silent(const char*, ...) {
    return 0;
}

}  // namespace

Context::~Context() {
    if (profile_ != nullptr) iniparser_freedict(profile_);
}

const std::optional<std::string>& Context::model() {
    if (!identified_) {
        identified_ = true;
        char name[sizeof Model_str + 1] = {};
        if (GetDeviceName(name) == 1) model_ = name;
    }
    return model_;
}

int Context::port_error() {
    if (!port_error_) {
        errno = 0;
        if (SmbxInit() == 0) {
            SmbxExit();
            port_error_ = 0;
        } else {
            port_error_ = errno != 0 ? errno : EPERM;
        }
    }
    return *port_error_;
}

const std::vector<unsigned char>& Context::fsegment() {
    if (!fsegment_read_) {
        fsegment_read_ = true;
        std::vector<unsigned char> image(kFSegmentSize);
        if (MemBlockRead(kFSegmentAddress, image.data(), image.size()) == 0) fsegment_ = image;
    }
    return fsegment_;
}

void Context::load_profile() {
    loaded_ = true;
    iniparser_set_error_callback(silent);
    profile_ = ini::load_profile(QUORVIK_PROFILE_PATH);
    iniparser_set_error_callback(nullptr);
    if (profile_ != nullptr) return;
    const auto file = status_of(QUORVIK_PROFILE_PATH);
    if (!file) {
        profile_problem_ = std::strerror(errno);
    } else if (!S_ISREG(file->st_mode)) {
        profile_problem_ = "not a regular file";
    } else {
        profile_problem_ = "iniparser cannot load it";
    }
}

const dictionary* Context::profile() {
    if (!loaded_) load_profile();
    return profile_;
}

const std::string& Context::profile_problem() {
    if (!loaded_) load_profile();
    return profile_problem_;
}

void Context::find_sections() {
    sections_found_ = true;
    if (!model() || profile() == nullptr) return;
    if (iniparser_find_entry(profile_, model_->c_str()) == 1) monitor_section_ = *model_;
    // The hardware library's own matching, through its public call.
    char section[sizeof Model_str] = {};
    if (SensorModelCheck(model_->c_str(), profile_, section) == 1) {
        hardware_section_ = section;
    } else {
        hardware_section_ = monitor_section_;
    }
}

const std::string& Context::hardware_section() {
    if (!sections_found_) find_sections();
    return hardware_section_;
}

const std::string& Context::monitor_section() {
    if (!sections_found_) find_sections();
    return monitor_section_;
}

Finding ok(std::string found) {
    return {Verdict::ok, std::move(found), ""};
}

Finding warn(std::string found, std::string remedy) {
    return {Verdict::warn, std::move(found), std::move(remedy)};
}

Finding fail(std::string found, std::string remedy) {
    return {Verdict::fail, std::move(found), std::move(remedy)};
}

std::optional<std::string> read_small_file(const char* path, std::size_t limit) {
    const Descriptor file(::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (file.get() < 0) return std::nullopt;
    std::string text;
    char chunk[4096];
    while (text.size() < limit) {
        const ssize_t got = ::read(file.get(), chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return std::nullopt;
        if (got == 0) break;
        text.append(chunk, static_cast<std::size_t>(got));
    }
    return text;
}

std::optional<struct stat> status_of(const std::string& path) {
    const Descriptor file(::open(path.c_str(), O_PATH | O_CLOEXEC));
    struct stat status {};
    if (file.get() < 0 || ::fstat(file.get(), &status) != 0) return std::nullopt;
    return status;
}

bool on_kernel_command_line(const char* word) {
    const auto cmdline = read_small_file("/proc/cmdline");
    if (!cmdline) return false;
    std::string padded = " " + *cmdline + " ";
    for (char& c : padded) {
        if (c == '\n' || c == '\t') c = ' ';
    }
    return padded.find(std::string(" ") + word + " ") != std::string::npos;
}

std::string hex(unsigned long value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%lx", value);
    return text;
}

const char* profile_text(const dictionary* profile, const std::string& section, const char* key) {
    return ini::find_text(profile, (section + ":" + key).c_str());
}

std::optional<int> profile_int(const dictionary* profile, const std::string& section,
                               const char* key) {
    const char* text = profile_text(profile, section, key);
    if (text == nullptr) return std::nullopt;
    return number::c_strtoi(text);
}

Finding no_section(const char* library) {
    return warn(std::string("not checked: the profile has no section that the ") + library +
                    " library reads for this board",
                "see the board and profile checks above");
}

}  // namespace quorvik::doctor
