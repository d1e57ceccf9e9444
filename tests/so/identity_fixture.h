// A fresh simulated board and an empty identity cache for every test.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "QuorvikSO.h"
#include "bios_builder.h"
#include "capture.h"
#include "sim_board.h"

namespace quorvik::sim {

class IdentityTest : public testing::Test {
  protected:
    void SetUp() override {
        board().reset();
        std::memset(Model_str, 0, sizeof Model_str);
        std::memset(BIOS_Ver_str, 0, sizeof BIOS_Ver_str);
        std::memset(SerialNumber_str, 0, sizeof SerialNumber_str);
        PlatformInfo_Flag = 0;
    }
    void TearDown() override {
        EXPECT_EQ(board().open_files(), 0) << "a descriptor was left open";
        EXPECT_EQ(board().live_mappings(), 0) << "a mapping was left in place";
        EXPECT_FALSE(board().permitted[0xB2]) << "the SMI port permission was left raised";
    }

    static Board& board() { return Board::get(); }

    // Runs one identification and returns what it printed.
    static std::string identify(int expected_result) {
        int result = -1;
        std::string printed = printed_by([&] { result = PlatformInfo(); });
        EXPECT_EQ(result, expected_result) << printed;
        return printed;
    }
};

}  // namespace quorvik::sim
