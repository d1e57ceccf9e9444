// What a sensor reading costs under quorvik-sim: the readers of the built
// libQuorvikSO, run by `quorvik-sim run` on the example board kt-500r (so
// with the simulator's libraries: the board's profile, its mapped register
// file and MSRs). scripts/bench.sh runs it beside quorvik_bench, whose rows
// of the same readers on the test simulator it is compared with.
//   quorvik-sim run examples/boards/kt-500r -- quorvik_sim_bench [benchmark flags]
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include "QuorvikSO.h"

namespace {

char model[30];

template <int (*Reader)(const char*, const char*, int, char**), int Input>
void reading(benchmark::State& state) {
    for (auto _ : state) {
        char* text = nullptr;
        const int status = Reader(QUORVIK_PROFILE_PATH, model, Input, &text);
        if (status != SENSOR_OK)
            state.SkipWithError("the reading failed: not on a simulated board?");
        std::free(text);
    }
}

void dispatch(benchmark::State& state) {
    for (auto _ : state) {
        int value = 0;
        benchmark::DoNotOptimize(GetSensorValueByType(model, SENSOR_VOLT, 0, &value));
    }
}

}  // namespace

BENCHMARK(reading<SensorVolt, 0>)->Name("quorvik-sim SensorVolt(0)");
BENCHMARK(reading<SensorTemp, 0>)->Name("quorvik-sim SensorTemp(0) (MSR)");
BENCHMARK(reading<SensorTemp, 1>)->Name("quorvik-sim SensorTemp(1) (register, bank 1)");
BENCHMARK(reading<SensorFan, 0>)->Name("quorvik-sim SensorFan(0)");
BENCHMARK(dispatch)->Name("quorvik-sim GetSensorValueByType(VOLT, 0)");

int main(int argc, char** argv) {
    if (GetDeviceName(model) != 1) {
        std::fprintf(stderr,
                     "quorvik_sim_bench: no board identified: run it under quorvik-sim run\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
