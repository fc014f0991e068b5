// Reader of the version resource of a PE/COFF image (32-bit PE32 or 64-bit PE32+).
//
// The Win32-shaped functions of win/version.h are built on these; tests and the fuzz
// target use them directly on bytes in memory.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vq::pe {

// Random access to the bytes of an image.
class Sorgente {
public:
    virtual ~Sorgente() = default;
    virtual std::uint64_t Dimensione() const = 0;
    // Exactly `n` bytes at `posizione`; false when they are not all there.
    virtual bool Leggi(std::uint64_t posizione, void* destinazione, std::size_t n) const = 0;
};

// Bytes already in memory (not owned: they must outlive the source).
class SorgenteMemoria final : public Sorgente {
public:
    explicit SorgenteMemoria(std::span<const std::uint8_t> dati) : dati_(dati) {}
    std::uint64_t Dimensione() const override { return dati_.size(); }
    bool Leggi(std::uint64_t posizione, void* destinazione, std::size_t n) const override;

private:
    std::span<const std::uint8_t> dati_;
};

// A regular file, opened read-only. Anything else (a folder, a pipe, a device) is
// refused, so that no read can block or run without end.
class SorgenteFile final : public Sorgente {
public:
    // nullptr when the path cannot be opened or is not a regular file.
    static std::unique_ptr<SorgenteFile> Apri(const std::string& percorso);
    ~SorgenteFile() override;
    SorgenteFile(const SorgenteFile&) = delete;
    SorgenteFile& operator=(const SorgenteFile&) = delete;

    std::uint64_t Dimensione() const override { return dimensione_; }
    bool Leggi(std::uint64_t posizione, void* destinazione, std::size_t n) const override;

private:
    SorgenteFile(int fd, std::uint64_t dimensione) : fd_(fd), dimensione_(dimensione) {}
    int fd_;
    std::uint64_t dimensione_;
};

// The version resource (the VS_VERSIONINFO block, exactly its declared wLength bytes)
// of the image, or nothing when the image is not a PE file, is damaged anywhere on the
// way, or has no version resource.
std::optional<std::vector<std::uint8_t>> LeggiRisorsaVersione(const Sorgente& sorgente);
std::optional<std::vector<std::uint8_t>> LeggiRisorsaVersione(const std::string& percorso);

// A value found in a version block.
struct Valore {
    std::size_t posizione = 0;              // offset of the value's bytes inside the block
    std::size_t byte = 0;                   // its length in bytes (within the block)
    std::uint16_t lunghezzaDichiarata = 0;  // wValueLength as stored
    bool testo = false;                     // wType 1: UTF-16 text
};

// Walk the block (`blocco`, its bytes limited by both the span and the root's wLength)
// along `sottoblocco` ("\" for the root, "\VarFileInfo\Translation", ...). Keys are
// compared without regard to ASCII case; empty components are skipped.
std::optional<Valore> CercaValore(std::span<const std::uint8_t> blocco,
                                  std::string_view sottoblocco);

// The four 16-bit numbers of the file version (major, minor, build, revision) from the
// fixed part of a version block:
// nothing when the fixed part is absent, too short or lacks the signature 0xFEEF04BD.
std::optional<std::array<std::uint16_t, 4>> VersioneFile(std::span<const std::uint8_t> blocco);

// Text values as UTF-8. A version block's text values are UTF-16; the ANSI API hands out
// UTF-8 copies kept in a stretch of DimensioneTesti(block length) bytes beside the block.
// ConvertiTesti fills that stretch for every text value of the block; TestoConvertito
// finds the copy of one value found by CercaValore (nothing when it is not there).
std::size_t DimensioneTesti(std::size_t lunghezzaBlocco);
void ConvertiTesti(std::span<const std::uint8_t> blocco, std::span<std::uint8_t> testi);
std::optional<std::string_view> TestoConvertito(std::span<const std::uint8_t> testi,
                                                const Valore& valore);

}  // namespace vq::pe
