// A board for the monitoring API's tests: the simulated hardware library
// with an empty identity cache, the test run's digital-I/O driver (none at
// first, watched), and the system profile in the private /etc/quorvik.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "QuorvikSO.h"
#include "bios_builder.h"
#include "capture.h"
#include "driver_watch.h"
#include "private_mounts.h"
#include "sim_board.h"
#include "sim_run.h"

namespace quorvik::sim {

class BoardApiTest : public testing::Test {
  protected:
    void SetUp() override {
        run().reset();
        unidentified_board();
        QUORVIK_REQUIRE_PRIVATE_MOUNTS();
    }
    void TearDown() override { EXPECT_EQ(run().open_nodes(), 0) << "a device node was left open"; }

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

    static SimRun& run() { return SimRun::get(); }
    DriverWatch& watch() { return watch_; }

  private:
    DriverWatch watch_;
};

}  // namespace quorvik::sim
