// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileReplacement.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace base {

namespace {

class FileErrorCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "varrow file"; }
    std::string message(int condition) const override {
        switch (static_cast<FileError>(condition)) {
        case FileError::ReadOnly:
            return "the file is read-only";
        case FileError::NotAFile:
            return "it is not a file";
        case FileError::TooLarge:
            return "it is too large";
        }
        return "unknown error";
    }
};

[[noreturn]] void fail(int error) {
    throw std::system_error(error, std::generic_category());
}

// A file is read-only when no one may write it, or this user may not: the
// folder's permission alone would let a rename replace it all the same.
bool readOnly(const struct stat& status, const std::string& path) {
    if ((status.st_mode & 0222) == 0) {
        return true;
    }
    return ::access(path.c_str(), W_OK) != 0 && (errno == EACCES || errno == EROFS);
}

// `path` itself, or the file a symbolic link there points to: the link
// stays a link when the file is replaced.
std::string targetOf(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_symlink(path, error)) {
        return path;
    }
    const auto target = std::filesystem::weakly_canonical(path, error);
    return error ? path : target.string();
}

std::string temporaryBeside(const std::string& path) {
    const std::filesystem::path target(path);
    const std::string name =
        "." + target.filename().string() + ".varrow-" + std::to_string(::getpid()) + ".tmp";
    return (target.parent_path() / name).string();
}

} // namespace

std::error_code make_error_code(FileError error) {
    static const FileErrorCategory category;
    return {static_cast<int>(error), category};
}

int FileCalls::open(const char* path, int flags, mode_t mode) const {
    return ::open(path, flags, mode);
}

ssize_t FileCalls::pwrite(int fd, const void* data, std::size_t size, off_t offset) const {
    return ::pwrite(fd, data, size, offset);
}

int FileCalls::fchmod(int fd, mode_t mode) const {
    return ::fchmod(fd, mode);
}

int FileCalls::fsync(int fd) const {
    return ::fsync(fd);
}

int FileCalls::close(int fd) const {
    return ::close(fd);
}

int FileCalls::rename(const char* from, const char* to) const {
    return ::rename(from, to);
}

const FileCalls& systemFileCalls() {
    static const FileCalls calls;
    return calls;
}

FileReplacement::FileReplacement(std::string target, std::string temporary, mode_t mode,
                                 const FileCalls& calls)
    : calls_(calls)
    , target_(std::move(target))
    , temporary_(std::move(temporary)) {
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW;
    fd_ = calls_.open(temporary_.c_str(), flags, mode);
    if (fd_ < 0 && errno == EEXIST && ::unlink(temporary_.c_str()) == 0) {
        fd_ = calls_.open(temporary_.c_str(), flags, mode);
    }
    if (fd_ < 0) {
        fail(errno);
    }
}

FileReplacement::~FileReplacement() {
    if (fd_ >= 0) {
        calls_.close(fd_);
    }
    if (!placed_) {
        ::unlink(temporary_.c_str());
    }
}

void FileReplacement::writeAt(uint64_t offset, const void* data, std::size_t size) {
    if (fd_ < 0) {
        fail(EBADF);
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t stored = calls_.pwrite(fd_, bytes, size, static_cast<off_t>(offset));
        if (stored < 0 && errno == EINTR) {
            continue;
        }
        if (stored <= 0) {
            fail(stored < 0 ? errno : ENOSPC);
        }
        bytes += stored;
        size -= static_cast<std::size_t>(stored);
        offset += static_cast<uint64_t>(stored);
    }
}

void FileReplacement::write(const void* data, std::size_t size) {
    try {
        writeAt(size_, data, size);
    } catch (const std::system_error&) {
        // A torn write leaves nothing behind the last whole one.
        if (fd_ >= 0 && ::ftruncate(fd_, static_cast<off_t>(size_)) != 0) {
            // The error already being raised says more.
        }
        throw;
    }
    size_ += size;
}

void FileReplacement::setMode(mode_t mode) {
    if (fd_ < 0 || calls_.fchmod(fd_, mode) != 0) {
        fail(fd_ < 0 ? EBADF : errno);
    }
}

void FileReplacement::close() {
    if (fd_ < 0) {
        return;
    }
    const int fd = std::exchange(fd_, -1);
    // Linux releases the descriptor even when close reports an error, so it
    // is never closed twice; an interrupted close has still written.
    if (calls_.close(fd) != 0 && errno != EINTR) {
        fail(errno);
    }
}

void FileReplacement::discard() {
    close();
    ::unlink(temporary_.c_str());
    placed_ = true;
}

void FileReplacement::commit(Sync sync) {
    if (sync == Sync::ToDisk && fd_ >= 0 && calls_.fsync(fd_) != 0) {
        fail(errno);
    }
    close();
    if (calls_.rename(temporary_.c_str(), target_.c_str()) != 0) {
        fail(errno);
    }
    placed_ = true;
}

std::error_code replaceFileContents(const std::string& path, std::string_view text,
                                    const FileCalls& calls) {
    const std::string target = targetOf(path);
    struct stat status {};
    mode_t mode = 0;
    if (::stat(target.c_str(), &status) == 0) {
        if (!S_ISREG(status.st_mode)) {
            return FileError::NotAFile;
        }
        if (readOnly(status, target)) {
            return FileError::ReadOnly;
        }
        mode = status.st_mode & 07777;
    } else if (errno == ENOENT) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    } else {
        return {errno, std::generic_category()};
    }
    try {
        FileReplacement file(target, temporaryBeside(target), 0600, calls);
        file.write(text.data(), text.size());
        file.setMode(mode);
        file.commit(FileReplacement::Sync::ToDisk);
    } catch (const std::system_error& error) {
        return error.code();
    }
    return {};
}

FileRead readFileText(const std::string& path, std::size_t maxBytes, std::string& text,
                      std::error_code& error) {
    text.clear();
    error.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT) {
            return FileRead::Missing;
        }
        error = {errno, std::generic_category()};
        return FileRead::Failed;
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        error = {errno, std::generic_category()};
        return FileRead::Failed;
    }
    if (!S_ISREG(status.st_mode)) {
        error = FileError::NotAFile;
        return FileRead::Failed;
    }
    if (static_cast<uintmax_t>(status.st_size) > maxBytes) {
        error = FileError::TooLarge;
        return FileRead::Failed;
    }
    text.resize(static_cast<std::size_t>(status.st_size));
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t got = ::read(fd, text.data() + done, text.size() - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            error = {errno, std::generic_category()};
            return FileRead::Failed;
        }
        if (got == 0) {
            break; // the file shrank under us: what is there is the file
        }
        done += static_cast<std::size_t>(got);
    }
    text.resize(done);
    return FileRead::Read;
}

} // namespace base
