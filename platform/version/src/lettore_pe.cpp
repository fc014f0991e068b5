// Reader of the version resource of a PE/COFF image.
//
// The way to the resource: the MZ header gives the offset of the "PE\0\0" signature
// (e_lfanew); the COFF header gives the number of sections and the size of the optional
// header; the optional header (magic 0x10B for PE32, 0x20B for PE32+) holds the data
// directories, of which entry 2 is the resource table (an RVA and a size). RVAs are
// turned into file offsets through the section table. The resource table is a tree of
// three levels: type, name, language. Below type 16 the first name entry (named entries
// are stored before numbered ones) and its first language entry lead to a data entry:
// the RVA and size of the VS_VERSIONINFO block.
//
// Every number read from the file is distrusted: each structure must lie inside the
// file and inside the section that holds it, no size drives an allocation beyond the
// 64 KiB a version block can have (or the section table, at most 65535 entries of 40
// bytes and never more than the file holds), and the tree is walked exactly three
// levels deep with no directory visited twice.
#include "vq/lettore_pe.h"
#include "vq/ascii.h"

#include <ole/ole.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vq::pe {

namespace {

std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

constexpr std::uint64_t Alinea4(std::uint64_t n) { return (n + 3) & ~std::uint64_t{3}; }

constexpr std::uint16_t kMagicPe32 = 0x10B;
constexpr std::uint16_t kMagicPe32Plus = 0x20B;
constexpr std::size_t kDirectoryRisorse = 2;
constexpr std::size_t kDimSezione = 40;
constexpr std::uint32_t kTipoVersione = 16;
constexpr std::uint32_t kBitAlto = 0x80000000u;
constexpr std::size_t kDimFissa = 52;  // VS_FIXEDFILEINFO
constexpr std::uint32_t kFirmaFissa = 0xFEEF04BDu;
// "VS_VERSION_INFO" and its terminator in UTF-16.
constexpr char kChiaveRadice[] = "VS_VERSION_INFO";
constexpr std::size_t kUnitaChiave = sizeof(kChiaveRadice);  // 16 with the NUL
// Header (6 bytes) + key (32 bytes), aligned to 32 bits.
constexpr std::size_t kInizioValoreRadice = 40;

struct Sezione {
    std::uint32_t indirizzo = 0;  // VirtualAddress
    std::uint32_t byteFile = 0;   // SizeOfRawData
    std::uint32_t posizione = 0;  // PointerToRawData
};

// A stretch of the file that holds a run of the image: [inizio, fine) in file offsets.
struct Tratto {
    std::uint64_t inizio = 0;
    std::uint64_t fine = 0;
};

class Immagine {
public:
    explicit Immagine(const Sorgente& s) : s_(s) {}

    std::optional<std::vector<std::uint8_t>> RisorsaVersione();

private:
    bool LeggiIntestazioni();
    // The file stretch from `rva` to the end of the section holding it, when at least
    // `n` bytes of it are there.
    std::optional<Tratto> Mappa(std::uint32_t rva, std::uint64_t n) const;
    // The entries of the resource directory at `relativo` (offset from the resource
    // table's start); false when the directory does not fit in the section.
    bool Directory(std::uint32_t relativo, std::uint32_t& numeroVoci);
    bool Voce(std::uint32_t relativoDirectory, std::uint32_t indice, std::uint32_t& nome,
              std::uint32_t& dati);

    const Sorgente& s_;
    std::vector<Sezione> sezioni_;
    std::uint32_t rvaRisorse_ = 0;
    Tratto risorse_;  // from the resource table's start to its section's end
};

bool Immagine::LeggiIntestazioni() {
    std::uint8_t dos[64];
    if (!s_.Leggi(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
    const std::uint64_t pe = Le32(dos + 0x3C);

    // Signature and COFF header.
    std::uint8_t coff[24];
    if (!s_.Leggi(pe, coff, sizeof coff) || std::memcmp(coff, "PE\0\0", 4) != 0) return false;
    const std::uint16_t numeroSezioni = Le16(coff + 6);
    const std::uint16_t dimOpzionale = Le16(coff + 20);

    // Optional header: where the data directories and their count sit depends on PE32
    // or PE32+.
    const std::uint64_t opzionale = pe + sizeof coff;
    std::uint8_t magic[2];
    if (!s_.Leggi(opzionale, magic, sizeof magic)) return false;
    std::size_t posConteggio = 0, posDirectory = 0;
    switch (Le16(magic)) {
        case kMagicPe32:
            posConteggio = 92;
            posDirectory = 96;
            break;
        case kMagicPe32Plus:
            posConteggio = 108;
            posDirectory = 112;
            break;
        default: return false;
    }
    const std::size_t necessari = posDirectory + (kDirectoryRisorse + 1) * 8;
    if (dimOpzionale < necessari) return false;
    std::vector<std::uint8_t> opz(necessari);
    if (!s_.Leggi(opzionale, opz.data(), opz.size())) return false;
    if (Le32(opz.data() + posConteggio) <= kDirectoryRisorse) return false;
    rvaRisorse_ = Le32(opz.data() + posDirectory + kDirectoryRisorse * 8);
    const std::uint32_t dimRisorse = Le32(opz.data() + posDirectory + kDirectoryRisorse * 8 + 4);
    if (rvaRisorse_ == 0 || dimRisorse == 0) return false;

    // Section table: its size is bounded by 65535 entries and, being read, by the file.
    if (numeroSezioni == 0) return false;
    const std::uint64_t tabella = opzionale + dimOpzionale;
    const std::size_t dimTabella = std::size_t{numeroSezioni} * kDimSezione;
    if (tabella + dimTabella > s_.Dimensione()) return false;
    std::vector<std::uint8_t> righe(dimTabella);
    if (!s_.Leggi(tabella, righe.data(), righe.size())) return false;
    sezioni_.reserve(numeroSezioni);
    for (std::size_t i = 0; i < numeroSezioni; ++i) {
        const std::uint8_t* r = righe.data() + i * kDimSezione;
        Sezione sez{Le32(r + 12), Le32(r + 16), Le32(r + 20)};
        if (sez.byteFile != 0) sezioni_.push_back(sez);
    }

    // The resource table: at least its root directory header must be there.
    const auto tratto = Mappa(rvaRisorse_, 16);
    if (!tratto) return false;
    risorse_ = *tratto;
    return true;
}

std::optional<Tratto> Immagine::Mappa(std::uint32_t rva, std::uint64_t n) const {
    for (const Sezione& sez : sezioni_) {
        if (rva < sez.indirizzo || rva - sez.indirizzo >= sez.byteFile) continue;
        // The section holding the RVA must be whole in the file: a file cut short inside
        // it is damaged even where the bytes asked for are still there.
        const std::uint64_t fineSezione = std::uint64_t{sez.posizione} + sez.byteFile;
        if (fineSezione > s_.Dimensione()) return std::nullopt;
        const std::uint64_t inizio = std::uint64_t{sez.posizione} + (rva - sez.indirizzo);
        if (n > fineSezione - inizio) return std::nullopt;
        return Tratto{inizio, fineSezione};
    }
    return std::nullopt;
}

bool Immagine::Directory(std::uint32_t relativo, std::uint32_t& numeroVoci) {
    const std::uint64_t inizio = risorse_.inizio + relativo;
    if (inizio + 16 > risorse_.fine) return false;
    std::uint8_t testa[16];
    if (!s_.Leggi(inizio, testa, sizeof testa)) return false;
    numeroVoci = std::uint32_t{Le16(testa + 12)} + Le16(testa + 14);
    return inizio + 16 + std::uint64_t{numeroVoci} * 8 <= risorse_.fine;
}

bool Immagine::Voce(std::uint32_t relativoDirectory, std::uint32_t indice, std::uint32_t& nome,
                    std::uint32_t& dati) {
    std::uint8_t voce[8];
    if (!s_.Leggi(risorse_.inizio + relativoDirectory + 16 + std::uint64_t{indice} * 8, voce,
                  sizeof voce))
        return false;
    nome = Le32(voce);
    dati = Le32(voce + 4);
    return true;
}

std::optional<std::vector<std::uint8_t>> Immagine::RisorsaVersione() {
    if (!LeggiIntestazioni()) return std::nullopt;

    // Level 1: the type entry 16 (a numbered entry: its name word has the top bit clear).
    std::uint32_t voci = 0;
    if (!Directory(0, voci)) return std::nullopt;
    std::optional<std::uint32_t> livelloNome;
    {
        // The entries are read in runs, so that a large directory costs few reads.
        constexpr std::uint32_t kRun = 256;
        std::uint8_t run[kRun * 8];
        for (std::uint32_t i = 0; i < voci && !livelloNome; i += kRun) {
            const std::uint32_t n = std::min(kRun, voci - i);
            if (!s_.Leggi(risorse_.inizio + 16 + std::uint64_t{i} * 8, run, std::size_t{n} * 8))
                return std::nullopt;
            for (std::uint32_t j = 0; j < n; ++j) {
                if (Le32(run + j * 8) != kTipoVersione) continue;
                const std::uint32_t dati = Le32(run + j * 8 + 4);
                if ((dati & kBitAlto) == 0) return std::nullopt;  // a type must be a directory
                livelloNome = dati & ~kBitAlto;
                break;
            }
        }
    }
    if (!livelloNome) return std::nullopt;

    // Levels 2 and 3: the first name, then its first language. A directory met twice
    // (a loop back to the root or to itself) marks a damaged table.
    std::uint32_t visitate[3] = {0, *livelloNome, 0};
    if (visitate[1] == visitate[0]) return std::nullopt;
    std::uint32_t nome = 0, dati = 0;
    if (!Directory(visitate[1], voci) || voci == 0 || !Voce(visitate[1], 0, nome, dati))
        return std::nullopt;
    if ((dati & kBitAlto) == 0) return std::nullopt;
    visitate[2] = dati & ~kBitAlto;
    if (visitate[2] == visitate[0] || visitate[2] == visitate[1]) return std::nullopt;
    if (!Directory(visitate[2], voci) || voci == 0 || !Voce(visitate[2], 0, nome, dati))
        return std::nullopt;
    if ((dati & kBitAlto) != 0) return std::nullopt;  // a language leads to data, not deeper

    // The data entry: RVA and size of the resource bytes.
    const std::uint64_t voceDati = risorse_.inizio + dati;
    if (voceDati + 16 > risorse_.fine) return std::nullopt;
    std::uint8_t entry[16];
    if (!s_.Leggi(voceDati, entry, sizeof entry)) return std::nullopt;
    const std::uint32_t rvaDati = Le32(entry);
    const std::uint32_t dimDati = Le32(entry + 4);
    if (dimDati < kInizioValoreRadice) return std::nullopt;
    const auto tratto = Mappa(rvaDati, dimDati);
    if (!tratto) return std::nullopt;

    // VS_VERSIONINFO: wLength, wValueLength, wType, the key "VS_VERSION_INFO".
    std::uint8_t testa[kInizioValoreRadice];
    if (!s_.Leggi(tratto->inizio, testa, sizeof testa)) return std::nullopt;
    const std::uint16_t lunghezza = Le16(testa);
    if (lunghezza < kInizioValoreRadice || lunghezza > dimDati) return std::nullopt;
    for (std::size_t i = 0; i < kUnitaChiave; ++i)
        if (Le16(testa + 6 + 2 * i) != static_cast<unsigned char>(kChiaveRadice[i]))
            return std::nullopt;
    const std::uint16_t lunghezzaValore = Le16(testa + 2);
    if (kInizioValoreRadice + std::uint64_t{lunghezzaValore} > lunghezza) return std::nullopt;

    std::vector<std::uint8_t> blocco(lunghezza);
    if (!s_.Leggi(tratto->inizio, blocco.data(), blocco.size())) return std::nullopt;
    return blocco;
}

// UTF-16 text (little-endian, `unita` code units, no terminator) as UTF-8; a lone
// surrogate becomes U+FFFD. At most 3 bytes per code unit.
std::string Utf8(const std::uint8_t* testo, std::size_t unita) {
    std::u16string utf16(unita, u'\0');
    for (std::size_t i = 0; i < unita; ++i) utf16[i] = static_cast<char16_t>(Le16(testo + 2 * i));
    return ole::Utf16InUtf8(utf16);
}

// A key against a UTF-8 query component: equal when they match ignoring ASCII case.
bool ChiaveUguale(const std::uint8_t* chiave, std::size_t unita, std::string_view cercata) {
    const std::string utf8 = Utf8(chiave, unita);
    return vq::UgualiSenzaMaiuscole(utf8, cercata);
}

// One node of a version block: its header, key, value and the run of its children.
struct Nodo {
    std::size_t inizio = 0, fine = 0;  // the node's bytes [inizio, fine)
    std::size_t chiave = 0, unitaChiave = 0;
    Valore valore;
    std::size_t figli = 0;  // first child, up to fine
};

// The node at `inizio`, which must end by `limite`.
std::optional<Nodo> LeggiNodo(std::span<const std::uint8_t> b, std::size_t inizio,
                              std::size_t limite) {
    if (inizio + 6 > limite) return std::nullopt;
    const std::uint16_t lunghezza = Le16(b.data() + inizio);
    if (lunghezza < 6 || lunghezza > limite - inizio) return std::nullopt;
    Nodo n;
    n.inizio = inizio;
    n.fine = inizio + lunghezza;
    n.valore.lunghezzaDichiarata = Le16(b.data() + inizio + 2);
    n.valore.testo = Le16(b.data() + inizio + 4) == 1;
    n.chiave = inizio + 6;
    std::size_t p = n.chiave;
    while (true) {
        if (p + 2 > n.fine) return std::nullopt;  // key without its terminator
        if (Le16(b.data() + p) == 0) break;
        p += 2;
    }
    n.unitaChiave = (p - n.chiave) / 2;
    const std::size_t valore = std::min<std::size_t>(Alinea4(p + 2), n.fine);
    // A text value's length counts UTF-16 units; some writers store bytes instead, so
    // the value is cut at the node's end rather than refused.
    const std::size_t dichiarati =
        std::size_t{n.valore.lunghezzaDichiarata} * (n.valore.testo ? 2 : 1);
    n.valore.posizione = valore;
    n.valore.byte = std::min(dichiarati, n.fine - valore);
    n.figli = std::min<std::size_t>(Alinea4(valore + n.valore.byte), n.fine);
    return n;
}

}  // namespace

bool SorgenteMemoria::Leggi(std::uint64_t posizione, void* destinazione, std::size_t n) const {
    if (posizione > dati_.size() || n > dati_.size() - posizione) return false;
    if (n != 0) std::memcpy(destinazione, dati_.data() + posizione, n);
    return true;
}

std::unique_ptr<SorgenteFile> SorgenteFile::Apri(const std::string& percorso) {
    if (percorso.empty() || percorso.find('\0') != std::string::npos) return nullptr;
    // Non-blocking, so that opening a FIFO cannot wait for a writer.
    const int fd = ::open(percorso.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<SorgenteFile>(
        new SorgenteFile(fd, static_cast<std::uint64_t>(st.st_size)));
}

SorgenteFile::~SorgenteFile() { ::close(fd_); }

bool SorgenteFile::Leggi(std::uint64_t posizione, void* destinazione, std::size_t n) const {
    if (posizione > dimensione_ || n > dimensione_ - posizione) return false;
    auto* d = static_cast<std::uint8_t*>(destinazione);
    while (n > 0) {
        const ssize_t letti = ::pread(fd_, d, n, static_cast<off_t>(posizione));
        if (letti < 0 && errno == EINTR) continue;
        if (letti <= 0) return false;  // error, or the file shrank under us
        d += letti;
        n -= static_cast<std::size_t>(letti);
        posizione += static_cast<std::uint64_t>(letti);
    }
    return true;
}

std::optional<std::vector<std::uint8_t>> LeggiRisorsaVersione(const Sorgente& sorgente) {
    Immagine immagine(sorgente);
    return immagine.RisorsaVersione();
}

std::optional<std::vector<std::uint8_t>> LeggiRisorsaVersione(const std::string& percorso) {
    const auto file = SorgenteFile::Apri(percorso);
    if (!file) return std::nullopt;
    return LeggiRisorsaVersione(*file);
}

std::optional<Valore> CercaValore(std::span<const std::uint8_t> blocco,
                                  std::string_view sottoblocco) {
    auto nodo = LeggiNodo(blocco, 0, blocco.size());
    if (!nodo) return std::nullopt;
    std::size_t i = 0;
    while (i < sottoblocco.size()) {
        if (sottoblocco[i] == '\\') {
            ++i;
            continue;
        }
        const std::size_t fine = std::min(sottoblocco.find('\\', i), sottoblocco.size());
        const std::string_view cercata = sottoblocco.substr(i, fine - i);
        i = fine;
        // Children follow one another, each aligned to 32 bits; each must fit in its
        // parent and advances by at least its 6-byte header, so the walk ends.
        std::optional<Nodo> trovato;
        for (std::size_t p = nodo->figli; p < nodo->fine;) {
            const auto figlio = LeggiNodo(blocco, p, nodo->fine);
            if (!figlio) break;
            if (ChiaveUguale(blocco.data() + figlio->chiave, figlio->unitaChiave, cercata)) {
                trovato = figlio;
                break;
            }
            p = Alinea4(figlio->fine);
        }
        if (!trovato) return std::nullopt;
        nodo = trovato;
    }
    return nodo->valore;
}

std::optional<std::array<std::uint16_t, 4>> VersioneFile(std::span<const std::uint8_t> blocco) {
    const auto radice = CercaValore(blocco, "\\");
    if (!radice || radice->byte < kDimFissa) return std::nullopt;
    const std::uint8_t* f = blocco.data() + radice->posizione;
    if (Le32(f) != kFirmaFissa) return std::nullopt;
    const std::uint32_t ms = Le32(f + 8), ls = Le32(f + 12);
    return std::array<std::uint16_t, 4>{
        static_cast<std::uint16_t>(ms >> 16), static_cast<std::uint16_t>(ms & 0xFFFF),
        static_cast<std::uint16_t>(ls >> 16), static_cast<std::uint16_t>(ls & 0xFFFF)};
}

}  // namespace vq::pe

namespace vq::pe {

std::size_t DimensioneTesti(std::size_t lunghezzaBlocco) { return 2 * lunghezzaBlocco; }

void ConvertiTesti(std::span<const std::uint8_t> blocco, std::span<std::uint8_t> testi) {
    std::fill(testi.begin(), testi.end(), std::uint8_t{0});
    // Every node, depth first with a stack of its own: nodes nest as deep as the block
    // allows, which is no limit a call stack should meet. Each node lies strictly inside
    // its parent, so the walk ends.
    std::vector<std::pair<std::size_t, std::size_t>> daVisitare{{0, blocco.size()}};
    while (!daVisitare.empty()) {
        const auto [inizio, limite] = daVisitare.back();
        daVisitare.pop_back();
        const auto nodo = LeggiNodo(blocco, inizio, limite);
        if (!nodo) continue;
        if (nodo->valore.testo && inizio != 0) {
            // Up to the first NUL: a text value carries its terminator within its length.
            std::size_t unita = nodo->valore.byte / 2;
            for (std::size_t i = 0; i < unita; ++i)
                if (Le16(blocco.data() + nodo->valore.posizione + 2 * i) == 0) unita = i;
            const std::string utf8 = Utf8(blocco.data() + nodo->valore.posizione, unita);
            // The value's UTF-16 bytes [p, p + 2u) become UTF-8 at [2p, 2p + 4u): at most
            // 3u bytes and the NUL, within its own stretch, apart from every other value's.
            const std::size_t dove = 2 * nodo->valore.posizione;
            if (dove + utf8.size() + 1 <= testi.size())
                std::memcpy(testi.data() + dove, utf8.c_str(), utf8.size() + 1);
        }
        for (std::size_t p = nodo->figli; p + 6 <= nodo->fine;) {
            const auto figlio = LeggiNodo(blocco, p, nodo->fine);
            if (!figlio) break;
            daVisitare.emplace_back(p, nodo->fine);
            p = Alinea4(figlio->fine);
        }
    }
}

std::optional<std::string_view> TestoConvertito(std::span<const std::uint8_t> testi,
                                                const Valore& valore) {
    const std::size_t dove = 2 * valore.posizione;
    if (!valore.testo || dove >= testi.size()) return std::nullopt;
    const auto* inizio = reinterpret_cast<const char*>(testi.data() + dove);
    const auto* fine = static_cast<const char*>(std::memchr(inizio, 0, testi.size() - dove));
    if (!fine) return std::nullopt;
    return std::string_view(inizio, static_cast<std::size_t>(fine - inizio));
}

}  // namespace vq::pe
