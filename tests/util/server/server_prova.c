/* A component for the registration tests: each entry point appends its name to the file
   named by $VQ_PROVA_SERVER_LOG. */
#include <stdio.h>
#include <stdlib.h>

static int Annota(const char* testo) {
    const char* log = getenv("VQ_PROVA_SERVER_LOG");
    if (log == NULL) return 1;
    FILE* f = fopen(log, "a");
    if (f == NULL) return 1;
    fprintf(f, "%s\n", testo);
    fclose(f);
    return 0;
}

__attribute__((visibility("default"))) int DllRegisterServer(void) { return Annota("register"); }
__attribute__((visibility("default"))) int DllUnregisterServer(void) { return Annota("unregister"); }
