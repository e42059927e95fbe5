#include "OutputFile.h"

#include "CDRIP.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

const char* const WRITE_ERROR = "Write error";

// pwrite() until every byte is stored; a write that stores nothing or fails
// (disk full, file-size limit, I/O error) ends it.
void writeFully(int fd, const void* data, std::size_t size, uint64_t offset) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t stored = ::pwrite(fd, bytes, size, static_cast<off_t>(offset));
        if (stored < 0 && errno == EINTR) {
            continue;
        }
        if (stored <= 0) {
            throw ECDRIPError(WRITE_ERROR);
        }
        bytes += stored;
        size -= static_cast<std::size_t>(stored);
        offset += static_cast<uint64_t>(stored);
    }
}

} // namespace

OutputFile::OutputFile(const std::string& path)
    : fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)) {
    if (fd_ < 0) {
        throw ECDRIPError("Cannot create file " + path);
    }
}

OutputFile::~OutputFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void OutputFile::write(const void* data, std::size_t size) {
    if (fd_ < 0) {
        throw ECDRIPError(WRITE_ERROR);
    }
    writeFully(fd_, data, size, size_);
    size_ += size;
}

void OutputFile::writeAt(uint64_t offset, const void* data, std::size_t size) {
    if (fd_ < 0) {
        throw ECDRIPError(WRITE_ERROR);
    }
    writeFully(fd_, data, size, offset);
}

void OutputFile::close() {
    if (fd_ < 0) {
        return;
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) {
        throw ECDRIPError(WRITE_ERROR);
    }
}
