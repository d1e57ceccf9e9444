/*
 * A host of the Quorvik libraries: shows the board's model and a few
 * readings, each with its status when it cannot be read.
 *
 *   make                          (pkg-config)
 *   cmake -S . -B build && cmake --build build   (find_package(Quorvik))
 *
 * Run it as root on a board; elsewhere the model is ERR_DEVICE_NAME.
 */
#include <QuorvikSO.h>
#include <quorvik.h>
#include <stdio.h>

int main(void) {
    printf("built against libquorvik %d.%d.%d, libQuorvikSO %d.%d.%d\n", QUORVIK_VERSION_MAJOR,
           QUORVIK_VERSION_MINOR, QUORVIK_VERSION_PATCH, QUORVIK_SO_VERSION_MAJOR,
           QUORVIK_SO_VERSION_MINOR, QUORVIK_SO_VERSION_PATCH);

    char model[128];
    int status = get_device_name(model);
    if (status == 0)
        printf("model %s\n", model);
    else
        printf("model unavailable (status %d)\n", status);

    int cpus = 0;
    status = get_cpu_count(&cpus);
    if (status == 0)
        printf("cpus %d\n", cpus);
    else
        printf("cpus unavailable (status %d)\n", status);

    double total = 0.0;
    status = get_mem_total_size(&total);
    if (status == 0)
        printf("memory %.0f MiB\n", total);
    else
        printf("memory unavailable (status %d)\n", status);

    /* Off a board only the model may fail: anything else is a broken host. */
    return cpus > 0 && total > 0.0 ? 0 : 1;
}
