// Model matching: which profile section serves a model whose name has no
// section of its own (SensorModelCheck), and the name that addresses a
// model's keys.
#pragma once

#include <iniparser.h>

#include <span>

#include "quorvik_common/profile_schema.h"

namespace quorvik::sensor {

inline constexpr std::size_t kSectionSize = schema::kModelSize;

// 1 with the name of the first section (in file order) whose name begins the
// model name, lowered, in section[30]; 0 when a section bears the whole name
// or none begins it.
int serving_section(const char* model, const dictionary* profile, char* section);

// The same over the profile's section names listed once (ini::section_names),
// for a caller that matches many models against one profile.
int serving_section(const char* model, std::span<const char* const> sections, char* section);

// The name that addresses the model's keys: the section serving the model by
// prefix, or else the model name as given (lookups ignore case).
class SectionName {
  public:
    SectionName(const dictionary* profile, const char* model);
    SectionName(const SectionName&) = delete;
    SectionName& operator=(const SectionName&) = delete;

    const char* get() const { return name_; }

  private:
    char buffer_[kSectionSize] = {};
    const char* name_;
};

}  // namespace quorvik::sensor
