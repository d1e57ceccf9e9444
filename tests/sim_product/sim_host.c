/* A plain C host of the built libraries, as an integrator writes one: it
 * links libquorvik and libQuorvikSO and knows nothing of the simulator.
 * Each argument is one step, run in order; each prints "STEP VALUE STATUS".
 *   identity | volt ROLE | temp ROLE | pwr N | relay N VALUE | sensor TYPE N |
 *   count temp|volt|fan | eth N | uart N | disk NAME | wait FILE */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "QuorvikSO.h"
#include "quorvik.h"

static int number(char** argv, int* i) {
    return atoi(argv[++*i]);
}

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const char* step = argv[i];
        int value = 0;
        if (strcmp(step, "identity") == 0) {
            char model[128] = "", bios[128] = "", serial[128] = "";
            const int a = get_device_name(model), b = get_bios_ver(bios), c = get_ser_num(serial);
            printf("identity %s|%s|%s %d %d %d\n", model, bios, serial, a, b, c);
        } else if (strcmp(step, "volt") == 0) {
            const int role = number(argv, &i);
            const int status = get_milli_volt(role, &value);
            printf("volt%d %d %d\n", role, value, status);
        } else if (strcmp(step, "temp") == 0) {
            const int role = number(argv, &i);
            const int status = get_temperature(role, &value);
            printf("temp%d %d %d\n", role, value, status);
        } else if (strcmp(step, "pwr") == 0) {
            const int input = number(argv, &i);
            const int status = get_pwr_status(input, &value);
            printf("pwr%d %d %d\n", input, value, status);
        } else if (strcmp(step, "relay") == 0) {
            const int output = number(argv, &i);
            const int wanted = number(argv, &i);
            printf("relay%d %d %d\n", output, wanted, set_relay(output, wanted));
        } else if (strcmp(step, "sensor") == 0) {
            const int type = number(argv, &i);
            const int input = number(argv, &i);
            char model[128] = "";
            get_device_name(model);
            const int status = GetSensorValueByType(model, type, input, &value);
            printf("sensor%d.%d %d %d\n", type, input, value, status);
        } else if (strcmp(step, "count") == 0) {
            const char* kind = argv[++i];
            char model[128] = "";
            get_device_name(model);
            char* text = NULL;
            int status =
                strcmp(kind, "temp") == 0   ? SensorTempQuery(QUORVIK_PROFILE_PATH, model, &text)
                : strcmp(kind, "volt") == 0 ? SensorVoltQuery(QUORVIK_PROFILE_PATH, model, &text)
                                            : SensorFanQuery(QUORVIK_PROFILE_PATH, model, &text);
            printf("count-%s %s %d\n", kind, text != NULL ? text : "(none)", status);
            free(text);
        } else if (strcmp(step, "eth") == 0) {
            const int port = number(argv, &i);
            int link = 0, speed = 0, usage = 0;
            const int a = get_eth_link(port, &link), b = get_eth_speed(port, &speed),
                      c = get_eth_usage(port, &usage);
            printf("eth%d %d|%d|%d %d %d %d\n", port, link, speed, usage, a, b, c);
        } else if (strcmp(step, "uart") == 0) {
            const int port = number(argv, &i);
            const int status = get_uart_status(port, &value);
            printf("uart%d %d %d\n", port, value, status);
        } else if (strcmp(step, "disk") == 0) {
            const char* name = argv[++i];
            double percent = 0, total = 0, avail = 0;
            const int a = get_disk_usage(name, &percent), b = get_disk_total_size(name, &total),
                      c = get_disk_avail_size(name, &avail);
            printf("disk %g|%g|%g %d %d %d\n", percent, total, avail, a, b, c);
        } else if (strcmp(step, "wait") == 0) {
            const char* file = argv[++i];
            printf("waiting\n");
            fflush(stdout);
            while (access(file, F_OK) != 0) usleep(20000);
        } else {
            fprintf(stderr, "sim_host: unknown step %s\n", step);
            return 2;
        }
        fflush(stdout);
    }
    return 0;
}
