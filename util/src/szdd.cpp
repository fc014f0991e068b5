#include "szdd.h"

#include <mspack.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace vq::utilita {

namespace {

// The two "files" of one expansion: the compressed bytes and the growing result. The
// library passes our descriptor through as the file name.
struct Descrittore {
    std::string_view ingresso;
    std::string* uscita = nullptr;  // null for the input
    std::size_t limite = 0;         // the most the result may hold
};

struct FileMemoria {
    Descrittore* d;
    std::size_t pos;
};

mspack_file* Apri(mspack_system*, const char* nome, int modo) {
    auto* d = reinterpret_cast<Descrittore*>(const_cast<char*>(nome));
    if ((modo == MSPACK_SYS_OPEN_READ) != (d->uscita == nullptr)) return nullptr;
    auto* f = new (std::nothrow) FileMemoria{d, 0};
    return reinterpret_cast<mspack_file*>(f);
}

void Chiudi(mspack_file* file) { delete reinterpret_cast<FileMemoria*>(file); }

int Leggi(mspack_file* file, void* buffer, int byte) {
    auto* f = reinterpret_cast<FileMemoria*>(file);
    if (byte < 0 || f->d->uscita != nullptr) return -1;
    const std::size_t resto = f->d->ingresso.size() - f->pos;
    const std::size_t n = std::min(resto, static_cast<std::size_t>(byte));
    if (n > 0) std::memcpy(buffer, f->d->ingresso.data() + f->pos, n);
    f->pos += n;
    return static_cast<int>(n);
}

int Scrivi(mspack_file* file, void* buffer, int byte) {
    auto* f = reinterpret_cast<FileMemoria*>(file);
    if (byte < 0 || f->d->uscita == nullptr) return -1;
    // More than the header announced: the file is damaged, no need to go on.
    if (f->d->uscita->size() + static_cast<std::size_t>(byte) > f->d->limite) return -1;
    try {
        f->d->uscita->append(static_cast<const char*>(buffer), static_cast<std::size_t>(byte));
    } catch (const std::bad_alloc&) {
        return -1;
    }
    return byte;
}

int Posiziona(mspack_file* file, off_t offset, int modo) {
    auto* f = reinterpret_cast<FileMemoria*>(file);
    const std::size_t dimensione =
        f->d->uscita == nullptr ? f->d->ingresso.size() : f->d->uscita->size();
    off_t base = 0;
    if (modo == MSPACK_SYS_SEEK_CUR) base = static_cast<off_t>(f->pos);
    else if (modo == MSPACK_SYS_SEEK_END) base = static_cast<off_t>(dimensione);
    else if (modo != MSPACK_SYS_SEEK_START) return -1;
    const off_t nuova = base + offset;
    if (nuova < 0 || nuova > static_cast<off_t>(dimensione)) return -1;
    f->pos = static_cast<std::size_t>(nuova);
    return 0;
}

off_t Dove(mspack_file* file) {
    return static_cast<off_t>(reinterpret_cast<FileMemoria*>(file)->pos);
}

void Messaggio(mspack_file*, const char*, ...) {}

void* Alloca(mspack_system*, size_t byte) { return std::malloc(byte); }

void Libera(void* p) { std::free(p); }

void Copia(void* da, void* a, size_t byte) { std::memmove(a, da, byte); }

mspack_system SistemaMemoria() {
    mspack_system s{};
    s.open = Apri;
    s.close = Chiudi;
    s.read = Leggi;
    s.write = Scrivi;
    s.seek = Posiziona;
    s.tell = Dove;
    s.message = Messaggio;
    s.alloc = Alloca;
    s.free = Libera;
    s.copy = Copia;
    s.null_ptr = nullptr;
    return s;
}

}  // namespace

EsitoEspansione EspandiSzdd(std::string_view dati, std::string& uscita) {
    uscita.clear();
    // Only a file that carries a whole signature is compressed; any other (a short one
    // included) is plain.
    static constexpr std::string_view kSzdd("SZDD\x88\xf0\x27\x33", 8);
    static constexpr std::string_view kQBasic("SZ \x88\xf0\x27\x33\xd1", 8);
    if (dati.substr(0, 8) != kSzdd && dati.substr(0, 8) != kQBasic)
        return EsitoEspansione::NonCompresso;
    mspack_system sistema = SistemaMemoria();
    msszdd_decompressor* dec = mspack_create_szdd_decompressor(&sistema);
    if (dec == nullptr) throw std::bad_alloc();
    Descrittore ingresso{dati, nullptr, 0};
    msszddd_header* testa = dec->open(dec, reinterpret_cast<const char*>(&ingresso));
    EsitoEspansione esito = EsitoEspansione::Danneggiato;
    if (testa == nullptr) {
        if (dec->last_error(dec) == MSPACK_ERR_SIGNATURE) esito = EsitoEspansione::NonCompresso;
    } else {
        const auto lunghezza = testa->length;
        if (lunghezza >= 0) {
            Descrittore destinazione{{}, &uscita, static_cast<std::size_t>(lunghezza)};
            if (dec->extract(dec, testa, reinterpret_cast<const char*>(&destinazione)) ==
                    MSPACK_ERR_OK &&
                uscita.size() == static_cast<std::size_t>(lunghezza))
                esito = EsitoEspansione::Espanso;
        }
        dec->close(dec, testa);
    }
    mspack_destroy_szdd_decompressor(dec);
    if (esito != EsitoEspansione::Espanso) uscita.clear();
    return esito;
}

}  // namespace vq::utilita
