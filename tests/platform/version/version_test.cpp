// The version API on PE files built from rc/*.rc, on files that are not PE images, and
// on damaged copies of a sound file, each damage aimed at one structure on the way to
// the version resource.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <array>
#include <functional>
#include <optional>

#include "pe_prova.h"
#include "vq/lettore_pe.h"
#include "win/version.h"

using prova::pe::Byte;

namespace {

struct Versioni {
    DWORD fileMS, fileLS, prodottoMS, prodottoLS;
};

constexpr DWORD V(DWORD alta, DWORD bassa) { return alta << 16 | bassa; }

const Versioni kBase{V(3, 3), V(0, 0), V(9, 8), V(7, 6)};

// Each sample as a 32-bit and a 64-bit file: the versions of the fixed part, read with a
// buffer of exactly the reported size so that any read past it is caught by the sanitizer.
TEST(SuFile, LeVersioniDellaParteFissa) {
    VQ_RICHIEDI_CAMPIONI_PE();
    const std::pair<const char*, std::optional<Versioni>> casi[] = {
        {"base_%s.dll", kBase},
        {"base_%s.exe", kBase},
        {"v3299_%s.dll", Versioni{V(3, 2), V(9, 9), V(3, 3), V(0, 0)}},
        {"v3100_%s.dll", Versioni{V(3, 10), V(0, 0), V(3, 10), V(0, 0)}},
        {"alti_%s.dll", Versioni{V(65535, 32768), V(1, 0), V(1, 0), V(0, 0)}},
        // The string-named resource comes before the one numbered 1.
        {"nome_%s.dll", Versioni{V(5, 6), V(7, 8), V(5, 6), V(7, 8)}},
        // The first language by id: German 0x407; no PRODUCTVERSION given: zero.
        {"lingue_%s.dll", Versioni{V(4, 3), V(0, 0), V(0, 0), V(0, 0)}},
        {"nessuna_%s.dll", std::nullopt},  // no version resource
        {"vuoto_64.exe", std::nullopt},
    };
    for (const auto& [modello, attese] : casi) {
        for (const char* bit : {"32", "64"}) {
            char nome[32];
            std::snprintf(nome, sizeof nome, modello, bit);
            SCOPED_TRACE(nome);
            const std::string percorso = prova::pe::Percorso(nome);
            ASSERT_TRUE(std::filesystem::exists(percorso)) << percorso;
            DWORD handle = 0xDEAD;
            const DWORD dim = GetFileVersionInfoSizeA(percorso.c_str(), &handle);
            EXPECT_EQ(handle, 0u);
            if (!attese) {
                EXPECT_EQ(dim, 0u);
                Byte buffer(1024);
                EXPECT_FALSE(GetFileVersionInfoA(percorso.c_str(), 0, 1024, buffer.data()));
                continue;
            }
            ASSERT_GT(dim, 0u);
            Byte buffer(dim);
            ASSERT_TRUE(GetFileVersionInfoA(percorso.c_str(), 0, dim, buffer.data()));
            LPVOID p = nullptr;
            UINT len = 0;
            ASSERT_TRUE(VerQueryValueA(buffer.data(), "\\", &p, &len));
            ASSERT_EQ(len, sizeof(VS_FIXEDFILEINFO));
            VS_FIXEDFILEINFO f;
            std::memcpy(&f, p, sizeof f);
            EXPECT_EQ(f.dwSignature, VS_FFI_SIGNATURE);
            EXPECT_EQ(f.dwStrucVersion, VS_FFI_STRUCVERSION);
            EXPECT_EQ(f.dwFileVersionMS, attese->fileMS);
            EXPECT_EQ(f.dwFileVersionLS, attese->fileLS);
            EXPECT_EQ(f.dwProductVersionMS, attese->prodottoMS);
            EXPECT_EQ(f.dwProductVersionLS, attese->prodottoLS);
        }
    }
}

Byte BloccoDi(const std::string& nome) {
    const std::string p = prova::pe::Percorso(nome);
    const DWORD dim = GetFileVersionInfoSizeA(p.c_str(), nullptr);
    Byte b(dim);
    if (dim == 0 || !GetFileVersionInfoA(p.c_str(), 0, dim, b.data())) b.clear();
    return b;
}

TEST(Sottoblocchi, ValoriBinariETesti) {
    VQ_RICHIEDI_CAMPIONI_PE();
    const Byte b = BloccoDi("base_64.dll");
    ASSERT_FALSE(b.empty());
    struct Caso {
        const char* percorso;
        bool trovato;
        std::string atteso;  // bytes of the value (a text with its NUL)
    };
    const std::string traduzione{'\x10', '\x04', '\xB0', '\x04'};  // 0x0410 Italian, 1200 UTF-16
    const Caso casi[] = {
        {"\\VarFileInfo\\Translation", true, traduzione},
        {"\\varfileinfo\\TRANSLATION", true, traduzione},        // keys ignore ASCII case
        {"\\\\VarFileInfo\\\\Translation\\", true, traduzione},  // empty components skipped
        {"\\StringFileInfo\\041004b0\\FileVersion", true, std::string("3.3.0.0", 8)},
        {"\\StringFileInfo\\041004B0\\companyname", true, std::string("Prove", 6)},
        {"\\StringFileInfo\\041004b0\\FileDescription", true,
         std::string("Citt\u00e0 \u20ac \U0001D11E", 16)},
        {"\\StringFileInfo\\041004b0\\Comments", true,
         std::string(1, '\0')},  // stored as its NUL alone
        {"\\StringFileInfo\\040904b0\\FileVersion", false, ""},
        {"\\VarFileInfo\\Traduzione", false, ""},
        {"\\Nessuno", false, ""},
        {"\\VarFileInfo\\Translation\\Oltre", false, ""},
    };
    for (const Caso& c : casi) {
        SCOPED_TRACE(c.percorso);
        LPVOID p = nullptr;
        UINT len = 0;
        ASSERT_EQ(VerQueryValueA(b.data(), c.percorso, &p, &len), c.trovato ? TRUE : FALSE);
        if (c.trovato) {
            EXPECT_EQ(std::string(static_cast<const char*>(p), len), c.atteso);
        }
    }
    LPVOID p = nullptr;
    UINT len = 0;
    EXPECT_FALSE(VerQueryValueA(nullptr, "\\", &p, &len));
    EXPECT_FALSE(VerQueryValueA(b.data(), nullptr, &p, &len));
    EXPECT_FALSE(VerQueryValueA(b.data(), "\\", nullptr, &len));
    EXPECT_FALSE(VerQueryValueA(b.data(), "\\", &p, nullptr));
}

TEST(BufferCorto, CopiaTroncataSenzaLettureOltre) {
    VQ_RICHIEDI_CAMPIONI_PE();
    const std::string p = prova::pe::Percorso("base_32.dll");
    const DWORD dim = GetFileVersionInfoSizeA(p.c_str(), nullptr);
    ASSERT_GT(dim, 100u);
    struct Caso {
        DWORD len;
        BOOL copia;   // GetFileVersionInfoA
        BOOL radice;  // VerQueryValueA "\"
    };
    const Caso casi[] = {
        {0, FALSE, FALSE},     {47, FALSE, FALSE},  // not even the root's header, key and trailer
        {48, TRUE, FALSE},     {99, TRUE, FALSE},   // the fixed part cut short
        {100, TRUE, TRUE},  // exactly through the fixed part, and the trailer
        {dim - 1, TRUE, TRUE}, {dim, TRUE, TRUE},  {dim + 100, TRUE, TRUE},
    };
    for (const Caso& c : casi) {
        SCOPED_TRACE(c.len);
        Byte buffer(c.len == 0 ? 1 : c.len, 0xCC);
        ASSERT_EQ(GetFileVersionInfoA(p.c_str(), 0, c.len, buffer.data()), c.copia);
        if (!c.copia) {
            EXPECT_EQ(buffer[0], 0xCC) << "a refused copy must leave the buffer alone";
            continue;
        }
        LPVOID q = nullptr;
        UINT len = 0;
        EXPECT_EQ(VerQueryValueA(buffer.data(), "\\", &q, &len), c.radice);
        // The cut copy tells its own length: no walk leaves the buffer, and a text is
        // offered only whole.
        VerQueryValueA(buffer.data(), "\\VarFileInfo\\Translation", &q, &len);
        if (VerQueryValueA(buffer.data(), "\\StringFileInfo\\041004b0\\FileVersion", &q, &len)) {
            EXPECT_EQ(std::string(static_cast<const char*>(q), len), std::string("3.3.0.0", 8));
        }
        if (c.len > dim) {
            EXPECT_EQ(buffer[dim], 0xCC) << "nothing written past the resource";
        }
    }
}

// Files that are not PE images at all.
TEST(NonPe, DimensioneZero) {
    prova::Cartella dir;
    // Damaged images are tested one damage at a time below; these are not images at all.
    const std::string testo = "Questo non è un programma.\r\n";
    const std::pair<const char*, Byte> file[] = {{"vuoto.exe", {}},
                                                 {"testo.exe", Byte(testo.begin(), testo.end())},
                                                 {"solo_mz.exe", Byte{'M', 'Z'}}};
    std::vector<std::string> percorsi;
    for (const auto& [nome, dati] : file) {
        percorsi.push_back((dir / nome));
        prova::pe::ScriviFile(percorsi.back(), dati);
    }
    percorsi.push_back((dir / "manca.exe"));
    percorsi.push_back(dir.str());  // a folder
    const std::string fifo = (dir / "fifo.exe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    percorsi.push_back(fifo);  // must not wait for a writer
    percorsi.push_back("");
    for (const std::string& p : percorsi) {
        SCOPED_TRACE(p);
        DWORD handle = 5;
        EXPECT_EQ(GetFileVersionInfoSizeA(p.c_str(), &handle), 0u);
        EXPECT_EQ(handle, 0u);
        Byte buffer(256);
        EXPECT_FALSE(GetFileVersionInfoA(p.c_str(), 0, 256, buffer.data()));
    }
    EXPECT_EQ(GetFileVersionInfoSizeA(nullptr, nullptr), 0u);
}

// ---- One damage at a time -------------------------------------------------------------

std::optional<std::array<std::uint16_t, 4>> VersioneDaByte(const Byte& b) {
    vq::pe::SorgenteMemoria s(b);
    const auto blocco = vq::pe::LeggiRisorsaVersione(s);
    if (!blocco) return std::nullopt;
    return vq::pe::VersioneFile(*blocco);
}

struct Danno {
    const char* nome;
    std::function<void(Byte&, const prova::pe::Mappa&)> applica;
};

using prova::pe::Scrivi16;
using prova::pe::Scrivi32;
using M = prova::pe::Mappa;

const Danno kDanni[] = {
    {"firma MZ", [](Byte& b, const M&) { b[1] = 'X'; }},
    {"e_lfanew fuori dal file",
     [](Byte& b, const M&) { Scrivi32(b, 0x3C, static_cast<std::uint32_t>(b.size())); }},
    {"e_lfanew enorme", [](Byte& b, const M&) { Scrivi32(b, 0x3C, 0xFFFFFFF8u); }},
    {"firma PE", [](Byte& b, const M& m) { b[m.pe + 3] = 1; }},
    {"magic ROM", [](Byte& b, const M& m) { Scrivi16(b, m.opzionale, 0x107); }},
    {"magic nullo", [](Byte& b, const M& m) { Scrivi16(b, m.opzionale, 0); }},
    {"intestazione opzionale corta", [](Byte& b, const M& m) { Scrivi16(b, m.coff + 16, 64); }},
    {"due sole directory", [](Byte& b, const M& m) { Scrivi32(b, m.conteggioDir, 2); }},
    {"RVA risorse nullo", [](Byte& b, const M& m) { Scrivi32(b, m.dirRisorse, 0); }},
    {"dimensione risorse nulla", [](Byte& b, const M& m) { Scrivi32(b, m.dirRisorse + 4, 0); }},
    {"RVA risorse fuori dalle sezioni",
     [](Byte& b, const M& m) { Scrivi32(b, m.dirRisorse, 0x7FFFFFF0u); }},
    {"nessuna sezione", [](Byte& b, const M& m) { Scrivi16(b, m.coff + 2, 0); }},
    {"65535 sezioni", [](Byte& b, const M& m) { Scrivi16(b, m.coff + 2, 0xFFFF); }},
    {"sezione oltre la fine del file",
     [](Byte& b, const M& m) { Scrivi32(b, m.sezioneRisorse + 20, 0xFFFFF000u); }},
    {"sezione più lunga del file",
     [](Byte& b, const M& m) { Scrivi32(b, m.sezioneRisorse + 16, 0x7FFFFFFFu); }},
    {"sezione senza byte nel file",
     [](Byte& b, const M& m) { Scrivi32(b, m.sezioneRisorse + 16, 0); }},
    {"radice con 65535 voci", [](Byte& b, const M& m) { Scrivi16(b, m.radice + 14, 0xFFFF); }},
    {"radice senza voci",
     [](Byte& b, const M& m) {
         Scrivi16(b, m.radice + 12, 0);
         Scrivi16(b, m.radice + 14, 0);
     }},
    {"tipo 17 invece di 16", [](Byte& b, const M& m) { Scrivi32(b, m.voceTipo, 17); }},
    {"tipo 16 con nome", [](Byte& b, const M& m) { Scrivi32(b, m.voceTipo, 0x80000010u); }},
    {"tipo che porta ai dati", [](Byte& b, const M& m) { b[m.voceTipo + 7] &= 0x7F; }},
    {"tipo oltre la sezione",
     [](Byte& b, const M& m) { Scrivi32(b, m.voceTipo + 4, 0xFFFFFFF0u); }},
    {"ciclo: il nome torna alla radice",
     [](Byte& b, const M& m) { Scrivi32(b, m.dirNome + 20, 0x80000000u); }},
    {"ciclo: il nome punta a se stesso",
     [](Byte& b, const M& m) {
         Scrivi32(b, m.dirNome + 20,
                  0x80000000u | static_cast<std::uint32_t>(m.dirNome - m.radice));
     }},
    {"ciclo: la lingua torna alla radice",
     [](Byte& b, const M& m) { Scrivi32(b, m.dirLingua + 20, 0x80000000u); }},
    {"ciclo: la lingua torna al nome",
     [](Byte& b, const M& m) {
         Scrivi32(b, m.dirLingua + 20,
                  0x80000000u | static_cast<std::uint32_t>(m.dirNome - m.radice));
     }},
    {"nome senza voci",
     [](Byte& b, const M& m) {
         Scrivi16(b, m.dirNome + 12, 0);
         Scrivi16(b, m.dirNome + 14, 0);
     }},
    {"lingua senza voci",
     [](Byte& b, const M& m) {
         Scrivi16(b, m.dirLingua + 12, 0);
         Scrivi16(b, m.dirLingua + 14, 0);
     }},
    {"nome che porta ai dati", [](Byte& b, const M& m) { b[m.dirNome + 23] &= 0x7F; }},
    {"voce dei dati oltre la sezione",
     [](Byte& b, const M& m) { Scrivi32(b, m.dirLingua + 20, 0x7FFFFFF0u); }},
    {"dati fuori dalle sezioni", [](Byte& b, const M& m) { Scrivi32(b, m.voceDati, 0x7FFFFF00u); }},
    {"dati di dimensione enorme",
     [](Byte& b, const M& m) { Scrivi32(b, m.voceDati + 4, 0xFFFFFFF0u); }},
    {"dati troppo corti", [](Byte& b, const M& m) { Scrivi32(b, m.voceDati + 4, 10); }},
    {"dati di dimensione nulla", [](Byte& b, const M& m) { Scrivi32(b, m.voceDati + 4, 0); }},
    {"wLength oltre i dati", [](Byte& b, const M& m) { Scrivi16(b, m.blocco, 0xFFFF); }},
    {"wLength minimo", [](Byte& b, const M& m) { Scrivi16(b, m.blocco, 6); }},
    {"chiave diversa", [](Byte& b, const M& m) { b[m.blocco + 6 + 2 * 14] = 'P'; }},
    {"chiave senza terminatore", [](Byte& b, const M& m) { b[m.blocco + 6 + 30] = 'X'; }},
    {"parte fissa assente", [](Byte& b, const M& m) { Scrivi16(b, m.blocco + 2, 0); }},
    {"parte fissa corta", [](Byte& b, const M& m) { Scrivi16(b, m.blocco + 2, 48); }},
    {"parte fissa oltre il blocco", [](Byte& b, const M& m) { Scrivi16(b, m.blocco + 2, 0xFFF0); }},
    {"firma della parte fissa", [](Byte& b, const M& m) { b[m.fisso] ^= 0x01; }},
};

TEST(Danni, NessunaVersione) {
    VQ_RICHIEDI_CAMPIONI_PE();
    prova::Cartella dir;
    for (const char* campione : {"base_32.dll", "base_64.exe"}) {
        SCOPED_TRACE(campione);
        const Byte sano = prova::pe::LeggiFile(prova::pe::Percorso(campione));
        ASSERT_FALSE(sano.empty());
        const prova::pe::Mappa m = prova::pe::Trova(sano);
        // The undamaged file reads, so each failure below is the damage's doing.
        const auto buona = VersioneDaByte(sano);
        ASSERT_TRUE(buona.has_value());
        EXPECT_EQ((*buona)[0], 3);
        EXPECT_EQ((*buona)[1], 3);
        for (const Danno& d : kDanni) {
            SCOPED_TRACE(d.nome);
            Byte b = sano;
            d.applica(b, m);
            ASSERT_NE(b, sano) << "the damage changed nothing";
            EXPECT_FALSE(VersioneDaByte(b).has_value());
            // The same through the file API.
            const std::string p = (dir / "danno.dll");
            prova::pe::ScriviFile(p, b);
            const DWORD dim = GetFileVersionInfoSizeA(p.c_str(), nullptr);
            EXPECT_LE(dim, 0xFFFFu);
            if (dim == 0) continue;
            Byte buffer(dim);
            ASSERT_TRUE(GetFileVersionInfoA(p.c_str(), 0, dim, buffer.data()));
            LPVOID q = nullptr;
            UINT len = 0;
            EXPECT_FALSE(VerQueryValueA(buffer.data(), "\\", &q, &len));
        }
    }
}

// A root directory far larger than any version needs, with the type entry last: the
// walk reads it in runs and still finds the version.
TEST(RadiceGrande, TipoDopoMigliaiaDiVoci) {
    VQ_RICHIEDI_CAMPIONI_PE();
    const Byte sano = prova::pe::LeggiFile(prova::pe::Percorso("base_64.dll"));
    const prova::pe::Mappa m = prova::pe::Trova(sano);
    // A new tree appended to the resource section, which ends the file: the root with
    // 3000 numbered entries (types 1.. leading to the name level, type 16 last), then a
    // copy of the name level, of the language level and of the data entry.
    Byte b = sano;
    const std::uint32_t voci = 3000;
    const std::size_t radice = b.size();
    const std::size_t nome = radice + 16 + voci * 8;
    const std::size_t lingua = nome + 24;
    const std::size_t dati = lingua + 24;
    b.resize(dati + 16, 0);
    auto relativo = [&](std::size_t p) { return static_cast<std::uint32_t>(p - radice); };
    Scrivi16(b, radice + 14, static_cast<std::uint16_t>(voci));
    for (std::uint32_t i = 0; i < voci; ++i) {
        Scrivi32(b, radice + 16 + i * 8, i + 1 == voci ? 16 : (i + 1 >= 16 ? i + 2 : i + 1));
        Scrivi32(b, radice + 16 + i * 8 + 4, 0x80000000u | relativo(nome));
    }
    std::copy_n(sano.begin() + static_cast<std::ptrdiff_t>(m.dirNome), 24,
                b.begin() + static_cast<std::ptrdiff_t>(nome));
    Scrivi32(b, nome + 20, 0x80000000u | relativo(lingua));
    std::copy_n(sano.begin() + static_cast<std::ptrdiff_t>(m.dirLingua), 24,
                b.begin() + static_cast<std::ptrdiff_t>(lingua));
    Scrivi32(b, lingua + 20, relativo(dati));
    std::copy_n(sano.begin() + static_cast<std::ptrdiff_t>(m.voceDati), 16,
                b.begin() + static_cast<std::ptrdiff_t>(dati));
    const std::uint32_t posSezione = prova::pe::Le32(b, m.sezioneRisorse + 20);
    ASSERT_EQ(posSezione + prova::pe::Le32(b, m.sezioneRisorse + 16), sano.size())
        << "resources must end the file";
    const auto nuovaDim = static_cast<std::uint32_t>(b.size() - posSezione);
    Scrivi32(b, m.sezioneRisorse + 8, nuovaDim);
    Scrivi32(b, m.sezioneRisorse + 16, nuovaDim);
    Scrivi32(b, m.dirRisorse,
             prova::pe::Le32(b, m.dirRisorse) + static_cast<std::uint32_t>(radice - m.radice));
    const auto v = VersioneDaByte(b);
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ(*v, (std::array<std::uint16_t, 4>{3, 3, 0, 0}));

    // The same root claiming more entries than the section holds is refused.
    Scrivi16(b, radice + 14, static_cast<std::uint16_t>(voci + 2 + (b.size() - radice) / 8));
    EXPECT_FALSE(VersioneDaByte(b).has_value());
}

// A source of 1 GiB: the given bytes, then zeros made up on demand; it counts what is read.
class SorgenteGrande final : public vq::pe::Sorgente {
public:
    explicit SorgenteGrande(Byte inizio) : inizio_(std::move(inizio)) {}
    std::uint64_t Dimensione() const override { return std::uint64_t{1} << 30; }
    bool Leggi(std::uint64_t pos, void* dest, std::size_t n) const override {
        if (pos > Dimensione() || n > Dimensione() - pos) return false;
        letti += n;
        ++letture;
        auto* d = static_cast<std::uint8_t*>(dest);
        for (std::size_t i = 0; i < n; ++i) d[i] = pos + i < inizio_.size() ? inizio_[pos + i] : 0;
        return true;
    }
    mutable std::uint64_t letti = 0, letture = 0;

private:
    Byte inizio_;
};

// Only the headers, the directory entries on the way and the resource itself are read,
// whatever the file's size and whatever sizes it declares.
TEST(LetturaLimitata, FileGrandeDimensioniDichiarateEnormi) {
    VQ_RICHIEDI_CAMPIONI_PE();
    const Byte sano = prova::pe::LeggiFile(prova::pe::Percorso("base_64.dll"));
    const prova::pe::Mappa m = prova::pe::Trova(sano);

    SorgenteGrande intero(sano);
    const auto blocco = vq::pe::LeggiRisorsaVersione(intero);
    ASSERT_TRUE(blocco.has_value());
    EXPECT_LT(intero.letti, 2048u);
    EXPECT_LT(intero.letture, 20u);

    // The resource section stretched to 1 GiB and a root directory claiming the most
    // entries it can (131070, none of type 16): the walk reads about 1 MiB of entries.
    Byte b = sano;
    Scrivi32(b, m.sezioneRisorse + 16, 0x3FF00000u);
    Scrivi16(b, m.radice + 12, 0xFFFF);
    Scrivi16(b, m.radice + 14, 0xFFFF);
    Scrivi32(b, m.voceTipo, 17);
    SorgenteGrande enorme(b);
    EXPECT_FALSE(vq::pe::LeggiRisorsaVersione(enorme).has_value());
    EXPECT_LE(enorme.letti, 131070u * 8 + 4096);
    EXPECT_LT(enorme.letture, 600u);

    // A data entry declaring 1 GiB of version data: refused before any of it is read
    // (a version block is at most 64 KiB, its length being a 16-bit word).
    b = sano;
    Scrivi32(b, m.sezioneRisorse + 16, 0x3FF00000u);
    Scrivi32(b, m.voceDati + 4, 0x3FE00000u);
    SorgenteGrande dati(b);
    const auto grande = vq::pe::LeggiRisorsaVersione(dati);
    ASSERT_TRUE(grande.has_value()) << "the block's own length bounds what is read";
    EXPECT_LE(grande->size(), 0xFFFFu);
    EXPECT_LT(dati.letti, 2048u);
}

}  // namespace
