/* The kernel's I/O-port permission call for the programs under test: this
 * machine's kernel may have none, a board's grants it. QUORVIK_TEST_IOPERM
 * says what the call answers: "granted", "EPERM" or "ENOSYS". Nothing is
 * granted for real, so a program that then touched a port would die: the
 * doctor never does. */
#include <errno.h>
#include <stdlib.h>
#include <string.h>

int ioperm(unsigned long from, unsigned long num, int turn_on) {
    const char* answer = getenv("QUORVIK_TEST_IOPERM");
    (void)from;
    (void)num;
    (void)turn_on;
    if (answer == NULL || strcmp(answer, "granted") == 0) return 0;
    errno = strcmp(answer, "ENOSYS") == 0 ? ENOSYS : EPERM;
    return -1;
}
