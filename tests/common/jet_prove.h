// Helpers shared by the tests of the Jet engine, the Jet writer and the tools on top of
// them: a private temporary folder, whole-file bytes, the folder of real Jet samples,
// running a command, and the fixed mask of a Jet header.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>

namespace jetprove {

// A private temporary folder, removed with everything in it at the end: under TMPDIR,
// or in memory (/dev/shm) when asked and the system offers it, for code that makes every
// change durable on disk.
class Cartella {
public:
    explicit Cartella(const char* nome = "vqjet-test", bool inMemoria = false) {
        for (const std::filesystem::path& base : {std::filesystem::path(inMemoria ? "/dev/shm" : ""),
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
    std::filesystem::path operator/(const std::string& nome) const { return p_ / nome; }
    const std::filesystem::path& percorso() const { return p_; }
    // How many entries the folder holds (a leftover temporary file shows here).
    std::ptrdiff_t Voci() const { return std::distance(std::filesystem::directory_iterator(p_), {}); }

protected:
    std::filesystem::path p_;
};

inline std::string Byte(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

inline void ScriviByte(const std::filesystem::path& p, const std::string& b) {
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f.write(b.data(), static_cast<std::streamsize>(b.size()));
}

// The folder of the real Jet samples (VQ_SHARED_DIR/jet-samples), empty when absent.
inline std::filesystem::path Campioni() {
    const char* d = std::getenv("VQ_SHARED_DIR");
    if (!d || !*d) return {};
    std::filesystem::path p = std::filesystem::path(d) / "jet-samples";
    return std::filesystem::is_directory(p) ? p : std::filesystem::path();
}
inline constexpr const char* kSenzaCampioni = "cartella dei campioni Jet assente (VQ_SHARED_DIR/jet-samples)";

// The hash (FNV-1a, 64 bits) of every Jet file (*.mdb) under a folder, taken when the
// files are written and compared after the operations on them: a host database is
// never written, not even touched up.
class Impronte {
public:
    // Records the files under `radice` as they are now (a removed one is forgotten).
    void Registra(const std::filesystem::path& radice) {
        std::erase_if(impronte_, [](const auto& e) { return !std::filesystem::exists(e.first); });
        for (const auto& e : std::filesystem::recursive_directory_iterator(radice))
            if (e.is_regular_file() && e.path().extension() == ".mdb") impronte_[e.path()] = Di(e.path());
    }
    // The files whose bytes changed since they were recorded (or that are gone).
    std::string Cambiati() const {
        std::string r;
        for (const auto& [p, h] : impronte_)
            if (!std::filesystem::exists(p) || Di(p) != h) r += p.string() + " ";
        return r;
    }

private:
    static std::uint64_t Di(const std::filesystem::path& p) {
        std::uint64_t h = 1469598103934665603ull;
        for (unsigned char c : Byte(p)) h = (h ^ c) * 1099511628211ull;
        return h;
    }
    std::map<std::filesystem::path, std::uint64_t> impronte_;
};

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

// The header area of a Jet file from offset 0x18 is XORed with an RC4 stream under the
// fixed key C7 DA 39 6B; applying it again undoes it. Written from the algorithm's
// definition, independently of the engine and of the writer.
inline void MascheraIntestazione(std::uint8_t* pagina, std::size_t n) {
    const std::uint8_t chiave[4] = {0xC7, 0xDA, 0x39, 0x6B};
    std::array<std::uint8_t, 256> s{};
    for (std::size_t i = 0; i < 256; ++i) s[i] = static_cast<std::uint8_t>(i);
    for (std::size_t i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + chiave[i % 4]) & 0xFF;
        std::swap(s[i], s[j]);
    }
    for (std::size_t k = 0, a = 0, b = 0; k < n; ++k) {
        a = (a + 1) & 0xFF;
        b = (b + s[a]) & 0xFF;
        std::swap(s[a], s[b]);
        pagina[0x18 + k] ^= s[(s[a] + s[b]) & 0xFF];
    }
}

}  // namespace jetprove
