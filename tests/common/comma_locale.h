// The host's locale with a decimal comma, for the tests that a number reads
// the same in it as in the "C" locale.
#pragma once

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace quorvik::sim {

inline constexpr char kCommaLocale[] = "de_DE.UTF-8";

// Makes kCommaLocale usable by setlocale: the machine's own when installed,
// else generated once into a private directory (LOCPATH). An empty text when
// it is usable, else why not.
inline std::string provide_comma_locale() {
    static const std::string failure = [] {
        if (std::setlocale(LC_ALL, kCommaLocale) == nullptr) {
            char dir[] = "/tmp/quorvik-locale-XXXXXX";
            if (::mkdtemp(dir) == nullptr) return std::string("no directory for the locale");
            const std::string command = std::string("localedef -i de_DE -f UTF-8 ") + dir + "/" +
                                        kCommaLocale + " >/dev/null 2>&1";
            if (std::system(command.c_str()) != 0) {
                std::filesystem::remove_all(dir);
                return std::string("de_DE.UTF-8 is not installed and localedef could not make it");
            }
            ::setenv("LOCPATH", dir, 1);
            if (std::setlocale(LC_ALL, kCommaLocale) == nullptr) return std::string("unusable");
        }
        std::setlocale(LC_ALL, "C");
        return std::string();
    }();
    return failure;
}

// The host's locale for one scope, as setlocale(LC_ALL, name) sets it.
class HostLocale {
  public:
    explicit HostLocale(const char* name) : ok_(std::setlocale(LC_ALL, name) != nullptr) {}
    ~HostLocale() { std::setlocale(LC_ALL, "C"); }
    HostLocale(const HostLocale&) = delete;
    HostLocale& operator=(const HostLocale&) = delete;
    bool ok() const { return ok_; }

  private:
    bool ok_;
};

}  // namespace quorvik::sim
