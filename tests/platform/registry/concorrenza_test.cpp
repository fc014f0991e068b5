#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "fixture.h"

namespace {

using namespace vqtest;

TEST_F(Registro, DueProcessiCheScrivonoInsiemeNonPerdonoNulla) {
    constexpr int kProcessi = 3;
    constexpr int kScritture = 60;
    std::vector<pid_t> figli;
    for (int p = 0; p < kProcessi; ++p) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int guasti = 0;
            for (int i = 0; i < kScritture; ++i) {
                HKEY h = nullptr;
                const std::string chiave = "Software\\Gara\\P" + std::to_string(p);
                if (RegCreateKeyExA(HKEY_CURRENT_USER, chiave.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h,
                                    nullptr) != ERROR_SUCCESS) {
                    ++guasti;
                    continue;
                }
                const std::string nome = "v" + std::to_string(i);
                const DWORD v = static_cast<DWORD>(p * 1000 + i);
                if (RegSetValueExA(h, nome.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4) !=
                    ERROR_SUCCESS)
                    ++guasti;
                // A value that every process rewrites, and a shared key.
                HKEY comune = nullptr;
                if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Gara\\Comune", 0, nullptr, 0, KEY_ALL_ACCESS,
                                    nullptr, &comune, nullptr) != ERROR_SUCCESS ||
                    RegSetValueExA(comune, "ultimo", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4) !=
                        ERROR_SUCCESS)
                    ++guasti;
                RegCloseKey(comune);
                RegCloseKey(h);
            }
            _exit(guasti == 0 ? 0 : 1);
        }
        figli.push_back(pid);
    }
    for (pid_t pid : figli) {
        int stato = 0;
        ASSERT_EQ(waitpid(pid, &stato, 0), pid);
        EXPECT_TRUE(WIFEXITED(stato) && WEXITSTATUS(stato) == 0);
    }
    for (int p = 0; p < kProcessi; ++p) {
        HKEY h;
        ASSERT_EQ(Apri(HKEY_CURRENT_USER, ("Software\\Gara\\P" + std::to_string(p)).c_str(), h), ERROR_SUCCESS);
        DWORD valori = 0;
        ASSERT_EQ(RegQueryInfoKeyA(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &valori, nullptr, nullptr,
                                   nullptr, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(valori, static_cast<DWORD>(kScritture));
        for (int i = 0; i < kScritture; ++i) {
            DWORD v = 0, n = 4;
            ASSERT_EQ(RegQueryValueExA(h, ("v" + std::to_string(i)).c_str(), nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(&v), &n),
                      ERROR_SUCCESS);
            EXPECT_EQ(v, static_cast<DWORD>(p * 1000 + i));
        }
    }
    for (const auto& voce : fs::directory_iterator(cartella_)) {
        const auto nome = voce.path().filename().string();
        EXPECT_TRUE(nome == "HKCU.reg" || nome == "HKCU.reg.lock") << nome << " left behind";
    }
}

}  // namespace

namespace {

using namespace vqtest;

TEST_F(Registro, ThreadCheScrivonoInsiemeNonPerdonoNulla) {
    constexpr int kThread = 3;
    constexpr int kScritture = 25;
    std::vector<std::thread> thread;
    std::atomic<int> guasti{0};
    for (int t = 0; t < kThread; ++t) {
        thread.emplace_back([t, &guasti] {
            for (int i = 0; i < kScritture; ++i) {
                HKEY h = nullptr;
                const std::string chiave = "Software\\Thread\\T" + std::to_string(t);
                const DWORD v = static_cast<DWORD>(t * 1000 + i);
                if (RegCreateKeyExA(HKEY_CURRENT_USER, chiave.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h,
                                    nullptr) != ERROR_SUCCESS ||
                    RegSetValueExA(h, ("v" + std::to_string(i)).c_str(), 0, REG_DWORD,
                                   reinterpret_cast<const BYTE*>(&v), 4) != ERROR_SUCCESS)
                    ++guasti;
                // Reads in between, served from the shared cache.
                DWORD letto = 0, n = 4;
                if (RegQueryValueExA(h, ("v" + std::to_string(i)).c_str(), nullptr, nullptr,
                                     reinterpret_cast<BYTE*>(&letto), &n) != ERROR_SUCCESS ||
                    letto != v)
                    ++guasti;
                RegCloseKey(h);
            }
        });
    }
    for (auto& t : thread) t.join();
    EXPECT_EQ(guasti.load(), 0);
    for (int t = 0; t < kThread; ++t) {
        HKEY h;
        ASSERT_EQ(Apri(HKEY_CURRENT_USER, ("Software\\Thread\\T" + std::to_string(t)).c_str(), h), ERROR_SUCCESS);
        DWORD valori = 0;
        ASSERT_EQ(RegQueryInfoKeyA(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &valori, nullptr, nullptr,
                                   nullptr, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(valori, static_cast<DWORD>(kScritture));
    }
}

TEST_F(Registro, UnoScrittoreUccisoNonLasciaMezzoAlveare) {
    HKEY h = Crea(HKEY_CURRENT_USER, "Software\\Crash");
    ASSERT_EQ(Imposta(h, "prima", REG_SZ, Testo("c'era")), ERROR_SUCCESS);
    for (int prova = 0; prova < 3; ++prova) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            HKEY k = nullptr;
            RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Crash", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr);
            std::vector<BYTE> grande(200000, static_cast<BYTE>(prova));
            for (DWORD i = 0;; ++i)
                RegSetValueExA(k, ("v" + std::to_string(i % 4)).c_str(), 0, REG_BINARY, grande.data(),
                               static_cast<DWORD>(grande.size()));
        }
        usleep(150000 + 50000 * static_cast<useconds_t>(prova));
        kill(pid, SIGKILL);
        int stato = 0;
        ASSERT_EQ(waitpid(pid, &stato, 0), pid);
        DWORD tipo, n = 0;
        ASSERT_EQ(RegQueryValueExA(h, "prima", nullptr, &tipo, nullptr, &n), ERROR_SUCCESS) << "prova " << prova;
        EXPECT_EQ(n, 6u);
    }
    // The next write clears what the killed writers left (and a stale file made here,
    // in case every kill fell between two writes).
    std::ofstream(cartella_ / "HKCU.reg.Ab12Cd") << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Mezzo";
    std::ofstream(cartella_ / "HKLM.reg.Ab12Cd") << "di un altro alveare";
    ASSERT_EQ(Imposta(h, "dopo", REG_SZ, Testo("x")), ERROR_SUCCESS);
    for (const auto& voce : fs::directory_iterator(cartella_)) {
        const auto nome = voce.path().filename().string();
        EXPECT_TRUE(nome == "HKCU.reg" || nome == "HKCU.reg.lock" || nome == "HKLM.reg.Ab12Cd")
            << nome << " left behind";
    }
    EXPECT_TRUE(fs::exists(cartella_ / "HKLM.reg.Ab12Cd"));  // not this hive's to clear
}

}  // namespace
