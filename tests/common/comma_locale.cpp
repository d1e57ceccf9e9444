#include "comma_locale.h"

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>

namespace quorvik::sim {

std::string provide_comma_locale() {
    static const std::string failure = [] {
        if (std::setlocale(LC_ALL, kCommaLocale) != nullptr) {
            std::setlocale(LC_ALL, "C");
            return std::string();
        }
        char dir[] = "/tmp/quorvik-locale-XXXXXX";
        if (::mkdtemp(dir) == nullptr) return std::string("no directory for the locale");
        const std::string command = std::string("localedef -i de_DE -f UTF-8 ") + dir + "/" +
                                    kCommaLocale + " >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) {
            std::filesystem::remove_all(dir);
            return std::string(
                "de_DE.UTF-8 is not installed and localedef could not make it "
                "(Debian package locales)");
        }
        ::setenv("LOCPATH", dir, 1);
        if (std::setlocale(LC_ALL, kCommaLocale) == nullptr) return std::string("locale unusable");
        std::setlocale(LC_ALL, "C");
        return std::string();
    }();
    return failure;
}

}  // namespace quorvik::sim
