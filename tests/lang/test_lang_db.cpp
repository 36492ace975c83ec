// The caption table: its rows, and the three outcomes of a lookup.
#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "lang/Lang_DB.h"
#include "popups.h"

namespace {

// The text in a legacy code page; "" when a character has no place in it.
std::string Encode(const char *charset, const std::string &utf8)
{
    iconv_t cd = iconv_open(charset, "UTF-8");
    std::string in = utf8, out(4 * utf8.size() + 4, '\0');
    char *src = in.data(), *dst = out.data();
    size_t left = in.size(), room = out.size();
    size_t r = iconv(cd, &src, &left, &dst, &room);
    iconv_close(cd);
    return r == static_cast<size_t>(-1) ? "" : out.substr(0, out.size() - room);
}

using Popups = std::vector<std::pair<std::string, std::string>>;
const Popups caSidPopup = {{"", "Lang SID not fount"}};

} // namespace

TEST(LangTable, Holds139CaptionIdsBelowTheProgramsOwnAllInStrictlyAscendingOrder)
{
    ASSERT_EQ(std::count_if(gcaLangS, gcaLangS + ciLangS_Count, [](const LangS &r) { return r.sid < ciLangS_Own; }), 139)
        << "the program's own texts start at " << ciLangS_Own;
    for (int i = 1; i < ciLangS_Count; ++i)
        EXPECT_LT(gcaLangS[i - 1].sid, gcaLangS[i].sid) << "row " << i;
}

// Traditional is stored as Big5 and Simplified as GB2312 by the device's
// other tools, in 29-byte buffers: every text must have that form too.
// Chinese menu captions keep the English mnemonic, in parentheses.
TEST(LangTable, EveryTextFitsItsLegacyCodePageIn28BytesAndDiffersFromTheOtherLanguages)
{
    const char *const charsets[ciLang_Count] = {"ASCII", "BIG5", "GB2312"};
    for (const LangS &row : std::span(gcaLangS, ciLangS_Count)) {
        const char *mark = std::strstr(row.text[0], "__");
        std::string mnemonic = mark ? std::string("(__") + char(std::toupper(mark[2])) + ")" : "(__";
        std::string legacy[ciLang_Count];
        for (int lang = 0; lang < ciLang_Count; ++lang) {
            legacy[lang] = Encode(charsets[lang], row.text[lang]);
            EXPECT_FALSE(legacy[lang].empty()) << row.sid << " in " << charsets[lang];
            if (row.sid < ciLangS_Own) { // the program's own texts are longer
                EXPECT_LE(legacy[lang].size(), 28u) << row.sid << " in " << charsets[lang];
            }
            EXPECT_LT(std::strlen(row.text[lang]), ciLangS_Size) << row.sid;
            if (lang > 0) {
                EXPECT_EQ(std::strstr(row.text[lang], mnemonic.c_str()) != nullptr, mark != nullptr)
                    << row.sid << " " << row.text[lang];
            }
        }
        EXPECT_NE(legacy[0], legacy[1]) << row.sid << ": the same text in two languages";
        EXPECT_NE(legacy[0], legacy[2]) << row.sid;
        EXPECT_NE(legacy[1], legacy[2]) << row.sid;
    }
}

// A translated status text is a printf format that gets the English one's
// arguments: a conversion missing or of another kind loses or misreads one.
// Chinese may leave out a last argument that only English needs.
TEST(LangTable, EveryLanguageTakesTheEnglishTextsFormatArguments)
{
    const std::pair<int, const char *> caEnglishOnlyTail[] = {
        {900068, "%s"}, // the plural "s" of "setting"
        {900084, "%s"}, // the exception's English name
        {900241, "%s"},
    };
    auto conversions = [](const char *text) {
        std::string found;
        for (const char *p = std::strchr(text, '%'); p; p = std::strchr(p + 1, '%')) {
            size_t n = std::strspn(p + 1, "-+ #0123456789.*l");
            found += std::string(p, n + 2);
            p += n + 1;
        }
        return found;
    };
    for (const LangS &row : std::span(gcaLangS, ciLangS_Count)) {
        std::string english = conversions(row.text[0]);
        for (auto [sid, tail] : caEnglishOnlyTail)
            if (sid == row.sid && english.ends_with(tail))
                english.resize(english.size() - std::strlen(tail));
        for (int lang = 1; lang < ciLang_Count; ++lang)
            EXPECT_EQ(conversions(row.text[lang]), english) << row.sid << " " << row.text[lang];
    }
}

TEST(LangLookup, CopiesTheTextOrLeavesTheDestinationAsItWas)
{
    struct Case {
        int sid, lang;
        size_t size;
        int result;
        const char *text; // nullptr: the destination keeps "before"
        bool popup;
    } const cases[] = {
        {308, 0, ciLangS_Size, 0, "Baud Rate Setting", false},
        {308, 1, ciLangS_Size, 0, "鮑率設定", false},
        {308, 2, ciLangS_Size, 0, "鲍率设定", false},
        {331021, 2, ciLangS_Size, 0, "通道 ", false},
        {50505, 0, ciLangS_Size, 0, "Read PV ( Start )", false},
        {153, 0, ciLangS_Size, 0, nullptr, true},   // a gap inside 151..155
        {0, 1, ciLangS_Size, 0, nullptr, true},
        {101, 3, ciLangS_Size, 0, nullptr, false},  // a language the table lacks is silent
        {101, -1, ciLangS_Size, 0, nullptr, false},
        {308, 1, 13, 0, "鮑率設定", false},          // 12 UTF-8 bytes and the terminator fit 13 exactly
        {308, 1, 12, -1, nullptr, false},           // but not 12
    };
    for (const Case &c : cases) {
        PopupRecorder recorder(PopupRecorder::kExpected);
        char dest[ciLangS_Size] = "before";
        EXPECT_EQ(mf_Tovra_LangS__DataBase(c.sid, c.lang, dest, c.size), c.result) << c.sid;
        EXPECT_STREQ(dest, c.text ? c.text : "before") << c.sid << " in " << c.lang;
        EXPECT_EQ(recorder.popups(), c.popup ? caSidPopup : Popups{}) << c.sid;
    }
}
