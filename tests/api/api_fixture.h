// A board for the monitoring API's tests: the simulated hardware library
// with an empty identity cache, the simulated digital-I/O driver, and the
// system profile in the private /etc/quorvik.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "QuorvikSO.h"
#include "bios_builder.h"
#include "capture.h"
#include "dio_sim.h"
#include "private_mounts.h"
#include "sim_board.h"

namespace quorvik::sim {

class BoardApiTest : public testing::Test {
  protected:
    void SetUp() override {
        DioDriver::get().reset();
        DioDriver::install();
        unidentified_board();
        QUORVIK_REQUIRE_PRIVATE_MOUNTS();
    }
    void TearDown() override {
        EXPECT_EQ(DioDriver::get().open_descriptors(), 0) << "a device node was left open";
        DioDriver::uninstall();
    }

    // The board identifies as model; the profile holds one section for it.
    static void board(const std::string& model, const std::string& section_body) {
        install(insyde_board(model, "R1.00", "SN1"));
        write_system_profile("[" + model + "]\n" + section_body);
    }

    // A board without BIOS memory and an empty identity cache.
    static void unidentified_board() {
        Board::get().reset();
        std::memset(Model_str, 0, sizeof Model_str);
        std::memset(BIOS_Ver_str, 0, sizeof BIOS_Ver_str);
        std::memset(SerialNumber_str, 0, sizeof SerialNumber_str);
        PlatformInfo_Flag = 0;
    }

    static DioDriver& dio() { return DioDriver::get(); }
};

}  // namespace quorvik::sim
