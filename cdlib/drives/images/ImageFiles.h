// SPDX-License-Identifier: GPL-3.0-or-later
// Opening a disc image through libcdio so that it reads the files the image
// names. libcdio reads a cue sheet's audio from the file beside it named
// like the cue sheet with ".bin", whatever its FILE line says, and opens the
// files of a cdrdao TOC relative to the working folder. An image is
// therefore opened through a private folder whose "disc.bin" is a link to
// the data file the cue sheet names, and a TOC through a copy that names its
// files by absolute path. Whatever libcdio says about an image it cannot
// read is kept as the reason.
#pragma once

#include "drives/CdioHandles.h"

#include <filesystem>
#include <memory>
#include <string>

namespace cdlib {

// A folder of this process's own, removed with everything in it.
class TemporaryFolder final {
public:
    // An empty holder when the folder cannot be made.
    static std::unique_ptr<TemporaryFolder> create();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    explicit TemporaryFolder(std::filesystem::path path)
        : path_(std::move(path)) {}
    std::filesystem::path path_;
};

struct OpenedImage {
    // Declared first, so that it goes after the handle that reads through it.
    std::unique_ptr<TemporaryFolder> folder;
    CdioHandle cdio;
    // What was read other than the image said, for its user to know: a
    // data file read in place of a missing one.
    std::string notice;
};

// Opens the image at `path` (a .cue, .toc or .nrg file). Without a handle,
// `problem` says why: a missing image or data file by name, a cue sheet
// that names several data files or one that is not raw audio, or libcdio's
// own message. A cue sheet's missing data file is stood in for by the one
// file beside it whose name differs only in case, else by the one .bin named
// after the cue sheet. CD-Text longer than libcdio reads is cut at a whole
// character.
OpenedImage openImageFiles(const std::string& path, std::string& problem);

} // namespace cdlib
