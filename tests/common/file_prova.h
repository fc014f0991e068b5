// Files and processes for the tests: a private temporary folder, scoped environment values,
// whole-file reads and writes, running a shell command.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace prova {

// Asks Cartella for a folder in memory.
inline constexpr bool kInMemoria = true;

// A fresh private folder, removed with everything in it at the end: under TMPDIR, or in
// memory (/dev/shm) when asked and the system offers it, for code that makes every change
// durable on disk (the registry store, the installer).
class Cartella {
public:
    explicit Cartella(const char* nome = "vqprova", bool inMemoria = false) {
        for (const std::filesystem::path& base :
             {std::filesystem::path(inMemoria ? "/dev/shm" : ""),
              std::filesystem::temp_directory_path()}) {
            if (base.empty() || ::access(base.c_str(), W_OK) != 0) continue;
            std::string m = (base / (std::string(nome) + "-XXXXXX")).string();
            if (::mkdtemp(m.data())) {
                p_ = m;
                return;
            }
        }
        throw std::runtime_error("mkdtemp");
    }
    ~Cartella() {
        std::error_code ec;
        std::filesystem::remove_all(p_, ec);
    }
    Cartella(const Cartella&) = delete;
    Cartella& operator=(const Cartella&) = delete;

    const std::filesystem::path& percorso() const { return p_; }
    const std::string& str() const { return p_.native(); }
    std::filesystem::path operator/(const std::string& nome) const { return p_ / nome; }
    // The names in the folder, sorted: a leftover temporary file shows here.
    std::vector<std::string> Contenuto() const {
        std::vector<std::string> nomi;
        for (const auto& voce : std::filesystem::directory_iterator(p_))
            nomi.push_back(voce.path().filename().string());
        std::sort(nomi.begin(), nomi.end());
        return nomi;
    }
    std::ptrdiff_t Voci() const {
        return std::distance(std::filesystem::directory_iterator(p_), {});
    }
    // The registry of this process moves here (XDG_CONFIG_HOME = the folder, or `sotto`).
    void UsaPerIlRegistro(const char* sotto = nullptr) const {
        ::setenv("XDG_CONFIG_HOME", (sotto ? p_ / sotto : p_).c_str(), 1);
        ::unsetenv("VQ_REGISTRO_DIR");
    }

private:
    std::filesystem::path p_;
};

// Set (or, with nullopt, unset) an environment variable for the life of a scope.
class Ambiente {
public:
    Ambiente(const char* nome, const std::optional<std::string>& valore) : nome_(nome) {
        if (const char* v = std::getenv(nome)) prima_ = v;
        if (valore) ::setenv(nome, valore->c_str(), 1);
        else ::unsetenv(nome);
    }
    ~Ambiente() {
        if (prima_) ::setenv(nome_, prima_->c_str(), 1);
        else ::unsetenv(nome_);
    }
    Ambiente(const Ambiente&) = delete;
    Ambiente& operator=(const Ambiente&) = delete;

private:
    const char* nome_;
    std::optional<std::string> prima_;
};

inline std::string LeggiFile(const std::filesystem::path& percorso) {
    std::ifstream in(percorso, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void ScriviFile(const std::filesystem::path& percorso, const std::string& contenuto) {
    std::ofstream out(percorso, std::ios::binary | std::ios::trunc);
    out.write(contenuto.data(), static_cast<std::streamsize>(contenuto.size()));
}

// Shell quoting.
inline std::string Quota(const std::string& s) {
    std::string r = "'";
    for (char c : s) r += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return r + "'";
}

// Runs a shell command; returns its standard output, and its exit status in `stato`
// (-1 when it did not exit normally).
inline std::string Esegui(const std::string& comando, int& stato) {
    FILE* p = ::popen(comando.c_str(), "r");
    if (!p) throw std::runtime_error("popen: " + comando);
    std::string out;
    std::array<char, 65536> buf{};
    while (std::size_t n = std::fread(buf.data(), 1, buf.size(), p)) out.append(buf.data(), n);
    const int s = ::pclose(p);
    stato = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
    return out;
}

}  // namespace prova
