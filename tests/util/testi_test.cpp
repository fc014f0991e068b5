// The text helpers of vqUtilita: replace, split, remove blanks.
#include <util/vqUtilita.h>
#include <vq/errore.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(Testi, vqReplace) {
    struct Caso {
        std::string testo, ricerca, sostituzione, atteso;
    };
    const Caso casi[] = {
        {"aaa", "aa", "b", "ba"},            // matches never overlap
        {"abab", "ab", "abab", "abababab"},  // the inserted text is not searched again
        {"Abc", "a", "x", "Abc"},            // case counts
        {"a;b;c", ";", ", ", "a, b, c"},
        {"abc", "", "x", "abc"},      // empty search
        {"", "a", "x", ""},           // empty text
        {"abc", "b", "", "abc"},      // an empty replacement deletes nothing
        {"xyz", "xyzw", "q", "xyz"},  // search longer than the text
        {"caff\xc3\xa8 caff\xc3\xa8", "\xc3\xa8", "e", "caffe caffe"},
        {"abc", "abc", "", "abc"},
    };
    for (const auto& c : casi)
        EXPECT_EQ(vqUtilita::vqReplace(c.testo, c.ricerca, c.sostituzione), c.atteso)
            << c.testo << " / " << c.ricerca << " / " << c.sostituzione;
}

TEST(Testi, vqSplit) {
    struct Caso {
        std::string buf, sep;
        bool esito;
        std::vector<std::string> elementi;
    };
    const Caso casi[] = {
        {"a;b;", ";", true, {"a", "b"}},  // one final separator dropped
        {"a;;b", ";", true, {"a", "", "b"}},
        {";a", ";", true, {"", "a"}},
        {"abc", ";", true, {"abc"}},
        {"a;;", ";", true, {"a", ""}},  // only one final separator is dropped
        {";", ";", true, {""}},
        {"1<>2<>3", "<>", true, {"1", "2", "3"}},
        {"a<b<>c", "<>", true, {"a<b", "c"}},
        {"A;a", "a", true, {"A;"}},  // case counts (the final "a" is the dropped separator)
        {"", ";", false, {""}},
        {"abc", "", false, {""}},
    };
    for (const auto& c : casi) {
        std::vector<std::string> tmp{"vecchio", "contenuto"};
        EXPECT_EQ(vqUtilita::vqSplit(tmp, c.buf, c.sep), c.esito) << c.buf;
        EXPECT_EQ(tmp, c.elementi) << c.buf;
    }
}

TEST(Testi, vqSplitHandlesTheLargestCount) {
    // 32767 separators, the last one dropped: 32767 elements, all empty.
    std::vector<std::string> tmp;
    ASSERT_TRUE(vqUtilita::vqSplit(tmp, std::string(32767, ';'), ";"));
    EXPECT_EQ(tmp.size(), 32767u);
}

TEST(Testi, EspuraSpazi) {
    const std::pair<std::string, std::string> casi[] = {
        {" a b  c ", "abc"},
        {"a\tb\nc", "a\tb\nc"},  // other white space stays
        {"   ", ""},
        {"", ""},
        {"\xc2\xa0x y", "\xc2\xa0xy"},  // a no-break space is not a blank
    };
    for (const auto& [ingresso, atteso] : casi) EXPECT_EQ(vqUtilita::EspuraSpazi(ingresso), atteso);
}

}  // namespace
