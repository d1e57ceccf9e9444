// Crash-proof access to a loaded device profile.
//
// iniparser 4.1 hands a null text to strtol/atof inside iniparser_getint and
// iniparser_getdouble when the key text names a section (a section called
// "ab-1234:volt" makes the key "ab-1234:volt" do that). Every profile value
// is therefore read here, through iniparser_getstring with a private sentinel
// default, and its numbers converted by c_number.h (C locale, no wrapping).
#pragma once

#include <iniparser.h>

namespace quorvik::ini {

// Loads the profile at path: only a regular file, opened without blocking and
// loaded from that very descriptor, so that a FIFO or a device put in its
// place can neither hang the caller nor be swapped in after the check.
// nullptr when it cannot be loaded.
dictionary* load_profile(const char* path);

// Owner of one loaded profile; frees it on every path.
class Profile {
  public:
    explicit Profile(const char* path) : dict_(load_profile(path)) {}
    ~Profile() {
        if (dict_ != nullptr) iniparser_freedict(dict_);
    }
    Profile(const Profile&) = delete;
    Profile& operator=(const Profile&) = delete;

    explicit operator bool() const { return dict_ != nullptr; }
    dictionary* get() const { return dict_; }

  private:
    dictionary* dict_;
};

// The value text of key, or nullptr when the key is missing or names a section.
const char* find_text(const dictionary* dict, const char* key);

// True when key holds a value (possibly empty). A section name is no key.
bool has_key(const dictionary* dict, const char* key);

}  // namespace quorvik::ini
