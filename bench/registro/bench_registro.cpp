// Figures of the registry store on a hive much larger than any this system writes
// (class registrations and a few settings): the first read of a changed hive, reads
// served while the file is unchanged, and writes (each a locked, flushed, atomic
// replacement of the whole file).
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "win/registry.h"

namespace {

using Orologio = std::chrono::steady_clock;

double Ms(Orologio::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
    const int chiavi = argc > 1 ? std::atoi(argv[1]) : 5000;
    char modello[] = "/tmp/vq-bench-registro-XXXXXX";
    if (mkdtemp(modello) == nullptr) return 1;
    const std::filesystem::path cartella = modello;
    setenv("VQ_REGISTRO_DIR", modello, 1);

    // A hive of `chiavi` class registrations, three keys and four values each.
    {
        std::ofstream out(cartella / "HKCR.reg", std::ios::binary);
        out << "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\CLSID]\n\n";
        for (int i = 0; i < chiavi; ++i) {
            char clsid[64];
            std::snprintf(clsid, sizeof clsid, "{%08X-1234-5678-9ABC-DEF012345678}", i);
            out << "[HKEY_CLASSES_ROOT\\CLSID\\" << clsid << "]\n@=\"Classe " << i << "\"\n\n";
            out << "[HKEY_CLASSES_ROOT\\CLSID\\" << clsid
                << "\\InprocServer32]\n@=\"/opt/vq/lib/libcomponente" << i
                << ".so\"\n\"ThreadingModel\"=\"Apartment\"\n\n";
            out << "[HKEY_CLASSES_ROOT\\CLSID\\" << clsid
                << "\\TypeLib]\n@=hex:01,02,03,04,05,06,07,08,09,0a,0b\n\n";
        }
    }
    const auto dimensione = std::filesystem::file_size(cartella / "HKCR.reg");

    auto leggi = [](int i) {
        char percorso[96];
        std::snprintf(percorso, sizeof percorso,
                      "CLSID\\{%08X-1234-5678-9abc-def012345678}\\InprocServer32", i);
        HKEY h = nullptr;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, percorso, 0, KEY_READ, &h) != ERROR_SUCCESS)
            std::abort();
        char buf[256];
        DWORD n = sizeof buf, tipo = 0;
        if (RegQueryValueExA(h, nullptr, nullptr, &tipo, reinterpret_cast<BYTE*>(buf), &n) !=
            ERROR_SUCCESS)
            std::abort();
        RegCloseKey(h);
    };

    auto t0 = Orologio::now();
    leggi(0);
    const double primaLettura = Ms(Orologio::now() - t0);

    constexpr int kLetture = 20000;
    t0 = Orologio::now();
    for (int i = 0; i < kLetture; ++i) leggi(i % chiavi);
    const double letture = Ms(Orologio::now() - t0);

    constexpr int kScritture = 20;
    HKEY h = nullptr;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, "Vq.Prova", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h,
                        nullptr) != ERROR_SUCCESS)
        return 1;
    t0 = Orologio::now();
    for (int i = 0; i < kScritture; ++i) {
        const DWORD v = static_cast<DWORD>(i);
        if (RegSetValueExA(h, "n", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4) !=
            ERROR_SUCCESS)
            return 1;
    }
    const double scritture = Ms(Orologio::now() - t0);
    RegCloseKey(h);

    // A small hive, as this system has: the settings of one user.
    HKEY piccola = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER,
                        "Software\\VB and VBA Program Settings\\VQEsporta_XML\\Filtro", 0, nullptr,
                        0, KEY_ALL_ACCESS, nullptr, &piccola, nullptr) != ERROR_SUCCESS)
        return 1;
    t0 = Orologio::now();
    for (int i = 0; i < kScritture; ++i) {
        const char data[] = "20040101";
        if (RegSetValueExA(piccola, "Data_Iniziale", 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                           static_cast<DWORD>(sizeof data)) != ERROR_SUCCESS ||
            RegSetValueExA(piccola, "Data_Iniziale", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"),
                           2) != ERROR_SUCCESS)
            return 1;
    }
    const double scrittureSmall = Ms(Orologio::now() - t0);
    RegCloseKey(piccola);

    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    std::printf("hive: %d classes, %d keys, %.1f MiB\n", chiavi, 3 * chiavi + 1,
                static_cast<double>(dimensione) / (1024.0 * 1024.0));
    std::printf("first read of the changed hive (parse): %.1f ms\n", primaLettura);
    std::printf("open+query+close while unchanged:       %.2f us each\n",
                letture * 1000.0 / kLetture);
    std::printf("write to the large hive (whole file):  %.1f ms each\n", scritture / kScritture);
    std::printf("write to a small hive:                 %.2f ms each\n",
                scrittureSmall / (2 * kScritture));
    std::printf("peak resident memory:                  %.1f MiB\n",
                static_cast<double>(ru.ru_maxrss) / 1024.0);
    std::filesystem::remove_all(cartella);
    return 0;
}
