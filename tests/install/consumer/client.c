/* A C program of a user of the installed engine: it sets the scan
   parameters, reads them back and prints the fringe period. */
#include <stdio.h>

#include "scan.h"

int main(void) {
    ScnHandle handle = scn_Init();
    ScnPar par;
    if (handle == NULL) return 1;
    scn_GetPar(handle, &par);
    par.LambdaF = 12.5;
    scn_SetPar(handle, &par);
    scn_GetPar(handle, &par);
    printf("LambdaF %.1f\n", par.LambdaF);
    scn_Exit(handle);
    return 0;
}
