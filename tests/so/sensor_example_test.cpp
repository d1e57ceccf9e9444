// A complete board profile, read input by input as a host would.
#include <string>

#include "sensor_fixture.h"

namespace quorvik::sim {
namespace {

constexpr char kExample[] = QUORVIK_TEST_DATA "/sensors/example-board.ini";

TEST_F(SensorTest, ExampleBoardReadsEveryInputItDeclares) {
    chip().bank_select = 0x80;
    chip().set(0, 0x20, 150);   // 1200 mV
    chip().set(0, 0x21, 75);    // 1200 mV
    chip().set(0, 0x23, 208);   // 4992 mV
    chip().set(0, 0x27, 0x1F);  // 31 degrees
    chip().set(0, 0x28, 0x05);
    chip().set(0, 0x29, 0x46);
    board().msr[0x1A2] = 0x00640000;  // reference 100
    board().msr[0x19C] = 0x88370000;  // 55 below it

    const struct {
        Reader reader;
        int input;
        const char* text;
    } inputs[] = {
        {SensorVolt, 0, "VCORE: 1200"},   {SensorVolt, 1, "VDRAM: 1200"},
        {SensorVolt, 2, "V5: 4992"},      {SensorTemp, 0, "CPU: 45000"},
        {SensorTemp, 1, "SYSTEM: 31000"}, {SensorFan, 0, "SYSFAN: 1000"},
    };
    for (const auto& input : inputs) {
        const Reading reading = read(input.reader, kExample, input.input, "example-board");
        EXPECT_EQ(reading.status, SENSOR_OK) << input.text;
        EXPECT_EQ(reading.text, input.text);
    }
    EXPECT_EQ(chip().bank_select, 0x80) << "bank 0 selected, bits 7-3 kept";

    const struct {
        int (*query)(const char*, const char*, char**);
        const char* count;
    } counts[] = {{SensorVoltQuery, "3"}, {SensorTempQuery, "2"}, {SensorFanQuery, "1"}};
    for (const auto& count : counts) {
        char* text = nullptr;
        ASSERT_EQ(count.query(kExample, "example-board", &text), SENSOR_OK);
        EXPECT_STREQ(text, count.count);
        std::free(text);
    }
}

}  // namespace
}  // namespace quorvik::sim
