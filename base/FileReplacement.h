// SPDX-License-Identifier: GPL-3.0-or-later
// The one way the program replaces a file: the new bytes go into a
// temporary file in the target's folder, every write, the last flush and
// the sync to disk are checked, and only then is the temporary renamed over
// the target, in one step. On any failure the temporary is removed and the
// target stays byte for byte as it was. Failures are std::system_error
// (the system's error code) or one of FileError.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <system_error>

namespace base {

enum class FileError {
    // The file is read-only: no one may write it, or not this user.
    ReadOnly = 1,
    // A folder, pipe or device stands where a file was expected.
    NotAFile,
    // Larger than any file of its kind; not read whole into memory.
    TooLarge,
};

std::error_code make_error_code(FileError error);

} // namespace base

template <> struct std::is_error_code_enum<base::FileError> : std::true_type {};

namespace base {

// The system calls a replacement makes, each as the system's own (-1 and
// errno on failure); tests hand in calls that fail.
class FileCalls {
public:
    FileCalls() = default;
    FileCalls(const FileCalls&) = delete;
    FileCalls& operator=(const FileCalls&) = delete;
    virtual ~FileCalls() = default;

    virtual int open(const char* path, int flags, mode_t mode) const;
    virtual ssize_t pwrite(int fd, const void* data, std::size_t size, off_t offset) const;
    virtual int fchmod(int fd, mode_t mode) const;
    virtual int fsync(int fd) const;
    virtual int close(int fd) const;
    virtual int rename(const char* from, const char* to) const;
};

// The system's own calls.
const FileCalls& systemFileCalls();

class FileReplacement final {
public:
    // Whether commit() waits until the bytes are on the disk: a settings
    // file must survive a crash right after it was saved; an extraction's
    // files are hundreds of megabytes that the system writes back anyway.
    enum class Sync { ToDisk, Cached };

    // Creates `temporary` (a path in the target's folder) for `target`,
    // exclusively and never through a link there; a file left under that
    // name (by an earlier process of the same number) is removed first.
    // `mode` is given to the new file less the umask.
    FileReplacement(std::string target, std::string temporary, mode_t mode = 0666,
                    const FileCalls& calls = systemFileCalls());
    // Removes the temporary unless it was placed.
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Appends all of `data` after the bytes appended so far. A write that
    // fails, or stores nothing (a full disk), throws; the file is then cut
    // back to the end of the last whole write.
    void write(const void* data, std::size_t size);
    // Overwrites bytes already written.
    void writeAt(uint64_t offset, const void* data, std::size_t size);
    // Bytes appended by write().
    uint64_t size() const { return size_; }
    // Gives the file exactly these permission bits, whatever the umask.
    void setMode(mode_t mode);

    // Flushes (and syncs) and closes the file, then renames it over the
    // target: a symbolic link there is replaced, never followed.
    void commit(Sync sync);
    // Closes the file, checking the close, for a caller that places the
    // temporary its own way (placed()) or throws it away (discard()).
    void close();
    // The caller moved the temporary, or removed it.
    void placed() { placed_ = true; }
    // Closes and removes the temporary.
    void discard();

    const std::string& target() const { return target_; }
    const std::string& temporary() const { return temporary_; }

private:
    const FileCalls& calls_;
    std::string target_;
    std::string temporary_;
    int fd_ = -1;
    uint64_t size_ = 0;
    bool placed_ = false;
};

// Replaces the file at `path` with `text` (see FileReplacement), synced to
// disk. Where `path` is a symbolic link, the file it points to is replaced
// and the link stays. The file keeps its permission bits; a new one gets
// 0666 less the umask. A file that is read-only is left alone:
// FileError::ReadOnly. Returns the failure, or nothing.
std::error_code replaceFileContents(const std::string& path, std::string_view text,
                                    const FileCalls& calls = systemFileCalls());

enum class FileRead { Missing, Read, Failed };

// Reads the file at `path` whole into `text`, when it is a plain file of at
// most `maxBytes` (a pipe could keep the read waiting for ever, a device
// fill memory). `error` says why it could not be.
FileRead readFileText(const std::string& path, std::size_t maxBytes, std::string& text,
                      std::error_code& error);

} // namespace base
