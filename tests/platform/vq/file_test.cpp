#include "vq/file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace {

TEST(ErroreDaErrno, OgniErrnoHaIlSuoNumeroETesto) {
    struct Caso {
        int codice;
        std::int32_t numero;
        const char* testo;
    };
    const Caso casi[] = {
        {ENOENT, 76, "Impossibile trovare il percorso "},
        {ENOTDIR, 76, "Impossibile trovare il percorso "},
        {EACCES, 70, "Autorizzazione negata"},
        {EPERM, 70, "Autorizzazione negata"},
        {EROFS, 70, "Autorizzazione negata"},
        {ETXTBSY, 70, "Autorizzazione negata"},
        {ENOSPC, 61, "Disco pieno"},
        {EDQUOT, 61, "Disco pieno"},
        {EFBIG, 61, "Disco pieno"},
        {EMFILE, 67, "Troppi file"},
        {ENFILE, 67, "Troppi file"},
        {EIO, 57, "Errore di I/O periferica"},
        {EISDIR, 75, "Errore di accesso al percorso/file"},
        {EEXIST, 75, "Errore di accesso al percorso/file"},
        {0, 75, "Errore di accesso al percorso/file"},
    };
    for (const Caso& c : casi) {
        SCOPED_TRACE(c.codice);
        EXPECT_EQ(vq::NumeroDaErrno(c.codice), c.numero);
        const vq::Errore senza = vq::ErroreDaErrno(c.codice);
        EXPECT_EQ(senza.numero(), c.numero);
        EXPECT_EQ(senza.descrizione(), c.testo);
        const vq::Errore con = vq::ErroreDaErrno(c.codice, "scrittura di /tmp/x");
        EXPECT_EQ(con.numero(), c.numero);
        EXPECT_EQ(con.descrizione(), std::string(c.testo) + ": scrittura di /tmp/x");
    }
}

TEST(SollevaErrno, LanciaEImpostaLErroreCorrente) {
    vq::CancellaErrore();
    try {
        vq::SollevaErrno(ENOSPC, "log");
        FAIL() << "nessuna eccezione";
    } catch (const vq::Errore& e) {
        EXPECT_EQ(e.numero(), 61);
        EXPECT_EQ(e.descrizione(), "Disco pieno: log");
    }
    EXPECT_EQ(vq::Err().numero, 61);
    EXPECT_EQ(vq::Err().descrizione, "Disco pieno: log");
    vq::CancellaErrore();
}

}  // namespace
