// regsvr: registers or unregisters a self-registering in-process server library, as
// regsvr32 does on Windows: loads it, calls DllRegisterServer (or, with -u,
// DllUnregisterServer) and reports the outcome. Exit status 0 on success, 3 when the
// library cannot be loaded, 4 when the entry point is missing, 5 when the call fails,
// 1 for a wrong command line.
#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "ole/automation.h"

int main(int argc, char** argv) {
    bool cancella = false;
    bool silenzioso = false;
    const char* libreria = nullptr;
    int librerie = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-u") == 0) cancella = true;
        else if (std::strcmp(argv[i], "-s") == 0) silenzioso = true;
        else libreria = argv[i], ++librerie;
    }
    if (librerie != 1) {
        std::fprintf(stderr, "uso: regsvr [-u] [-s] libreria.so\n");
        return 1;
    }
    // A bare name would be searched in the system's library folders, not here.
    std::string percorso = libreria;
    if (percorso.find('/') == std::string::npos) percorso = "./" + percorso;

    void* h = dlopen(percorso.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        std::fprintf(stderr, "Impossibile caricare il modulo \"%s\": %s\n", libreria, dlerror());
        return 3;
    }
    const char* punto = cancella ? "DllUnregisterServer" : "DllRegisterServer";
    auto f = reinterpret_cast<HRESULT (*)()>(dlsym(h, punto));
    if (!f) {
        std::fprintf(
            stderr,
            "Il modulo \"%s\" è stato caricato, ma non è stato trovato il punto di ingresso %s.\n",
            libreria, punto);
        dlclose(h);
        return 4;
    }
    const HRESULT hr = f();
    dlclose(h);
    if (FAILED(hr)) {
        std::fprintf(
            stderr,
            "Il modulo \"%s\" è stato caricato, ma la chiamata a %s non è riuscita: 0x%08X.\n",
            libreria, punto, static_cast<unsigned>(hr));
        return 5;
    }
    if (!silenzioso) std::printf("%s in %s riuscita.\n", punto, libreria);
    return 0;
}
