// quorvik-info: prints everything the Quorvik libraries can tell about this
// board, each reading with its value or its status by name.
#include <cstring>

#include "info.h"

int main(int argc, char** argv) {
    bool per_cpu = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--per-cpu") == 0) per_cpu = true;
    }
    quorvik::info::report_identity();
    quorvik::info::report_sensors();
    quorvik::info::report_system(per_cpu);
    return 0;
}
