// The file an extraction writes. Every write either stores all its bytes or
// raises ECDRIPError "Write error", so a full disk or a file-size limit is
// never taken for success. Writes go straight to the file (one system call
// per chunk, no hidden buffer), so a later failure cannot lose earlier data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class OutputFile final {
public:
    // Creates the file or truncates an existing one; raises ECDRIPError
    // "Cannot create file <path>" when the file system refuses.
    explicit OutputFile(const std::string& path);
    // Closes the file if close() was not called; errors are lost here, so
    // every regular way out calls close().
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Appends at the end of what was written so far.
    void write(const void* data, std::size_t size);
    // Overwrites bytes already written (header fields, the MP3 tag frame).
    void writeAt(uint64_t offset, const void* data, std::size_t size);
    // Bytes appended by write().
    uint64_t size() const { return size_; }
    // Raises "Write error" when the system reports a failure at close.
    void close();

private:
    int fd_ = -1;
    uint64_t size_ = 0;
};
