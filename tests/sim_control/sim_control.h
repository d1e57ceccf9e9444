/* C entry of the simulated libQuorvikSO used by the tests that load the
 * built libraries with dlopen. */
#ifndef QUORVIK_SIM_CONTROL_H
#define QUORVIK_SIM_CONTROL_H

#ifdef __cplusplus
extern "C" {
#endif

/* Installs an Insyde board with the given identity and returns 0. */
typedef int (*quorvik_sim_board_fn)(const char* model, const char* bios, const char* serial);
#define QUORVIK_SIM_BOARD_SYMBOL "quorvik_sim_board"

#ifdef __cplusplus
}
#endif

#endif
