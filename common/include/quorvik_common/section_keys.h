// The one reader of a model's keys in a loaded device profile, for both
// libraries and the profile checker: "<section>:<key>" of the section, and
// "<section>:<prefix><input><field>" of one input ("ab-12:Vin3Idx"). It finds
// value texts and remembers what it was asked; what a value means, and the
// status a caller sees, belong to the key readers built on it (sensor_inputs.h,
// model_keys.h).
#pragma once

#include <iniparser.h>

#include <cstddef>
#include <set>
#include <string>

#include "quorvik_common/profile_schema.h"

namespace quorvik {

class SectionKeys {
  public:
    // A key too long for this buffer cannot stand in a profile, whose lines
    // are shorter, and reads as missing.
    static constexpr std::size_t kKeySize = 1024;

    // profile or section may be null: the key readers answer for that before
    // asking for a value.
    SectionKeys(const dictionary* profile, const char* section)
        : profile_(profile), section_(section) {}
    SectionKeys(const dictionary* profile, const char* section, const schema::InputKind& kind,
                int input)
        : profile_(profile), section_(section), prefix_(kind.prefix), input_(input) {}

    const dictionary* profile() const { return profile_; }
    const char* section() const { return section_; }

    // The value text, or nullptr when the key is missing (or names a section).
    const char* value(const char* key);
    const char* input_value(const char* field);

    // The key asked for last, without its section ("Vin3Idx"); "" before any.
    const char* last_key() const { return key_ + name_length_; }

    // Every key asked from now on goes into asked too, without its section:
    // the profile checker learns which keys a reader reads.
    void record_asked(std::set<std::string>& asked) { asked_ = &asked; }

    // A key reader refuses the value of the key asked for last, or of key;
    // why says what it makes of the value ("factor 0"), so that the profile
    // checker reports the reader's own reason. "" unless refused.
    void note_refusal(const char* why, const char* key = nullptr);
    const char* why() const { return why_; }

  private:
    const char* find(bool formed);

    const dictionary* profile_;
    const char* section_;
    const char* prefix_ = "";
    int input_ = 0;
    char key_[kKeySize] = {};
    std::size_t name_length_ = 0;  // of the section part of key_, with its colon
    const char* why_ = "";
    std::set<std::string>* asked_ = nullptr;
};

}  // namespace quorvik
