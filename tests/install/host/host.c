/* A host program built against the installed libraries. */
#include <stdio.h>

#include <QuorvikSO.h>
#include <quorvik.h>

int main(void) {
    char model[128];
    const int status = get_device_name(model);
    printf("get_device_name status %d model '%s'\n", status, model);
    return status == 0 || status == ERR_DEVICE_NAME ? 0 : 1;
}
