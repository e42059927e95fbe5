#include "OutputFile.h"

#include "FileReplacement.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

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
    try {
        file_ = std::make_unique<base::FileReplacement>(path_, temporaryPathFor(path_));
    } catch (const std::system_error& error) {
        throw ECDRIPError("Cannot create file " + path_, error.code().value());
    }
}

OutputFile::~OutputFile() = default;

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
