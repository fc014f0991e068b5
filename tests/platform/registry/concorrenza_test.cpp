#include <signal.h>

#include <atomic>
#include <thread>

#include "registro_prova.h"

namespace {

using namespace prova;

// One writer: n values v0..v(n-1) = base + i under `chiave`, each read back at once (from
// the shared cache when another thread wrote last), and a value that every writer rewrites
// under a shared key. Gives the number of failed calls.
int ScriviSerie(const std::string& chiave, DWORD base, int n) {
    int guasti = 0;
    for (int i = 0; i < n; ++i) {
        const std::string nome = "v" + std::to_string(i);
        const DWORD v = base + static_cast<DWORD>(i);
        HKEY h = nullptr, comune = nullptr;
        DWORD letto = 0, dim = 4;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, chiave.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &h, nullptr) != ERROR_SUCCESS ||
            RegSetValueExA(h, nome.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4) !=
                ERROR_SUCCESS ||
            RegQueryValueExA(h, nome.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&letto),
                             &dim) != ERROR_SUCCESS ||
            letto != v ||
            RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Gara\\Comune", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &comune, nullptr) != ERROR_SUCCESS ||
            RegSetValueExA(comune, "ultimo", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4) !=
                ERROR_SUCCESS)
            ++guasti;
        if (comune) RegCloseKey(comune);
        if (h) RegCloseKey(h);
    }
    return guasti;
}

class Gara : public Registro {
protected:
    static std::string Chiave(int w) { return "Software\\Gara\\W" + std::to_string(w); }
    // Every writer's values are all there, none lost to another's write.
    void VerificaSerie(int scrittori, int n) {
        for (int w = 0; w < scrittori; ++w) {
            HKEY h;
            ASSERT_EQ(Apri(HKEY_CURRENT_USER, Chiave(w).c_str(), h), ERROR_SUCCESS);
            EXPECT_EQ(NumeroValori(h), static_cast<DWORD>(n));
            for (int i = 0; i < n; ++i) {
                DWORD v = 0, dim = 4;
                ASSERT_EQ(RegQueryValueExA(h, ("v" + std::to_string(i)).c_str(), nullptr, nullptr,
                                           reinterpret_cast<BYTE*>(&v), &dim),
                          ERROR_SUCCESS);
                EXPECT_EQ(v, static_cast<DWORD>(w * 1000 + i));
            }
        }
        EXPECT_EQ(Residui(), std::vector<std::string>{});
    }
};

TEST_F(Gara, ProcessiCheScrivonoInsiemeNonPerdonoNulla) {
    constexpr int kProcessi = 3, kScritture = 60;
    std::vector<pid_t> figli;
    for (int p = 0; p < kProcessi; ++p) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0)
            _exit(ScriviSerie(Chiave(p), static_cast<DWORD>(p * 1000), kScritture) == 0 ? 0 : 1);
        figli.push_back(pid);
    }
    for (pid_t pid : figli) {
        int stato = 0;
        ASSERT_EQ(waitpid(pid, &stato, 0), pid);
        EXPECT_TRUE(WIFEXITED(stato) && WEXITSTATUS(stato) == 0);
    }
    VerificaSerie(kProcessi, kScritture);
}

TEST_F(Gara, ThreadCheScrivonoInsiemeNonPerdonoNulla) {
    constexpr int kThread = 3, kScritture = 15;  // two flushed writes each
    std::atomic<int> guasti{0};
    std::vector<std::thread> thread;
    for (int t = 0; t < kThread; ++t)
        thread.emplace_back([t, &guasti] {
            guasti += ScriviSerie(Chiave(t), static_cast<DWORD>(t * 1000), kScritture);
        });
    for (auto& t : thread) t.join();
    EXPECT_EQ(guasti.load(), 0);
    VerificaSerie(kThread, kScritture);
}

TEST_F(Registro, UnoScrittoreUccisoNonLasciaMezzoAlveare) {
    HKEY h = Crea(HKEY_CURRENT_USER, "Software\\Crash");
    ASSERT_EQ(Imposta(h, "prima", REG_SZ, Testo("c'era")), ERROR_SUCCESS);
    for (int prova = 0; prova < 3; ++prova) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            HKEY k = nullptr;
            RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Crash", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &k, nullptr);
            std::vector<BYTE> grande(200000, static_cast<BYTE>(prova));
            for (DWORD i = 0;; ++i)
                RegSetValueExA(k, ("v" + std::to_string(i % 4)).c_str(), 0, REG_BINARY,
                               grande.data(), static_cast<DWORD>(grande.size()));
        }
        usleep(150000 + 50000 * static_cast<useconds_t>(prova));
        kill(pid, SIGKILL);
        int stato = 0;
        ASSERT_EQ(waitpid(pid, &stato, 0), pid);
        DWORD tipo, n = 0;
        ASSERT_EQ(RegQueryValueExA(h, "prima", nullptr, &tipo, nullptr, &n), ERROR_SUCCESS)
            << "prova " << prova;
        EXPECT_EQ(n, 6u);
    }
    // The next write clears what the killed writers left (and a stale file made here,
    // in case every kill fell between two writes), but not another hive's, nor a
    // person's own copy of the hive.
    const pid_t finito = fork();
    if (finito == 0) _exit(0);
    ASSERT_EQ(waitpid(finito, nullptr, 0), finito);  // a writer no longer running
    const std::string lasciato = ".tmp-" + std::to_string(finito) + "-ab12cd34";
    std::ofstream(cartella_ / ("HKCU.reg" + lasciato)) << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Mezzo";
    std::ofstream(cartella_ / ("HKLM.reg" + lasciato)) << "di un altro alveare";
    std::ofstream(cartella_ / "HKCU.reg.backup") << "REGEDIT4\n\n";
    ASSERT_EQ(Imposta(h, "dopo", REG_SZ, Testo("x")), ERROR_SUCCESS);
    auto residui = Residui();
    std::sort(residui.begin(), residui.end());
    EXPECT_EQ(residui, (std::vector<std::string>{"HKCU.reg.backup", "HKLM.reg" + lasciato}));
}

}  // namespace
