// SPDX-License-Identifier: GPL-3.0-or-later
#include "OutputFile.h"

#include "FileReplacement.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The temporary files this process is writing, for a cleanup from a signal
// handler: fixed slots, taken and given back with atomic operations alone.
enum SlotState : int { SLOT_FREE, SLOT_FILLING, SLOT_READY, SLOT_CLEANED };
struct TemporarySlot {
    std::atomic<int> state = SLOT_FREE;
    std::array<char, PATH_MAX> path{};
};
static_assert(std::atomic<int>::is_always_lock_free, "read from a signal handler");
// Tracks in flight at once stay well below this; a file without a slot is
// still removed on every other way out.
std::array<TemporarySlot, 128> temporarySlots;

int takeSlot(const std::string& path) {
    if (path.size() >= PATH_MAX) {
        return -1;
    }
    for (std::size_t slot = 0; slot < temporarySlots.size(); ++slot) {
        int expected = SLOT_FREE;
        if (temporarySlots[slot].state.compare_exchange_strong(expected, SLOT_FILLING)) {
            std::memcpy(temporarySlots[slot].path.data(), path.c_str(), path.size() + 1);
            temporarySlots[slot].state.store(SLOT_READY);
            return static_cast<int>(slot);
        }
    }
    return -1;
}

// A slot the cleanup took stays taken: the program is ending.
void giveSlotBack(int slot) {
    if (slot >= 0) {
        int expected = SLOT_READY;
        temporarySlots[static_cast<std::size_t>(slot)].state.compare_exchange_strong(expected,
                                                                                     SLOT_FREE);
    }
}

// The process number in ".<name>.varrow-<pid>.part", 0 for any other name.
pid_t writerOf(const std::string& name) {
    static const std::string marker = ".varrow-";
    static const std::string suffix = ".part";
    const std::size_t at = name.rfind(marker);
    if (name.size() < 2 || name[0] != '.' || at == std::string::npos || at == 0 ||
        !name.ends_with(suffix) || at + marker.size() >= name.size() - suffix.size()) {
        return 0;
    }
    pid_t pid = 0;
    for (std::size_t digit = at + marker.size(); digit < name.size() - suffix.size(); ++digit) {
        if (name[digit] < '0' || name[digit] > '9' || pid > 99999999) {
            return 0;
        }
        pid = pid * 10 + (name[digit] - '0');
    }
    return pid;
}

const char* const WRITE_ERROR = "Write error";

// ".<name>.varrow-<pid>.part" beside `path`, the name shortened so that the
// whole stays within the file system's limit for one name.
std::string temporaryPathFor(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string suffix = ".varrow-" + std::to_string(::getpid()) + ".part";
    constexpr std::size_t kLongestName = NAME_MAX;
    if (1 + name.size() + suffix.size() > kLongestName) {
        name.resize(kLongestName - 1 - suffix.size());
    }
    return folder + "." + name + suffix;
}

bool somethingAt(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

} // namespace

void writeFullyAt(int fd, const void* data, std::size_t size, uint64_t offset) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t stored = ::pwrite(fd, bytes, size, static_cast<off_t>(offset));
        if (stored < 0 && errno == EINTR) {
            continue;
        }
        if (stored <= 0) {
            throw ECDRIPError(WRITE_ERROR, stored < 0 ? errno : ENOSPC);
        }
        bytes += stored;
        size -= static_cast<std::size_t>(stored);
        offset += static_cast<uint64_t>(stored);
    }
}

OutputFile::OutputFile(std::string path)
    : path_(std::move(path)) {
    struct stat status {};
    if (::lstat(path_.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
        throw ECDRIPError("Cannot create file " + path_, EISDIR);
    }
    // A file left under this name by an earlier program with the same
    // process number is ours to replace; a link there is removed, not
    // followed.
    const std::string temporary = temporaryPathFor(path_);
    slot_ = takeSlot(temporary);
    try {
        file_ = std::make_unique<base::FileReplacement>(path_, temporary);
    } catch (const std::system_error& error) {
        giveSlotBack(slot_);
        throw ECDRIPError("Cannot create file " + path_, error.code().value());
    }
    // The lock lives with a descriptor of its own, so that closing the one
    // written through (which reports a failed write) leaves it held until
    // the file is placed. Without it a later program only keeps the file
    // while this process runs.
    const int lockFd = ::open(temporary.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (lockFd >= 0 && ::flock(lockFd, LOCK_EX | LOCK_NB) == 0) {
        lockFd_ = lockFd;
    } else if (lockFd >= 0) {
        ::close(lockFd);
    }
}

OutputFile::~OutputFile() {
    // The replacement removes a temporary file that was not placed.
    file_.reset();
    release();
}

void OutputFile::release() {
    if (lockFd_ >= 0) {
        ::close(lockFd_);
        lockFd_ = -1;
    }
    giveSlotBack(slot_);
    slot_ = -1;
}

void OutputFile::write(const void* data, std::size_t size) {
    try {
        file_->write(data, size);
    } catch (const std::system_error& error) {
        throw ECDRIPError(WRITE_ERROR, error.code().value());
    }
}

void OutputFile::writeAt(uint64_t offset, const void* data, std::size_t size) {
    try {
        file_->writeAt(offset, data, size);
    } catch (const std::system_error& error) {
        throw ECDRIPError(WRITE_ERROR, error.code().value());
    }
}

uint64_t OutputFile::size() const {
    return file_->size();
}

void OutputFile::close() {
    try {
        file_->close();
    } catch (const std::system_error& error) {
        throw ECDRIPError(WRITE_ERROR, error.code().value());
    }
}

void OutputFile::discard() {
    close();
    file_->discard();
    release();
}

TOutputOutcome OutputFile::commit() {
    close();
    // A rip writes hundreds of megabytes: the system writes them back in its
    // own time rather than track by track.
    try {
        file_->commit(base::FileReplacement::Sync::Cached);
    } catch (const std::system_error& error) {
        throw ECDRIPError("Cannot create file " + path_, error.code().value());
    }
    release();
    return TOutputOutcome::Written;
}

TOutputOutcome OutputFile::abandon() {
    discard();
    return somethingAt(path_) ? TOutputOutcome::ExistingKept : TOutputOutcome::None;
}

TOutputOutcome OutputFile::keep() {
    close();
    // The file takes the name only where nothing is, so a file another
    // program put there meanwhile is not replaced either.
    const std::string& temporary = file_->temporary();
    int reason = 0;
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path_.c_str(), RENAME_NOREPLACE) == 0) {
        file_->placed();
        release();
        return TOutputOutcome::Partial;
    }
    reason = errno;
    if (reason == EINVAL || reason == ENOSYS) {
        // A file system that cannot refuse to replace: a second name, then
        // the first one removed.
        reason = ::link(temporary.c_str(), path_.c_str()) == 0 ? 0 : errno;
        if (reason == 0) {
            discard();
            return TOutputOutcome::Partial;
        }
    }
    discard();
    if (reason == EEXIST || somethingAt(path_)) {
        return TOutputOutcome::ExistingKept;
    }
    throw ECDRIPError("Cannot create file " + path_, reason);
}

void RemoveStaleTemporaryFiles(const std::string& folder) {
    std::error_code error;
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        const pid_t writer = writerOf(entry->path().filename().string());
        // A process that cannot be asked (EPERM) runs all the same.
        if (writer <= 0 || writer == ::getpid() || ::kill(writer, 0) == 0 || errno != ESRCH) {
            continue;
        }
        const std::string path = entry->path().string();
        const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        // Only a regular file that nobody holds locked, still under its name.
        struct stat opened {};
        struct stat named {};
        if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::lstat(path.c_str(), &named) == 0 &&
            named.st_ino == opened.st_ino && named.st_dev == opened.st_dev) {
            ::unlink(path.c_str());
        }
        ::close(fd);
    }
}

void RemoveTemporaryFilesNow() {
    for (TemporarySlot& slot : temporarySlots) {
        int expected = SLOT_READY;
        if (slot.state.compare_exchange_strong(expected, SLOT_CLEANED)) {
            ::unlink(slot.path.data());
        }
    }
}
