// SPDX-License-Identifier: GPL-3.0-or-later
// Replacing a file: whatever fails, the old file stays byte for byte and no
// temporary is left; a read-only file is never replaced.
#include "FileReplacement.h"
#include "SmallFilesystem.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <sstream>
#include <vector>

namespace {

namespace fs = std::filesystem;

enum class Call { None, Open, Write, Fchmod, Fsync, Close, Rename };

// System calls of which one fails the way a full disk, a dying disk or a
// network filesystem makes it fail.
struct Failure {
    const char* name;
    Call call;
    int error;
    // Writes: how many (short) calls succeed first; whether the failing one
    // stores nothing instead; what is reported (0: the replacement succeeds).
    int succeedFirst = 0;
    bool storesNothing = false;
    int expected = error;
};

class FailingCalls final : public base::FileCalls {
public:
    explicit FailingCalls(const Failure& failure)
        : failure_(failure) {}

    int open(const char* path, int flags, mode_t mode) const override {
        return failsNow(Call::Open) ? -1 : FileCalls::open(path, flags, mode);
    }
    ssize_t pwrite(int fd, const void* data, std::size_t size, off_t offset) const override {
        if (failure_.call == Call::Write && failure_.succeedFirst == writes_++) {
            errno = failure_.error;
            return failure_.storesNothing ? 0 : -1;
        }
        return FileCalls::pwrite(fd, data, size > 1 ? size / 2 : size, offset);
    }
    int fchmod(int fd, mode_t mode) const override {
        return failsNow(Call::Fchmod) ? -1 : FileCalls::fchmod(fd, mode);
    }
    int fsync(int fd) const override { return failsNow(Call::Fsync) ? -1 : FileCalls::fsync(fd); }
    int close(int fd) const override {
        // The descriptor goes whatever close reports, as on Linux.
        const int result = FileCalls::close(fd);
        return failsNow(Call::Close) ? -1 : result;
    }
    int rename(const char* from, const char* to) const override {
        return failsNow(Call::Rename) ? -1 : FileCalls::rename(from, to);
    }

private:
    bool failsNow(Call call) const {
        if (failure_.call != call) {
            return false;
        }
        errno = failure_.error;
        return true;
    }

    Failure failure_;
    mutable int writes_ = 0;
};

const Failure kFailures[] = {
    {"nothing fails", Call::None, 0},
    {"the temporary cannot be created", Call::Open, EACCES},
    {"the disk is full at the first write", Call::Write, ENOSPC},
    {"the disk is full in the middle", Call::Write, ENOSPC, 3},
    {"a write stores nothing", Call::Write, 0, 2, true, ENOSPC},
    {"the disk fails in the middle", Call::Write, EIO, 1},
    {"an interrupted write goes on", Call::Write, EINTR, 1, false, 0},
    {"the permissions cannot be set", Call::Fchmod, EPERM},
    {"the flush to disk fails", Call::Fsync, EIO},
    {"a network filesystem reports the write-back at close", Call::Close, EDQUOT},
    {"the rename fails", Call::Rename, EXDEV},
};

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeAll(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

fs::path freshFolder() {
    std::random_device random;
    const fs::path folder =
        fs::temp_directory_path() /
        ("varrow-replace-" + std::to_string(random()) + std::to_string(random()));
    fs::create_directories(folder);
    return folder;
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

// Every failure, with and without a file to replace.
using ReplaceCase = std::tuple<Failure, bool>;
const std::string kOld = "[OLD]\r\nKEY=1\r\n";

class Replacing : public ::testing::TestWithParam<ReplaceCase> {
protected:
    void TearDown() override { fs::remove_all(folder_); }
    const fs::path folder_ = freshFolder();
};

TEST_P(Replacing, LeavesTheOldFileWholeOrTheNewOneAndNoTemporary) {
    const auto& [failure, old] = GetParam();
    const fs::path path = folder_ / "Varrow.INI";
    if (old) {
        writeAll(path, kOld);
    }
    const std::string text(100000, 'n');

    const std::error_code error =
        base::replaceFileContents(path.string(), text, FailingCalls(failure));

    EXPECT_EQ(error.value(), failure.expected) << error.message();
    if (failure.expected == 0) {
        EXPECT_EQ(readAll(path), text);
    } else if (old) {
        EXPECT_EQ(readAll(path), kOld);
    } else {
        EXPECT_FALSE(fs::exists(path));
    }
    EXPECT_EQ(namesIn(folder_).size(), old || failure.expected == 0 ? 1u : 0u)
        << "a temporary was left";
}

INSTANTIATE_TEST_SUITE_P(EveryFailure, Replacing,
                         ::testing::Combine(::testing::ValuesIn(kFailures), ::testing::Bool()),
                         [](const auto& info) {
                             std::string name = std::get<0>(info.param).name;
                             std::ranges::replace_if(
                                 name, [](unsigned char c) { return !std::isalnum(c); }, '_');
                             return name + (std::get<1>(info.param) ? "_over_a_file" : "_new");
                         });

TEST(ReplacingWhatIsThere, ReadOnlyFilesStayLinksStayAndFoldersAreNoFiles) {
    const fs::path folder = freshFolder();
    const struct {
        const char* name;
        mode_t mode;
        bool link;
        std::error_code expected;
    } cases[] = {
        {"a file no one may write", 0444, false, base::FileError::ReadOnly},
        {"a file only its owner may read", 0400, false, base::FileError::ReadOnly},
        {"an ordinary file", 0644, false, {}},
        {"a file only its owner may write", 0200, false, {}},
        {"a link to an ordinary file", 0640, true, {}},
        {"a link to a read-only file", 0444, true, base::FileError::ReadOnly},
    };
    for (const auto& c : cases) {
        const fs::path file = folder / "real.INI";
        const fs::path path = c.link ? folder / "Varrow.INI" : file;
        writeAll(file, "old\n");
        fs::permissions(file, static_cast<fs::perms>(c.mode));
        if (c.link) {
            fs::create_symlink(file.filename(), path);
        }

        EXPECT_EQ(base::replaceFileContents(path.string(), "new\n"), c.expected) << c.name;

        fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
        EXPECT_EQ(readAll(file), c.expected ? "old\n" : "new\n") << c.name;
        if (c.link) {
            EXPECT_TRUE(fs::is_symlink(path)) << c.name << ": the link stays a link";
        }
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    fs::create_directory(folder / "Varrow.INI");
    EXPECT_EQ(base::replaceFileContents((folder / "Varrow.INI").string(), "new\n"),
              base::FileError::NotAFile);
    fs::remove_all(folder);
}

TEST(ReplacingOnAFullDisk, TheOldFileStaysByteForByte) {
    const varrow::testing::SmallFilesystem disk(64 * 1024);
    if (disk.path().empty())
        GTEST_SKIP() << disk.skipReason();
    const fs::path path = disk.path() / "Varrow.INI";
    const std::string old = "[OPTIONS]\r\n; kept\r\nHINTS=0\r\n";
    writeAll(path, old);
    disk.fill();

    const std::error_code error = base::replaceFileContents(path.string(), std::string(8192, 'n'));

    EXPECT_EQ(error, std::errc::no_space_on_device) << error.message();
    EXPECT_EQ(readAll(path), old);
    fs::remove(disk.path() / "filler");
    EXPECT_EQ(namesIn(disk.path()), std::vector<std::string>{"Varrow.INI"});
}

} // namespace
