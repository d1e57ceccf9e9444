// Crash-proof access to a loaded device profile.
//
// iniparser 4.1 hands a null text to strtol/atof inside iniparser_getint and
// iniparser_getdouble when the key text names a section (a section called
// "ab-1234:volt" makes the key "ab-1234:volt" do that). Every profile value
// is therefore read here, through iniparser_getstring with a private sentinel
// default, and its numbers converted by c_number.h (C locale, no wrapping).
#pragma once

#include <iniparser.h>

#include <cstring>
#include <vector>

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

// The profile's section names in iniparser_getsecname's order, walked in one
// pass without allocating: asking iniparser for each name in turn scans the
// whole dictionary every time, which a profile of thousands of sections
// turns into minutes. A section is an entry whose key holds no ':', as
// iniparser_getnsec counts.
class Sections {
  public:
    explicit Sections(const dictionary* dict) : dict_(dict) {}

    class Iterator {
      public:
        Iterator(const dictionary* dict, ssize_t at) : dict_(dict), at_(at) { skip(); }
        const char* operator*() const { return dict_->key[at_]; }
        Iterator& operator++() {
            ++at_;
            skip();
            return *this;
        }
        bool operator!=(const Iterator& other) const { return at_ != other.at_; }

      private:
        void skip() {
            while (dict_ != nullptr && at_ < dict_->size &&
                   (dict_->key[at_] == nullptr || std::strchr(dict_->key[at_], ':') != nullptr)) {
                ++at_;
            }
        }
        const dictionary* dict_;
        ssize_t at_;
    };
    Iterator begin() const { return {dict_, 0}; }
    Iterator end() const { return {dict_, dict_ != nullptr ? dict_->size : 0}; }

  private:
    const dictionary* dict_;
};

// The same names in a list, for a caller that walks them many times.
std::vector<const char*> section_names(const dictionary* dict);

// The value text of key, or nullptr when the key is missing or names a section.
const char* find_text(const dictionary* dict, const char* key);

// True when key holds a value (possibly empty). A section name is no key.
bool has_key(const dictionary* dict, const char* key);

}  // namespace quorvik::ini
