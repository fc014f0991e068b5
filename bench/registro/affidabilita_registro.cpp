// Reliability of the registry store under concurrent writers: `processi` processes each
// write `valori` values into one key at once; every value must be there afterwards.
// Repeated `giri` times, then a damaged hive is written to: the write must fail with
// ERROR_BADDB and leave the damaged file byte for byte as it was.
// Usage: affidabilita_registro [processi] [valori] [giri]
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "win/registry.h"

namespace {

std::string Leggi(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The child's work: `valori` values "p<processo>_<n>" in the round's key.
int Scrittore(const std::string& chiave, int processo, int valori) {
    HKEY h = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, chiave.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h,
                        nullptr) != ERROR_SUCCESS)
        return 2;
    int falliti = 0;
    for (int n = 0; n < valori; ++n) {
        const std::string nome = "p" + std::to_string(processo) + "_" + std::to_string(n);
        const DWORD valore = static_cast<DWORD>(processo * 100000 + n);
        if (RegSetValueExA(h, nome.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&valore),
                           sizeof valore) != ERROR_SUCCESS)
            ++falliti;
    }
    RegCloseKey(h);
    return falliti == 0 ? 0 : 3;
}

}  // namespace

int main(int argc, char** argv) {
    const int processi = argc > 1 ? std::atoi(argv[1]) : 4;
    const int valori = argc > 2 ? std::atoi(argv[2]) : 200;
    const int giri = argc > 3 ? std::atoi(argv[3]) : 20;
    char modello[] = "/tmp/vq-affidabilita-registro-XXXXXX";
    if (mkdtemp(modello) == nullptr) return 1;
    const std::filesystem::path cartella = modello;
    setenv("VQ_REGISTRO_DIR", modello, 1);

    long persi = 0, errori = 0;
    for (int giro = 0; giro < giri; ++giro) {
        const std::string chiave = "Software\\Prova\\Giro" + std::to_string(giro);
        std::vector<pid_t> figli;
        for (int p = 0; p < processi; ++p) {
            const pid_t pid = fork();
            if (pid == 0) _exit(Scrittore(chiave, p, valori));
            figli.push_back(pid);
        }
        for (const pid_t pid : figli) {
            int stato = 0;
            if (waitpid(pid, &stato, 0) != pid || !WIFEXITED(stato) || WEXITSTATUS(stato) != 0)
                ++errori;
        }
        HKEY h = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, chiave.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) {
            persi += static_cast<long>(processi) * valori;
            continue;
        }
        for (int p = 0; p < processi; ++p)
            for (int n = 0; n < valori; ++n) {
                const std::string nome = "p" + std::to_string(p) + "_" + std::to_string(n);
                DWORD valore = 0, dimensione = sizeof valore, tipo = 0;
                if (RegQueryValueExA(h, nome.c_str(), nullptr, &tipo,
                                     reinterpret_cast<BYTE*>(&valore),
                                     &dimensione) != ERROR_SUCCESS ||
                    valore != static_cast<DWORD>(p * 100000 + n))
                    ++persi;
            }
        RegCloseKey(h);
    }
    std::printf(
        "registro: %d giri di %d processi x %d valori: %ld valori persi, %ld scrittori con "
        "errori\n",
        giri, processi, valori, persi, errori);

    // A damaged hive: a write must refuse it and leave it as it is.
    const auto alveare = cartella / "HKCU.reg";
    {
        std::ofstream out(alveare, std::ios::binary | std::ios::trunc);
        out << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Rotta\n\"valore\"=dword:zz\n";
    }
    const std::string prima = Leggi(alveare);
    HKEY h = nullptr;
    LONG esito = RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Dopo", 0, nullptr, 0, KEY_WRITE,
                                 nullptr, &h, nullptr);
    if (esito == ERROR_SUCCESS) {
        const DWORD uno = 1;
        esito =
            RegSetValueExA(h, "x", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&uno), sizeof uno);
        RegCloseKey(h);
    }
    const bool intatto = Leggi(alveare) == prima;
    std::printf("registro: alveare danneggiato: scrittura %s (esito %ld), file %s\n",
                esito == ERROR_BADDB ? "rifiutata" : "NON rifiutata", static_cast<long>(esito),
                intatto ? "intatto" : "MODIFICATO");
    std::filesystem::remove_all(cartella);
    return persi == 0 && errori == 0 && esito == ERROR_BADDB && intatto ? 0 : 1;
}
