// SPDX-License-Identifier: GPL-3.0-or-later
// The file an extraction writes. It is written under a hidden name of its
// own in the target folder (".<name>.varrow-<pid>.part"), so that a failed
// or interrupted track cannot spoil the file it was to replace and two
// programs writing the same name cannot mix their bytes; it appears under
// its final name in one step, or not at all. The temporary file is locked
// (flock) while it is written, so that a later program can tell a leftover
// from a file being written.
//
// Every write either stores all its bytes or raises ECDRIPError "Write
// error" (with the system's reason) after cutting the file back to the end
// of the last whole write, so a full disk or a file-size limit is never
// taken for success and what was written stays whole. Writes go straight
// to the file (one system call per chunk, no hidden buffer).
#pragma once

#include "ByteSink.h"
#include "CDRIP.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace base {
class FileReplacement;
}

class OutputFile final : public TByteSink {
public:
    // Creates the temporary file beside `path`; raises ECDRIPError "Cannot
    // create file <path>" when the file system refuses, or when a folder
    // stands under the final name.
    explicit OutputFile(std::string path);
    // Removes the temporary file unless commit() or keep() placed it.
    ~OutputFile() override;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Appends at the end of what was written so far.
    void write(const void* data, std::size_t size) override;
    // Overwrites bytes already written (header fields, the MP3 tag frame).
    void writeAt(uint64_t offset, const void* data, std::size_t size) override;
    // Bytes appended by write().
    uint64_t size() const override;
    // The file's final name.
    const std::string& path() const { return path_; }

    // The track is complete: the file replaces whatever is under the final
    // name (a symbolic link there is replaced, never followed).
    TOutputOutcome commit();
    // The track ended early: the file takes the final name only when
    // nothing is there; otherwise it is removed and what is there stays.
    TOutputOutcome keep();
    // The track made nothing worth keeping: the file is removed, and what
    // is under the final name stays.
    TOutputOutcome abandon();

private:
    // Closes the file; raises "Write error" when the system reports a failure.
    void close();
    void discard();
    // The temporary file is gone or placed: no lock, no slot to clean.
    void release();

    std::string path_;
    std::unique_ptr<base::FileReplacement> file_;
    // A second descriptor of the temporary file that holds its lock until
    // the file is placed, so that a later program keeps it while this one
    // writes it.
    int lockFd_ = -1;
    // Where the interrupt cleanup finds the temporary file; -1 for none.
    int slot_ = -1;
};

// pwrite() until every byte is stored at `offset` of the open file `fd`; a
// write that stores nothing or fails (disk full, file-size limit, I/O
// error) raises ECDRIPError "Write error" with the system's reason.
void writeFullyAt(int fd, const void* data, std::size_t size, uint64_t offset);

// Removes from `folder` the temporary files of tracks that programs no
// longer running left behind: hidden ".<name>.varrow-<pid>.part" files of a
// process that does not exist, which nobody holds locked. Others' files and
// this process's own stay.
void RemoveStaleTemporaryFiles(const std::string& folder);

// Removes the temporary files of this process's tracks being written, as
// far as it can. For a program about to end on a signal: it only unlinks,
// so it is safe inside a signal handler.
void RemoveTemporaryFilesNow();
