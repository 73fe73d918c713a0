/* Loads libscan.so the way a foreign program would and checks that the
 * thirteen functions are there under their plain names, that nothing else
 * of ours leaks out, and that a null handle is harmless. */
#define _POSIX_C_SOURCE 200809L
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

#include "scan.h"

static const char *const exported[] = {
    "scn_Init", "scn_Exit", "scn_LoadPar", "scn_SavePar", "scn_SetPar",
    "scn_GetPar", "scn_LoadImage", "scn_ImageProcessing", "scn_SetReference",
    "scn_ProfileCalculation", "scn_SaveProfile", "scn_GetImageSize",
    "scn_ReadImageLine"};

/* Internal operations that must stay hidden. */
static const char *const hidden[] = {"img_create", "img_load_bmp", "mat_create",
                                     "run_scan", "fringe_phase", "block_fit",
                                     "load_engine_image"};

int main(int argc, char **argv) {
    void *lib;
    size_t i;
    int failures = 0;
    typedef void (*GetImageSize)(ScnHandle, int32_t *, int32_t *);
    typedef int32_t (*LoadImage)(ScnHandle, const char *);
    GetImageSize get_size;
    LoadImage load_image;
    int32_t w = -1, h = -1;

    if (argc < 2) {
        fprintf(stderr, "usage: %s LIBRARY\n", argv[0]);
        return 2;
    }
    lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        fprintf(stderr, "dlopen failed: %s\n", dlerror());
        return 1;
    }
    for (i = 0; i < sizeof exported / sizeof exported[0]; ++i) {
        if (!dlsym(lib, exported[i])) {
            fprintf(stderr, "missing export %s\n", exported[i]);
            ++failures;
        }
    }
    for (i = 0; i < sizeof hidden / sizeof hidden[0]; ++i) {
        if (dlsym(lib, hidden[i])) {
            fprintf(stderr, "internal name %s is exported\n", hidden[i]);
            ++failures;
        }
    }
    if (sizeof(ScnPar) != 2 * sizeof(int32_t) + 8 * sizeof(double)) {
        fprintf(stderr, "ScnPar has %u bytes\n", (unsigned)sizeof(ScnPar));
        ++failures;
    }

    *(void **)(&get_size) = dlsym(lib, "scn_GetImageSize");
    *(void **)(&load_image) = dlsym(lib, "scn_LoadImage");
    if (get_size && load_image) {
        get_size(NULL, &w, &h);
        if (w != 0 || h != 0) {
            fprintf(stderr, "null handle gave size %d x %d\n", (int)w, (int)h);
            ++failures;
        }
        if (load_image(NULL, "missing.bmp") != SCN_FAILED) {
            fprintf(stderr, "null handle load did not fail\n");
            ++failures;
        }
    }
    dlclose(lib);
    return failures ? 1 : 0;
}
