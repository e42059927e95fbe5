// SPDX-License-Identifier: GPL-3.0-or-later
// The window's keys in the settings file's text, without a window.
#include "OptionsText.h"

#include <gtest/gtest.h>
#include <string>

using namespace varrow;

TEST(OptionsText, IntegersAreDecimalOrHexadecimalAfter0xAndFitIn32Bits) {
    const struct {
        const char* text;
        std::optional<int32_t> value;
    } cases[] = {
        {"0", 0},
        {"-1", -1},
        {"17", 17},
        {"0x1F", 31},
        {"0X10", 16},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"0x7FFFFFFF", 2147483647},
        {"2147483648", std::nullopt},
        {"0x80000000", std::nullopt},
        {"99999999999999999999999", std::nullopt},
        {"", std::nullopt},
        {"0x", std::nullopt},
        {"0x-5", std::nullopt},
        {"+5", std::nullopt},
        {"yes", std::nullopt},
        {"12abc", std::nullopt},
        {"1 2", std::nullopt},
    };
    for (const auto& test : cases)
        EXPECT_EQ(integerValue(test.text), test.value) << test.text;
}

TEST(OptionsText, AnEmptyTextReadsAsTheDefaults) {
    const OptionsRead read = readOptionsText("");
    EXPECT_TRUE(read.complete());
    const WindowOptions defaults;
    EXPECT_EQ(read.values.dirTarget, defaults.dirTarget);
    EXPECT_EQ(read.values.bitrate, 6);
    EXPECT_EQ(read.values.mode, 1);
    EXPECT_TRUE(read.values.hints);
    EXPECT_FALSE(read.values.vbr);
}

TEST(OptionsText, TextIsCutAfter2047CharactersNeverInsideOne) {
    // 2046 plain characters, then two-byte ones.
    const std::string folder = std::string(2046, 'a') + "ééé";
    const OptionsRead read = readOptionsText("[FILES]\nDIRTARGET=" + folder + "\n");
    EXPECT_EQ(read.values.dirTarget, std::string(2046, 'a') + "é");
}

TEST(OptionsText, WritingSetsTheWindowsKeysAndKeepsEverythingElse) {
    WindowOptions options;
    options.dirTarget = "/music/";
    options.hints = false;
    options.bitrate = -1;
    const std::string existing = "[CDLIB]\nTRANSPORTLAYER=0\n[options]\nhints=1\nOTHER=x\n";
    const std::optional<std::string> text = writeOptionsText(existing, options);
    ASSERT_TRUE(text.has_value());
    const OptionsRead read = readOptionsText(*text);
    ASSERT_TRUE(read.complete());
    EXPECT_EQ(read.values.dirTarget, "/music/");
    EXPECT_FALSE(read.values.hints);
    EXPECT_EQ(read.values.bitrate, -1);
    EXPECT_NE(text->find("TRANSPORTLAYER=0\n"), std::string::npos);
    EXPECT_NE(text->find("OTHER=x\n"), std::string::npos);
    EXPECT_EQ(text->find("HINTS="), std::string::npos) << "the key keeps its own spelling";
}

TEST(OptionsText, AFolderThatWouldNotReadBackIsNotWritten) {
    for (const char* folder : {"/a\nb", "/a\rb", " /lead", "/trail\t"}) {
        WindowOptions options;
        options.dirTarget = folder;
        const std::optional<std::string> text = writeOptionsText("", options);
        ASSERT_TRUE(text.has_value());
        EXPECT_EQ(readOptionsText(*text).values.dirTarget, "") << folder;
    }
}

TEST(OptionsText, ATextWithANulByteIsNotRewritten) {
    const char raw[] = "[FILES]\nDIRTARGET=/m/\n[OPTIONS]\nHINTS=0\n\0[KEPT]\nA=1\n";
    const std::string existing(raw, sizeof raw - 1);
    EXPECT_FALSE(writeOptionsText(existing, WindowOptions{}).has_value());
    const OptionsRead read = readOptionsText(existing);
    EXPECT_EQ(read.keysRead, static_cast<int>(OptionKey::RipCaptions));
    EXPECT_FALSE(read.values.hints);

    // A key before the NUL that comes after a missing one in the table's
    // order is not read: the reading stopped before it.
    const char early[] = "[OPTIONS]\nHINTS=0\n\0";
    EXPECT_EQ(readOptionsText(std::string(early, sizeof early - 1)).keysRead, 0);
}

TEST(OptionsText, WritingChangesOnlyTheValuesThatChanged) {
    // Every key of the window's among the user's own lines (a comment, a
    // foreign section, a last line without its break), in CRLF and LF.
    const std::string lines = "; mine||[Foreign]|# note|X = y |[FILES]|DIRTARGET=/m/|[OPTIONS]|"
                              "HINTS=1|RIPCAPTIONS=1|PAUSEONREADERR=1|ADDNOTOFILENAME=1|"
                              "TRACKTIMEMODE=1|REPLAYGAIN=1|[MP3OPTIONS]|BITRATE=6|MAXBITRATE=0|"
                              "MODE=1|MIXMODE=0|QUALITY=0|VBR=0|[FLACOPTIONS]|COMPRESSION=5||"
                              "[CDLIB]|TRANSPORTLAYER=0";
    for (const std::string lineBreak : {"\r\n", "\n"}) {
        std::string existing;
        for (char ch : lines)
            existing += ch == '|' ? lineBreak : std::string(1, ch);
        WindowOptions options = readOptionsText(existing).values;
        options.hints = false;
        options.bitrate = 9;

        std::string expected = existing;
        expected.replace(expected.find("HINTS=1"), 7, "HINTS=0");
        expected.replace(expected.find("BITRATE=6"), 9, "BITRATE=9");
        EXPECT_EQ(writeOptionsText(existing, options), expected) << lineBreak.size();
    }
}
