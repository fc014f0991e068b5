#include <sys/wait.h>
#include <unistd.h>

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
