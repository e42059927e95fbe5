// SPDX-License-Identifier: GPL-3.0-or-later
#include "SmallFilesystem.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <random>
#include <sys/mount.h>
#include <unistd.h>
#include <vector>

namespace varrow::testing {

SmallFilesystem::SmallFilesystem(std::size_t bytes) {
    if (::geteuid() != 0) {
        skipReason_ = "needs root to mount a small filesystem that fills up";
        return;
    }
    std::random_device random;
    const auto folder = std::filesystem::temp_directory_path() /
                        ("varrow-small-fs-" + std::to_string(random()) + std::to_string(random()));
    std::error_code error;
    std::filesystem::create_directory(folder, error);
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0777";
    if (error || ::mount("varrow-test", folder.c_str(), "tmpfs", 0, options.c_str()) != 0) {
        skipReason_ =
            "cannot mount a tmpfs of " + std::to_string(bytes) + " bytes: " + std::strerror(errno);
        std::filesystem::remove(folder, error);
        return;
    }
    path_ = folder;
}

SmallFilesystem::~SmallFilesystem() {
    if (path_.empty()) {
        return;
    }
    ::umount2(path_.c_str(), MNT_DETACH);
    std::error_code error;
    std::filesystem::remove(path_, error);
}

void SmallFilesystem::fill() const {
    std::ofstream filler(path_ / "filler", std::ios::binary);
    const std::vector<char> block(4096, 'x');
    while (filler.write(block.data(), static_cast<std::streamsize>(block.size()))) {
        filler.flush();
    }
}

} // namespace varrow::testing
