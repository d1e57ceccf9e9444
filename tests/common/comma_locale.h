// The host's locale with a decimal comma (de_DE.UTF-8), for the tests that a
// number reads the same in it as in the "C" locale.
#pragma once

#include <clocale>
#include <string>

namespace quorvik::sim {

inline constexpr char kCommaLocale[] = "de_DE.UTF-8";

// Makes kCommaLocale usable by setlocale: the machine's own when installed,
// else generated once into a private directory (LOCPATH). An empty text when
// it is usable, else why not.
std::string provide_comma_locale();

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
