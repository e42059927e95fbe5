// The cache of answers on disk: what goes in comes out under any key, a
// file that is not a whole answer of that key reads as no answer, and the
// folder follows the XDG rules.
#include "AnswerCache.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using online::AnswerCache;
using online::CachedAnswer;

class AnswerCacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("varrow-cache-" + std::to_string(::getpid()));
        fs::remove_all(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::vector<std::string> filesInFolder() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(cache_.folder())) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    fs::path folder_;
    AnswerCache cache_{fs::temp_directory_path() / ("varrow-cache-" + std::to_string(::getpid())) /
                       "service"};
};

CachedAnswer answer(long status, std::string body, int64_t seconds) {
    return {status, std::move(body),
            std::chrono::system_clock::time_point(std::chrono::seconds(seconds))};
}

TEST_F(AnswerCacheTest, WhatIsStoredUnderAnyKeyIsLoadedBack) {
    const std::string binary("\0\x01\n\nstatus: 200\n\xff", 17);
    const std::string longKey = "discid-" + std::string(300, 'x') + "?toc=1+2+3";
    const struct {
        std::string key;
        CachedAnswer answer;
    } cases[] = {
        {"dBAR-002-0000f21c-00027ef8-05021002.bin", answer(200, binary, 1700000000)},
        {"dBAR-010-00164419-00b9f6e2-9e11600b.bin", answer(404, "", 0)},
        {"xUp1F2NkfP8s8jaeFn_Av3jNEI4-", answer(200, "{\"releases\":[]}", 1)},
        {"../../escape/this", answer(200, "kept inside", 2)},
        {".hidden", answer(200, "not hidden", 3)},
        {longKey, answer(200, "long", 4)},
        {longKey + "y", answer(200, "another long", 5)},
    };
    for (const auto& c : cases) {
        cache_.store(c.key, c.answer);
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key.substr(0, 60));
        const std::optional<CachedAnswer> loaded = cache_.load(c.key);
        ASSERT_TRUE(loaded.has_value());
        EXPECT_EQ(loaded->status, c.answer.status);
        EXPECT_EQ(loaded->body, c.answer.body);
        EXPECT_EQ(loaded->storedAt, c.answer.storedAt);
        EXPECT_EQ(cache_.fileOf(c.key).parent_path(), cache_.folder());
        EXPECT_LE(cache_.fileOf(c.key).filename().string().size(), 120u);
    }
    // One file per key, no temporary file left; a stored answer is replaced.
    EXPECT_EQ(filesInFolder().size(), std::size(cases));
    cache_.store(cases[0].key, answer(404, "", 9));
    EXPECT_EQ(cache_.load(cases[0].key)->status, 404);
    EXPECT_EQ(filesInFolder().size(), std::size(cases));
    EXPECT_EQ(fs::status(folder_).permissions() & fs::perms::all, fs::perms::owner_all);
}

TEST_F(AnswerCacheTest, AFileThatIsNotAWholeAnswerOfTheKeyIsNoAnswer) {
    const std::string key = "dBAR-001-00000001-00000002-03000001.bin";
    const std::string whole = online::cacheFileBytes(key, answer(200, "body", 1700000000));
    ASSERT_TRUE(online::parseCacheFile(whole, key).has_value());
    const std::string damaged[] = {
        "",
        whole.substr(0, whole.find("\n\n")), // cut before the body starts
        online::cacheFileBytes("another key", answer(200, "body", 1)),
        "VarrowCache 2" + whole.substr(13),
        online::cacheFileBytes(key, answer(99, "body", 1)),
        online::cacheFileBytes(key, answer(200, "body", -5)),
        [&] { // beyond what the clock holds
            std::string text = whole;
            text.insert(text.find("stored: ") + 8, "200");
            return text;
        }(),
        [&] {
            std::string text = whole;
            text.replace(text.find("stored: ") + 8, 1, "x");
            return text;
        }(),
    };
    for (const std::string& bytes : damaged) {
        SCOPED_TRACE(bytes);
        EXPECT_FALSE(online::parseCacheFile(bytes, key).has_value());
        fs::create_directories(cache_.folder());
        std::ofstream(cache_.fileOf(key), std::ios::binary) << bytes;
        EXPECT_FALSE(cache_.load(key).has_value());
    }
    EXPECT_FALSE(cache_.load("never stored").has_value());
}

TEST_F(AnswerCacheTest, AFolderThatCannotBeMadeIsAnErrorWithItsReason) {
    fs::create_directories(folder_);
    std::ofstream(folder_ / "file") << "in the way";
    const AnswerCache blocked(folder_ / "file" / "service");
    EXPECT_THROW(blocked.store("key", answer(200, "body", 1)), std::system_error);
    EXPECT_FALSE(blocked.load("key").has_value());
}

TEST(AnswerCacheFolder, FollowsTheXdgCacheHomeElseTheHomeFolder) {
    const auto variable = [](const char* name) -> std::optional<std::string> {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    };
    const auto restore = [](const char* name, const std::optional<std::string>& value) {
        value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
    };
    const auto xdg = variable("XDG_CACHE_HOME");
    const auto home = variable("HOME");
    const struct {
        std::optional<std::string> xdg, home;
        fs::path folder;
    } cases[] = {
        {"/xdg/cache", "/home/me", "/xdg/cache/varrow"},
        {"relative/cache", "/home/me", "/home/me/.cache/varrow"},
        {"", "/home/me", "/home/me/.cache/varrow"},
        {std::nullopt, "/home/me", "/home/me/.cache/varrow"},
    };
    for (const auto& c : cases) {
        restore("XDG_CACHE_HOME", c.xdg);
        restore("HOME", c.home);
        EXPECT_EQ(AnswerCache::programFolder(), c.folder) << c.xdg.value_or("(unset)");
    }
    restore("XDG_CACHE_HOME", xdg);
    restore("HOME", home);
}

} // namespace
