// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes as a disc image's description: a cue sheet when the first
// byte is even, a cdrdao TOC when it is odd, beside a small data file and
// files whose names a cue sheet may miss by case. Opening it must either
// give a reason or a disc whose lead-out follows its last track.
#include "FuzzCheck.h"
#include "drives/CdText.h"
#include "drives/images/ImageDrive.h"
#include "drives/images/ImageFiles.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

const fs::path& folder() {
    static const fs::path path = [] {
        std::string pattern = (fs::temp_directory_path() / "varrow-image-fuzz-XXXXXX").string();
        check(mkdtemp(pattern.data()) != nullptr);
        const fs::path made(pattern);
        // Ten seconds of audio under the names a cue sheet is likely to miss.
        const std::string audio(750 * 2352, '\x11');
        for (const char* name : {"disc.bin", "CDDA.bin", "track.BIN"}) {
            std::ofstream(made / name, std::ios::binary) << audio;
        }
        return made;
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const fs::path descriptor = folder() / (data[0] % 2 == 0 ? "disc.cue" : "disc.toc");
    std::ofstream(descriptor, std::ios::binary)
        .write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));

    std::string problem;
    const cdlib::OpenedImage image = cdlib::openImageFiles(descriptor.string(), problem);
    check(static_cast<bool>(image.cdio) == problem.empty());
    if (image.cdio) {
        if (const auto toc = cdlib::tocOf(image.cdio.get())) {
            check(toc->size() >= 2);
            check(toc->back().StartSector >= (*toc)[toc->size() - 2].StartSector);
        }
        // Whatever the texts hold, they are read without harm.
        (void)cdlib::cdTextOf(image.cdio.get());
    }
    fs::remove(descriptor);
    return 0;
}
