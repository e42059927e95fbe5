// SPDX-License-Identifier: GPL-3.0-or-later
// A filesystem of a few kilobytes of its own (tmpfs with size=), mounted for
// one test and unmounted after it: a disk that really fills up. Only root
// may mount one; elsewhere a test skips with skipReason().
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace varrow::testing {

class SmallFilesystem final {
public:
    explicit SmallFilesystem(std::size_t bytes);
    ~SmallFilesystem();
    SmallFilesystem(const SmallFilesystem&) = delete;
    SmallFilesystem& operator=(const SmallFilesystem&) = delete;

    // Empty when no filesystem could be mounted: skipReason() says why.
    const std::filesystem::path& path() const { return path_; }
    const std::string& skipReason() const { return skipReason_; }
    // Fills what is left of it with a file of its own.
    void fill() const;

private:
    std::filesystem::path path_;
    std::string skipReason_;
};

} // namespace varrow::testing
