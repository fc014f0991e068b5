// The message-box service: style decoding, the console notice, the recorder and the
// replaceable process-wide service.
#include <shell/messagebox.h>

#include <gtest/gtest.h>

#include <sstream>
#include <thread>

namespace {

TEST(MessageBox, StyleDecoding) {
    struct Caso {
        std::uint32_t stile;
        shell::Icona icona;
        std::vector<int> pulsanti;
        int predefinito;
    };
    using shell::Icona;
    const Caso casi[] = {
        {64, Icona::Informazione, {shell::IDOK}, shell::IDOK},
        {16, Icona::Stop, {shell::IDOK}, shell::IDOK},
        {shell::MB_YESNO | shell::MB_ICONQUESTION,
         Icona::Domanda,
         {shell::IDYES, shell::IDNO},
         shell::IDYES},
        {shell::MB_YESNO | shell::MB_DEFBUTTON2,
         Icona::Nessuna,
         {shell::IDYES, shell::IDNO},
         shell::IDNO},
        {shell::MB_YESNOCANCEL | shell::MB_DEFBUTTON3,
         Icona::Nessuna,
         {shell::IDYES, shell::IDNO, shell::IDCANCEL},
         shell::IDCANCEL},
        {shell::MB_OKCANCEL | shell::MB_DEFBUTTON3,
         Icona::Nessuna,
         {shell::IDOK, shell::IDCANCEL},
         shell::IDOK},
        {0x0F, Icona::Nessuna, {shell::IDOK}, shell::IDOK},  // unknown button set
    };
    for (const auto& c : casi) {
        EXPECT_EQ(shell::IconaDi(c.stile), c.icona) << c.stile;
        EXPECT_EQ(shell::PulsantiDi(c.stile), c.pulsanti) << c.stile;
        EXPECT_EQ(shell::PulsantePredefinito(c.stile), c.predefinito) << c.stile;
    }
}

TEST(MessageBox, ConsoleWritesOneNoticeAndAnswersTheDefault) {
    struct Caso {
        std::string testo, titolo;
        std::uint32_t stile;
        std::string uscita;
        int risultato;
    };
    const Caso casi[] = {
        {"Esportazione: Disco pieno", "Errore  61", 64,
         "[informazione] Errore  61: Esportazione: Disco pieno\n", shell::IDOK},
        {"Data non valida", "Errore", 16, "[errore] Errore: Data non valida\n", shell::IDOK},
        {"riga 1\r\nriga 2\nriga 3", "T", 48, "[avviso] T: riga 1\n    riga 2\n    riga 3\n",
         shell::IDOK},
        {"a\x1b[2Jb\tc", "x\x07", 0, "[messaggio] x?: a?[2Jb c\n",
         shell::IDOK},  // no control characters reach the terminal
        {"Continuare?", "Domanda", shell::MB_YESNO | shell::MB_ICONQUESTION | shell::MB_DEFBUTTON2,
         "[domanda] Domanda: Continuare?\n", shell::IDNO},
    };
    for (const auto& c : casi) {
        std::ostringstream out;
        shell::MessageBoxConsole console(out);
        EXPECT_EQ(console.Mostra(c.testo, c.titolo, c.stile), c.risultato);
        EXPECT_EQ(out.str(), c.uscita);
    }
}

TEST(MessageBox, ProcessWideServiceIsReplaceableAndRestored) {
    const auto originale = shell::Servizio();
    ASSERT_NE(originale, nullptr);
    auto registro = std::make_shared<shell::RegistratoreMessaggi>();
    {
        shell::ServizioTemporaneo t(registro);
        EXPECT_EQ(shell::Servizio(), registro);
        registro->AccodaRisposta(shell::IDNO);
        EXPECT_EQ(shell::Mostra("testo", "titolo", shell::MB_YESNO),
                  shell::IDNO);  // the queued answer
        shell::Beep();
        shell::CursoreAttesa(true);
        {
            auto interno = std::make_shared<shell::RegistratoreMessaggi>();
            shell::ServizioTemporaneo t2(interno);
            shell::Mostra("interno", "", 0);
            EXPECT_EQ(interno->Messaggi().size(), 1u);
        }
        EXPECT_EQ(shell::Servizio(), registro);
    }
    EXPECT_EQ(shell::Servizio(), originale);
    EXPECT_EQ(registro->Messaggi().size(), 1u);
    EXPECT_EQ(registro->Beeps(), 1);
    EXPECT_EQ(registro->Cursori().size(), 1u);

    // nullptr puts a console service back, never an empty one.
    const auto prima = shell::SostituisciServizio(nullptr);
    EXPECT_NE(shell::Servizio(), nullptr);
    EXPECT_NE(dynamic_cast<shell::MessageBoxConsole*>(shell::Servizio().get()), nullptr);
    shell::SostituisciServizio(prima);
}

// A caller holds the service for the length of its call: replacing it from another
// thread meanwhile neither destroys it under the caller nor loses a message.
TEST(MessageBox, ReplacingWhileInUseIsSafe) {
    auto a = std::make_shared<shell::RegistratoreMessaggi>();
    auto b = std::make_shared<shell::RegistratoreMessaggi>();
    const auto prima = shell::SostituisciServizio(a);
    std::thread scambia([&] {
        for (int i = 0; i < 2000; ++i) shell::SostituisciServizio(i % 2 ? a : b);
    });
    for (int i = 0; i < 2000; ++i) shell::Mostra("m", "t", 0);
    scambia.join();
    shell::SostituisciServizio(prima);
    EXPECT_EQ(a->Messaggi().size() + b->Messaggi().size(), 2000u);
}

}  // namespace
