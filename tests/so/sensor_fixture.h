// A simulated board with a Super I/O chip on ports 0x295/0x296, profile files
// written per test, and the checks every sensor reading must pass: no port
// touched without permission, every permission dropped, nothing left open.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "QuorvikSO.h"
#include "capture.h"
#include "quorvik_common/sensor_reader.h"
#include "sim_board.h"
#include "superio_chip.h"

namespace quorvik::sim {

inline constexpr std::uint16_t kIndexPort = 0x295;
inline constexpr std::uint16_t kDataPort = 0x296;

// One profile section, keys in the order given; set() replaces a key in place.
class SectionText {
  public:
    explicit SectionText(std::string name) : name_(std::move(name)) {}

    SectionText& set(const std::string& key, const std::string& value) {
        for (auto& entry : entries_) {
            if (entry.first == key) {
                entry.second = value;
                return *this;
            }
        }
        entries_.emplace_back(key, value);
        return *this;
    }
    SectionText& erase(const std::string& key) {
        std::erase_if(entries_, [&](const auto& entry) { return entry.first == key; });
        return *this;
    }
    std::string text() const {
        std::string text = "[" + name_ + "]\n";
        for (const auto& [key, value] : entries_) text += key + " = " + value + "\n";
        return text;
    }

  private:
    std::string name_;
    std::vector<std::pair<std::string, std::string>> entries_;
};

// Section of KT-500R: a W83627DHG at 0x295/0x296 with voltage input 0 (VCORE,
// bank 0 register 0x20, 8 mV), temperature input 0 (SYSTEM, bank 0 register
// 0x27) and fan input 0 (SYSFAN, bank 0 registers 0x28/0x29, 1350000).
inline SectionText board_section(std::string name = "kt-500r") {
    SectionText section(std::move(name));
    section.set("Index", "0x295").set("Data", "0x296").set("Sio", "W83627DHG");
    section.set("Vin0Str", "VCORE").set("Vin0Bnk", "0").set("Vin0Idx", "0x20").set("Vin0Cof", "8");
    section.set("Tin0Str", "SYSTEM").set("Tin0Bnk", "0").set("Tin0Idx", "0x27");
    section.set("Fin0Str", "SYSFAN").set("Fin0Bnk", "0").set("Fin0MSB", "0x28");
    section.set("Fin0LSB", "0x29").set("Fin0Count", "1350000");
    return section;
}

using Reader = quorvik::sensor::Reader;

// What a reader left: its status, and its text or what became of the
// caller's text pointer.
struct Reading {
    int status = 0;
    std::string text;
    bool pointer_untouched = false;
    bool pointer_null = false;
};

class SensorTest : public testing::Test {
  protected:
    void SetUp() override {
        board().reset();
        use_chip(true);
        char dir[] = "/tmp/quorvik-sensor-XXXXXX";
        ASSERT_NE(::mkdtemp(dir), nullptr);
        dir_ = dir;
    }
    void TearDown() override {
        EXPECT_EQ(board().permission_violations, 0) << "a port was touched without permission";
        if (expect_permissions_dropped_) {
            EXPECT_TRUE(board().permitted.none()) << "a port permission was left raised";
        }
        EXPECT_EQ(board().open_files(), 0) << "a descriptor was left open";
        board().reset();
        std::filesystem::remove_all(dir_);
    }

    static Board& board() { return Board::get(); }

    SuperIoChip& use_chip(bool banked) {
        chip_ = std::make_unique<SuperIoChip>(kIndexPort, kDataPort, banked);
        chip_->attach_to(board());
        return *chip_;
    }
    SuperIoChip& chip() { return *chip_; }

    // Writes a profile file for this test and returns its path.
    std::string profile(const std::string& text, const std::string& name = "profile.ini") {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::trunc) << text;
        return path;
    }
    std::string profile(const SectionText& section) { return profile(section.text()); }

    // Runs a reader and captures what it prints into printed_.
    Reading read(Reader reader, const std::string& path, int input = 0,
                 const char* model = "KT-500R") {
        static char sentinel;
        char* text = &sentinel;
        Reading reading;
        printed_ = printed_by([&] { reading.status = reader(path.c_str(), model, input, &text); });
        reading.pointer_untouched = text == &sentinel;
        reading.pointer_null = text == nullptr;
        if (!reading.pointer_untouched && text != nullptr) {
            reading.text = text;
            std::free(text);
        }
        return reading;
    }

    // Permission calls of this test that named port.
    std::vector<PermissionCall> calls_for(unsigned long port) const {
        std::vector<PermissionCall> calls;
        for (const auto& call : board().permission_calls) {
            if (call.from == port) calls.push_back(call);
        }
        return calls;
    }

    std::string dir_;
    std::string printed_;
    bool expect_permissions_dropped_ = true;

  private:
    std::unique_ptr<SuperIoChip> chip_;
};

// The three readers with their input kind, for tests that hold for each.
struct ReaderKind {
    const char* name;
    Reader reader;
    const char* kind;  // key prefix: Vin, Tin, Fin
};

inline const ReaderKind kReaders[] = {
    {"Volt", SensorVolt, "Vin"}, {"Temp", SensorTemp, "Tin"}, {"Fan", SensorFan, "Fin"}};

inline std::string reader_name(const testing::TestParamInfo<ReaderKind>& info) {
    return info.param.name;
}

}  // namespace quorvik::sim
