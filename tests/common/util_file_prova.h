// Helpers shared by the tests of the utilities, the exporter and the version reader: a
// temporary folder, scoped environment values, whole-file reads and writes.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>
#include <algorithm>

namespace prova {

// A fresh folder below the system's temporary folder, removed with everything in it.
class CartellaTemp {
public:
    CartellaTemp() {
        std::string modello = (std::filesystem::temp_directory_path() / "vqprova-XXXXXX").string();
        if (::mkdtemp(modello.data()) == nullptr) throw std::runtime_error("mkdtemp");
        percorso_ = modello;
    }
    ~CartellaTemp() {
        std::error_code ec;
        std::filesystem::remove_all(percorso_, ec);
    }
    CartellaTemp(const CartellaTemp&) = delete;
    CartellaTemp& operator=(const CartellaTemp&) = delete;
    const std::string& str() const { return percorso_; }
    std::string operator/(const std::string& nome) const { return percorso_ + "/" + nome; }
    // The names in the folder, sorted: a leftover temporary file shows here.
    std::vector<std::string> Contenuto() const {
        std::vector<std::string> nomi;
        for (const auto& voce : std::filesystem::directory_iterator(percorso_))
            nomi.push_back(voce.path().filename().string());
        std::sort(nomi.begin(), nomi.end());
        return nomi;
    }

private:
    std::string percorso_;
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

inline std::string LeggiFile(const std::string& percorso) {
    std::ifstream in(percorso, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void ScriviFile(const std::string& percorso, const std::string& contenuto) {
    std::ofstream out(percorso, std::ios::binary | std::ios::trunc);
    out << contenuto;
}

}  // namespace prova
