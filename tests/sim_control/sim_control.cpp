#include "sim_control.h"

#include "bios_builder.h"
#include "sim_board.h"

extern "C" __attribute__((visibility("default"))) int quorvik_sim_board(const char* model,
                                                                        const char* bios,
                                                                        const char* serial) {
    quorvik::sim::Board::get().reset();
    quorvik::sim::install(quorvik::sim::insyde_board(model, bios, serial));
    return 0;
}
