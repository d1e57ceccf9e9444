/* quorvik-sim's loader audit module (LD_AUDIT), loaded into every program of
 * a run. It makes the dynamic loader take the simulated libraries wherever a
 * program asks for libquorvik or libQuorvikSO: by soname, through an
 * old-style RPATH, through RUNPATH, or by an absolute path given to dlopen
 * (a Python ctypes host). And it checks every library the loader opens: a
 * libquorvik or libQuorvikSO from anywhere but the simulator's directory
 * ends the program at once with a message, before any of its code runs, so
 * that a program never reaches the real hardware path unnoticed.
 *
 * It runs in the loader's audit namespace: only the C library here. */
#define _GNU_SOURCE
#include <limits.h>
#include <link.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "sim_state.h"

static char libdir[PATH_MAX];
static char redirected[2][PATH_MAX + 32];

static const char* const kSonames[] = {"libquorvik.so.1", "libQuorvikSO.so.1"};

/* Which of ours a file name is: 0 libquorvik, 1 libQuorvikSO, -1 neither.
 * Any of their names counts: the soname, the development link, the real
 * file name with the full version. */
static int library_of(const char* name) {
    const char* base = strrchr(name, '/');
    base = base != NULL ? base + 1 : name;
    if (strncmp(base, "libquorvik.so", 13) == 0) return 0;
    if (strncmp(base, "libQuorvikSO.so", 15) == 0) return 1;
    return -1;
}

unsigned int la_version(unsigned int version) {
    const char* dir = getenv(QSIM_ENV_LIBDIR);
    if (dir == NULL || realpath(dir, libdir) == NULL) {
        fprintf(stderr, "quorvik-sim: " QSIM_ENV_LIBDIR
                        " names no directory: "
                        "the simulated libraries cannot be checked\n");
        _exit(125);
    }
    for (int i = 0; i < 2; ++i) {
        if (snprintf(redirected[i], sizeof redirected[i], "%s/%s", libdir, kSonames[i]) < 0)
            _exit(125);
    }
    return version < LAV_CURRENT ? version : LAV_CURRENT;
}

char* la_objsearch(const char* name, uintptr_t* cookie, unsigned int flag) {
    (void)cookie;
    (void)flag;
    const int which = library_of(name);
    return which >= 0 ? redirected[which] : (char*)name;
}

/* The object's DT_SONAME (the loader has relocated DT_STRTAB by then). */
static const char* soname_of(const struct link_map* map) {
    const char* strtab = NULL;
    long soname = -1;
    for (const ElfW(Dyn)* d = map->l_ld; d != NULL && d->d_tag != DT_NULL; ++d) {
        if (d->d_tag == DT_STRTAB) {
            /* Relocated by the loader, except in read-only dynamic sections
             * (the vDSO's), which keep the offset. */
            ElfW(Addr) address = d->d_un.d_ptr;
            if (address < map->l_addr) address += map->l_addr;
            strtab = (const char*)address;
        }
        if (d->d_tag == DT_SONAME) soname = (long)d->d_un.d_val;
    }
    return strtab != NULL && soname >= 0 ? strtab + soname : NULL;
}

unsigned int la_objopen(struct link_map* map, Lmid_t lmid, uintptr_t* cookie) {
    (void)lmid;
    (void)cookie;
    if (map->l_name == NULL || map->l_name[0] == '\0') return 0;
    /* Ours by its name, or by its soname whatever the file is called. */
    const char* soname = soname_of(map);
    if (library_of(map->l_name) < 0 && (soname == NULL || library_of(soname) < 0)) return 0;
    char real[PATH_MAX];
    const char* slash = NULL;
    if (realpath(map->l_name, real) != NULL) slash = strrchr(real, '/');
    if (slash != NULL && (size_t)(slash - real) == strlen(libdir) &&
        strncmp(real, libdir, (size_t)(slash - real)) == 0) {
        return 0;
    }
    fprintf(stderr,
            "quorvik-sim: the program loaded %s, not the simulated library from %s;"
            " stopped before it could reach the real hardware\n",
            map->l_name, libdir);
    _exit(125);
}
