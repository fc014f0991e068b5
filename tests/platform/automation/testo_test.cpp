// BSTR layout and the UTF-8 <-> UTF-16 conversions.
#include <ole/ole.hpp>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace std::string_literals;

namespace {

struct CasoTesto {
    std::string utf8;
    std::u16string utf16;
};

class Conversioni : public ::testing::TestWithParam<CasoTesto> {};

TEST_P(Conversioni, AndataERitorno) {
    const auto& c = GetParam();
    EXPECT_EQ(ole::Utf8InUtf16(c.utf8), c.utf16);
    EXPECT_EQ(ole::Utf16InUtf8(c.utf16), c.utf8);
    ole::Bstr b(c.utf8);
    ASSERT_NE(b.get(), nullptr);
    EXPECT_EQ(b.len(), c.utf16.size());
    EXPECT_EQ(b.u16(), c.utf16);
    EXPECT_EQ(b.utf8(), c.utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Testi, Conversioni,
    ::testing::Values(CasoTesto{"", u""}, CasoTesto{"Conti", u"Conti"},
                      CasoTesto{"Caffè già più €", u"Caff\u00E8 gi\u00E0 pi\u00F9 \u20AC"},
                      // Outside the BMP: a surrogate pair in UTF-16, four bytes in UTF-8.
                      CasoTesto{"\xF0\x9D\x84\x9E chiave", u"\xD834\xDD1E chiave"},
                      CasoTesto{"\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF"},
                      // Embedded NULs are text like any other.
                      CasoTesto{"a\0b\0"s, u"a\0b\0"s}));

TEST(Conversioni, Utf8NonValidoDiventaSostituto) {
    struct {
        std::string dentro;
        std::u16string fuori;
    } casi[] = {
        {"a\xC3", u"a\uFFFD"},                              // truncated sequence
        {"\xC0\xAF", u"\uFFFD\uFFFD"},                      // overlong form of "/"
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // an encoded surrogate
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
        {"\xFFok", u"\uFFFDok"},
        {"\xE2\x82x", u"\uFFFD\uFFFDx"},
    };
    for (const auto& c : casi) EXPECT_EQ(ole::Utf8InUtf16(c.dentro), c.fuori) << c.dentro;
}

TEST(Conversioni, SurrogatiIsolatiDiventanoSostituto) {
    EXPECT_EQ(ole::Utf16InUtf8(u"\xD800x"), "\xEF\xBF\xBDx");
    EXPECT_EQ(ole::Utf16InUtf8(u"x\xDC00"), "x\xEF\xBF\xBD");
    EXPECT_EQ(ole::Utf16InUtf8(u"\xDC00\xD800"), "\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(Bstr, DisposizioneInMemoria) {
    BSTR b = ole::BstrDaUtf8("ciao");
    std::uint32_t byte;
    std::memcpy(&byte, reinterpret_cast<const char*>(b) - 4, 4);
    EXPECT_EQ(byte, 8u);
    EXPECT_EQ(b[4], 0);
    EXPECT_EQ(SysStringLen(b), 4u);
    EXPECT_EQ(SysStringByteLen(b), 8u);
    SysFreeString(b);

    BSTR dispari = SysAllocStringByteLen("abc", 3);
    EXPECT_EQ(SysStringByteLen(dispari), 3u);
    EXPECT_EQ(SysStringLen(dispari), 1u);
    EXPECT_EQ(reinterpret_cast<const char*>(dispari)[3], 0);
    SysFreeString(dispari);
}

TEST(Bstr, NullEVuota) {
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(ole::Utf8DaBstr(nullptr), "");
    SysFreeString(nullptr);
    ole::Bstr vuota("");
    ASSERT_NE(vuota.get(), nullptr);  // an allocated empty text, not a null one
    EXPECT_TRUE(vuota.vuota());
}

TEST(Bstr, RiallocazioneDalProprioTesto) {
    BSTR b = SysAllocString(u"abcdef");
    // The new text is part of the old one.
    ASSERT_TRUE(SysReAllocStringLen(&b, b + 2, 3));
    EXPECT_EQ(std::u16string(b, SysStringLen(b)), u"cde");
    ASSERT_TRUE(SysReAllocString(&b, u"xy"));
    EXPECT_EQ(std::u16string(b, SysStringLen(b)), u"xy");
    SysFreeString(b);
}

TEST(Bstr, ContenitoreCopiaSpostaCede) {
    ole::Bstr a("primo");
    ole::Bstr b = a;
    EXPECT_NE(a.get(), b.get());
    EXPECT_EQ(b.utf8(), "primo");
    ole::Bstr c = std::move(a);
    EXPECT_EQ(a.get(), nullptr);
    EXPECT_EQ(c.utf8(), "primo");
    c = b;
    EXPECT_EQ(c.utf8(), "primo");
    *c.put() = SysAllocString(u"secondo");
    EXPECT_EQ(c.utf8(), "secondo");
    BSTR ceduta = c.detach();
    EXPECT_EQ(c.get(), nullptr);
    ole::Bstr d = ole::Bstr::Adotta(ceduta);
    EXPECT_EQ(d.utf8(), "secondo");
    BSTR copia = d.copia();
    EXPECT_NE(copia, d.get());
    SysFreeString(copia);
}

}  // namespace
