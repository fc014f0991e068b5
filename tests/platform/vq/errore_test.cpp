#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <thread>

#include "errore_prova.h"
#include "vq/errore.h"

namespace {

TEST(Errore, SollevaImpostaIlCorrenteELanciaLoStesso) {
    vq::CancellaErrore();
    const auto e = prova::ErroreDi([] { vq::Solleva(4567, "Versione dati non supportata"); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->numero(), 4567);
    EXPECT_EQ(e->descrizione(), "Versione dati non supportata");
    EXPECT_STREQ(e->what(), "Versione dati non supportata");
    EXPECT_EQ(vq::Err().numero, 4567);
    EXPECT_EQ(vq::Err().descrizione, "Versione dati non supportata");
    vq::CancellaErrore();
    EXPECT_EQ(vq::Err().numero, 0);
    EXPECT_TRUE(vq::Err().descrizione.empty());
}

TEST(Errore, DescrizioneVuotaPrendeIlTestoDelRuntime) {
    struct Caso {
        int numero;
        const char* testo;
    };
    const Caso casi[] = {
        {6, "Overflow"},
        {10, "Questa matrice è fissa o temporaneamente bloccata "},  // the runtime's trailing blank
        {53, "Impossibile trovare il file"},
        {76, "Impossibile trovare il percorso "},
        {1000, "Errore definito dall'applicazione o dall'oggetto"},
        {-2147467259, "Errore definito dall'applicazione o dall'oggetto"},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.numero);
        EXPECT_EQ(vq::DescrizioneRuntime(c.numero), c.testo);
        EXPECT_THROW(vq::Solleva(c.numero), vq::Errore);
        EXPECT_EQ(vq::Err().descrizione, c.testo);
    }
}

TEST(Errore, IlCorrenteEPerThread) {
    vq::ImpostaErrore(53, "qui");
    int visto = -1;
    std::thread t([&] {
        visto = vq::Err().numero;
        vq::ImpostaErrore(70, "altrove");
    });
    t.join();
    EXPECT_EQ(visto, 0);
    EXPECT_EQ(vq::Err().numero, 53);
    EXPECT_EQ(vq::Err().descrizione, "qui");
    vq::CancellaErrore();
}

template <typename L>
vq::ErroreCorrente CorrenteDa(L lancia) {
    try {
        lancia();
    } catch (...) {
        return vq::ImpostaErroreDa(std::current_exception());
    }
    return vq::Err();
}

TEST(Errore, ImpostaErroreDaOgniEccezione) {
    struct Caso {
        vq::ErroreCorrente e;
        int numero;
        const char* descrizione;
    };
    const Caso casi[] = {
        {CorrenteDa([] { throw vq::Errore(-2147217900, "Errore di sintassi"); }), -2147217900,
         "Errore di sintassi"},
        {CorrenteDa([] { throw std::bad_alloc(); }), 7, "Memoria esaurita"},
        {CorrenteDa([] { throw std::runtime_error("guasto"); }), 5, "guasto"},
        {CorrenteDa([] { throw 42; }), 5, "Chiamata di routine o argomento non valido"},
    };
    for (const auto& c : casi) {
        EXPECT_EQ(c.e.numero, c.numero);
        EXPECT_EQ(c.e.descrizione, c.descrizione);
    }
    vq::CancellaErrore();
}

}  // namespace
