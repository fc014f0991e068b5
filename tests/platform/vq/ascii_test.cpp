#include "vq/ascii.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace {

// Only A-Z and a-z change case: accented letters, digits and the characters just beside
// the two ranges ('@', '[', '`', '{') stay as they are, in any locale.
TEST(Ascii, SoloLeLettereAsciiCambianoCaso) {
    struct Caso {
        const char* testo;
        const char* minuscole;
        const char* maiuscole;
    };
    const Caso casi[] = {
        {"", "", ""},
        {"Operazioni", "operazioni", "OPERAZIONI"},
        {"@AZ[`az{", "@az[`az{", "@AZ[`AZ{"},
        {"Città 09_x", "città 09_x", "CITTà 09_X"},
    };
    const char* prima = std::setlocale(LC_CTYPE, nullptr);
    const std::string salvato = prima != nullptr ? prima : "C";
    std::setlocale(LC_CTYPE, "C.UTF-8");
    for (const Caso& c : casi) {
        SCOPED_TRACE(c.testo);
        EXPECT_EQ(vq::InMinuscoleAscii(std::string_view(c.testo)), c.minuscole);
        EXPECT_EQ(vq::InMaiuscoleAscii(std::string_view(c.testo)), c.maiuscole);
        EXPECT_TRUE(vq::UgualiSenzaMaiuscole(c.minuscole, c.maiuscole));
    }
    std::setlocale(LC_CTYPE, salvato.c_str());
    EXPECT_EQ(vq::MinuscolaAscii(u'Z'), u'z');
    EXPECT_EQ(vq::MinuscolaAscii(u'\u00C0'), u'\u00C0');
}

TEST(Ascii, UgualiSenzaMaiuscoleUtf16) {
    struct Caso {
        std::u16string_view a, b;
        bool uguali;
    };
    const Caso casi[] = {
        {u"Item", u"ITEM", true},
        {u"Item", u"Items", false},
        {u"a_Z", u"A_z", true},
        {u"\u00E0", u"\u00C0", false},  // Latin-1 letters are not folded here
    };
    for (const Caso& c : casi) EXPECT_EQ(vq::UgualiSenzaMaiuscole(c.a, c.b), c.uguali);
}

}  // namespace
