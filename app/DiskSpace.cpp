// SPDX-License-Identifier: GPL-3.0-or-later
#include "DiskSpace.h"

#include <cerrno>
#include <filesystem>
#include <limits>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <system_error>

namespace varrow {

int64_t volumeFreeBytes(const std::string& folder) {
    struct statvfs volume {};
    if (statvfs(folder.c_str(), &volume) != 0) {
        const int error = errno;
        // Failures of the folder itself are errors the user should see; a
        // file system that keeps its figures to itself only means unknown.
        if (error == EIO || error == EACCES || error == ELOOP || error == ENOENT ||
            error == ENOTDIR || error == ENAMETOOLONG)
            throw std::system_error(error, std::generic_category(), folder);
        return -1;
    }
    const auto blocks = static_cast<unsigned long long>(volume.f_bavail);
    const auto blockSize = static_cast<unsigned long long>(volume.f_frsize);
    if (blockSize != 0 &&
        blocks > static_cast<unsigned long long>(std::numeric_limits<int64_t>::max()) / blockSize)
        return std::numeric_limits<int64_t>::max();
    return static_cast<int64_t>(blocks * blockSize);
}

std::string volumeMountPoint(const std::string& folder) {
    std::error_code error;
    std::filesystem::path path = std::filesystem::canonical(folder, error);
    if (error)
        return {};
    struct stat status {};
    if (stat(path.c_str(), &status) != 0)
        return {};
    const dev_t device = status.st_dev;
    while (path.has_relative_path()) {
        const std::filesystem::path parent = path.parent_path();
        struct stat parentStatus {};
        if (stat(parent.c_str(), &parentStatus) != 0 || parentStatus.st_dev != device)
            break;
        path = parent;
    }
    return path.string();
}

} // namespace varrow
