// SPDX-License-Identifier: GPL-3.0-or-later
// The cache of answers on disk: what goes in comes out under any key, a
// file that is not a whole answer of its key reads as no answer, and the
// folder follows the XDG rules.
#include "AnswerCache.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using online::AnswerCache;
using online::CachedAnswer;

CachedAnswer answer(long status, std::string body, int64_t seconds) {
    return {status, std::move(body),
            std::chrono::system_clock::time_point(std::chrono::seconds(seconds))};
}

class AnswerCacheTest : public ::testing::Test {
protected:
    void SetUp() override { fs::remove_all(folder_); }
    void TearDown() override { fs::remove_all(folder_); }

    const fs::path folder_ =
        fs::temp_directory_path() / ("varrow-cache-" + std::to_string(::getpid()));
    const AnswerCache cache_{folder_ / "service"};
};

TEST_F(AnswerCacheTest, WhatIsStoredUnderAnyKeyIsLoadedBack) {
    const std::string longKey = "discid-" + std::string(300, 'x') + "?toc=1+2+3";
    const struct {
        std::string key;
        CachedAnswer answer;
    } cases[] = {
        {"dBAR-002-0000f21c-00027ef8-05021002.bin", answer(200, {"\0\n\nstatus: 1\n\xff", 13}, 1)},
        {"xUp1F2NkfP8s8jaeFn_Av3jNEI4-", answer(404, "", 1700000000)},
        {"../../escape/this", answer(200, "kept inside", 2)},
        {".hidden", answer(200, "not hidden", 3)},
        {longKey, answer(200, "long", 4)},
        {longKey + "y", answer(200, "another long", 5)},
    };
    for (const auto& c : cases) {
        cache_.store(c.key, answer(500, "replaced", 0));
        cache_.store(c.key, c.answer);
    }
    for (const auto& c : cases) {
        const std::optional<CachedAnswer> loaded = cache_.load(c.key);
        ASSERT_TRUE(loaded.has_value()) << c.key;
        EXPECT_EQ(loaded->status, c.answer.status);
        EXPECT_EQ(loaded->body, c.answer.body);
        EXPECT_EQ(loaded->storedAt, c.answer.storedAt);
        EXPECT_EQ(cache_.fileOf(c.key).parent_path(), cache_.folder());
        EXPECT_LE(cache_.fileOf(c.key).filename().string().size(), 120u);
    }
    // One file per key, no temporary file left, in folders private to the user.
    EXPECT_EQ(std::distance(fs::directory_iterator(cache_.folder()), fs::directory_iterator()),
              std::ssize(cases));
    EXPECT_EQ(fs::status(folder_).permissions() & fs::perms::all, fs::perms::owner_all);
}

TEST_F(AnswerCacheTest, AFileThatIsNotAWholeAnswerOfItsKeyIsNoAnswer) {
    const std::string key = "dBAR-001-00000001-00000002-03000001.bin";
    const std::string whole = online::cacheFileBytes(key, answer(200, "body", 1700000000));
    const auto edited = [&whole](const char* field, std::string_view insert) {
        std::string text = whole;
        return text.insert(text.find(field) + std::strlen(field), insert);
    };
    const std::string damaged[] = {
        "",
        whole.substr(0, whole.find("\n\n")), // cut before the body starts
        online::cacheFileBytes("another key", answer(200, "body", 1)),
        "VarrowCache 2" + whole.substr(13),
        edited("status: ", "9"),  // 9200
        edited("stored: ", "x"),  // not a number
        edited("stored: ", "-"),  // before 1970
        edited("stored: ", "200") // beyond what the clock holds
    };
    fs::create_directories(cache_.folder());
    for (const std::string& bytes : damaged) {
        std::ofstream(cache_.fileOf(key), std::ios::binary) << bytes;
        EXPECT_FALSE(cache_.load(key).has_value()) << bytes;
    }
    EXPECT_FALSE(cache_.load("never stored").has_value());
    // A folder that cannot be made is an error with the system's reason.
    const AnswerCache blocked(cache_.fileOf(key) / "service");
    EXPECT_THROW(blocked.store("key", answer(200, "body", 1)), std::system_error);
}

TEST(AnswerCacheFolder, FollowsTheXdgCacheHomeElseTheHomeFolder) {
    const bool hadXdg = std::getenv("XDG_CACHE_HOME") != nullptr;
    const std::string savedXdg = hadXdg ? std::getenv("XDG_CACHE_HOME") : "";
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    const struct {
        const char* xdg;
        fs::path folder;
    } cases[] = {
        {"/xdg/cache", "/xdg/cache/varrow"},
        {"relative/cache", "/home/me/.cache/varrow"},
        {"", "/home/me/.cache/varrow"},
    };
    ::setenv("HOME", "/home/me", 1);
    for (const auto& c : cases) {
        ::setenv("XDG_CACHE_HOME", c.xdg, 1);
        EXPECT_EQ(AnswerCache::programFolder(), c.folder) << c.xdg;
    }
    hadXdg ? ::setenv("XDG_CACHE_HOME", savedXdg.c_str(), 1) : ::unsetenv("XDG_CACHE_HOME");
    ::setenv("HOME", savedHome.c_str(), 1);
}

} // namespace
