// Arbitrary bytes as a disc image's description: a cue sheet when the first
// byte is even, a cdrdao TOC when it is odd, beside a small data file and
// files whose names a cue sheet may miss by case. Opening it must either
// give a reason or a disc whose table of contents is in order, and whose
// CD-Text is valid UTF-8.
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
#include <string_view>

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

// Well-formed UTF-8: lead bytes with as many continuation bytes as they
// announce (the stricter checks are the library's own tests').
bool validUtf8(std::string_view text) {
    for (size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at]);
        const size_t length = lead < 0x80       ? 1
                              : lead >> 5 == 6  ? 2
                              : lead >> 4 == 14 ? 3
                              : lead >> 3 == 30 ? 4
                                                : 0;
        if (length == 0 || at + length > text.size()) {
            return false;
        }
        for (size_t i = 1; i < length; ++i) {
            if ((static_cast<unsigned char>(text[at + i]) & 0xC0u) != 0x80u) {
                return false;
            }
        }
        at += length;
    }
    return true;
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
            for (size_t i = 1; i < toc->size(); ++i) {
                check((*toc)[i - 1].StartSector <= (*toc)[i].StartSector);
            }
        }
        const cdlib::CdText text = cdlib::cdTextOf(image.cdio.get());
        for (int32_t track = 0; track <= 99; ++track) {
            for (int field = 0; field < CDTEXT_FIELDS; ++field) {
                if (const auto found = text.get(track, static_cast<TCDTextField>(field))) {
                    check(validUtf8(*found));
                }
            }
        }
    }
    fs::remove(descriptor);
    return 0;
}
