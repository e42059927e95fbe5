// SPDX-License-Identifier: GPL-3.0-or-later
#include "TagUpdate.h"

#include "CDRIP.h"
#include "FlacMetadata.h"
#include "FlacTags.h"
#include "Id3Tags.h"
#include "OutputFile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kCopyBytes = 256 * 1024;

ECDRIPError cannotUpdate(const std::string& path, int reason) {
    return ECDRIPError("Cannot update the tags of " + path, reason);
}

// The finished file, opened for reading only.
class SourceFile final {
public:
    explicit SourceFile(const std::string& path)
        : path_(path)
        , fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        struct stat status {};
        if (fd_ < 0 || ::fstat(fd_, &status) != 0) {
            const int reason = errno;
            close();
            throw cannotUpdate(path_, reason);
        }
        if (!S_ISREG(status.st_mode)) {
            close();
            throw cannotUpdate(path_, EINVAL);
        }
        size_ = static_cast<uint64_t>(status.st_size);
    }
    ~SourceFile() { close(); }
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;

    uint64_t size() const { return size_; }

    // False when the file ends first or cannot be read.
    bool readAt(uint64_t offset, uint8_t* out, std::size_t size) const {
        while (size > 0) {
            const ssize_t got = ::pread(fd_, out, size, static_cast<off_t>(offset));
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                return false;
            }
            out += got;
            size -= static_cast<std::size_t>(got);
            offset += static_cast<uint64_t>(got);
        }
        return true;
    }

    std::vector<uint8_t> readRange(uint64_t offset, std::size_t size) const {
        std::vector<uint8_t> bytes(size);
        if (!readAt(offset, bytes.data(), size)) {
            throw cannotUpdate(path_, errno != 0 ? errno : EINVAL);
        }
        return bytes;
    }

    // Appends everything from `offset` to the end to `out`.
    void copyTo(OutputFile& out, uint64_t offset) const {
        std::vector<uint8_t> buffer(kCopyBytes);
        while (offset < size_) {
            const auto now =
                static_cast<std::size_t>(std::min<uint64_t>(kCopyBytes, size_ - offset));
            if (!readAt(offset, buffer.data(), now)) {
                throw cannotUpdate(path_, errno != 0 ? errno : EIO);
            }
            out.write(buffer.data(), now);
            offset += now;
        }
    }

private:
    void close() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

    std::string path_;
    int fd_;
    uint64_t size_ = 0;
};

// The first write goes into padding and is flushed before the others, so
// that the header write that follows never reaches the disk without it.
void patchInPlace(const std::string& path, const std::vector<TByteWrite>& writes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        throw cannotUpdate(path, errno);
    }
    const std::unique_ptr<const int, void (*)(const int*)> closer(
        &fd, [](const int* open) { ::close(*open); });
    for (std::size_t at = 0; at < writes.size(); ++at) {
        writeFullyAt(fd, writes[at].bytes.data(), writes[at].bytes.size(), writes[at].offset);
        if (at == 0 && ::fdatasync(fd) != 0) {
            throw ECDRIPError("Write error", errno);
        }
    }
    if (::fdatasync(fd) != 0) {
        throw ECDRIPError("Write error", errno);
    }
}

TTagUpdate rewrite(const std::string& path, const SourceFile& source, std::span<const uint8_t> head,
                   uint64_t restAt) {
    OutputFile out(path);
    out.write(head.data(), head.size());
    source.copyTo(out, restAt);
    out.commit();
    return TTagUpdate::Rewritten;
}

bool sameName(const std::string& a, const std::string& b) {
    return strcasecmp(a.c_str(), b.c_str()) == 0;
}

TTagUpdate updateFlac(const std::string& path, const SourceFile& source,
                      const std::vector<TTagField>& fields) {
    const TFlacReadAt read = [&](uint64_t offset, uint8_t* out, std::size_t size) {
        return source.readAt(offset, out, size);
    };
    const std::vector<TFlacBlock> blocks = readFlacBlocks(read);
    if (blocks.empty()) {
        throw cannotUpdate(path, EINVAL);
    }
    TVorbisComment comment{flacEncoderName(), {}};
    const auto present = std::find_if(blocks.begin(), blocks.end(), [](const TFlacBlock& block) {
        return block.type == FLAC_VORBIS_COMMENT;
    });
    if (present != blocks.end()) {
        const std::optional<TVorbisComment> parsed =
            parseVorbisComment(source.readRange(present->bodyOffset(), present->length));
        if (!parsed) {
            throw cannotUpdate(path, EINVAL);
        }
        comment = *parsed;
    }
    setVorbisFields(comment, fields);
    const std::vector<uint8_t> body = vorbisCommentBody(comment);
    const std::vector<TByteWrite> writes = planCommentSwap(blocks, body);
    if (!writes.empty()) {
        patchInPlace(path, writes);
        return TTagUpdate::InPlace;
    }
    const std::vector<uint8_t> head = rewrittenMetadata(blocks, read, body);
    if (head.empty()) {
        throw cannotUpdate(path, EINVAL);
    }
    return rewrite(path, source, head, blocks.back().end());
}

// New TXXX frames go into the padding when the tag has room and holds none
// of their names yet: the frames after the first header first, then that
// header, until which the padding still starts where it did.
bool addFramesInPlace(const std::string& path, const SourceFile& source, std::size_t tagBytes,
                      const std::vector<TTagField>& fields) {
    const std::vector<uint8_t> tag = source.readRange(0, tagBytes);
    const std::optional<TId3v2Layout> layout = id3v2Layout(tag);
    if (!layout) {
        return false;
    }
    for (const TTagField& field : fields) {
        const bool present =
            std::any_of(layout->userTextNames.begin(), layout->userTextNames.end(),
                        [&](const std::string& held) { return sameName(held, field.first); });
        if (present) {
            return false;
        }
    }
    const std::vector<uint8_t> frames = id3v2UserTextFrames(fields, layout->version);
    if (frames.size() > layout->tagBytes - layout->framesEnd) {
        return false;
    }
    if (!frames.empty()) {
        const auto split = frames.begin() + ID3V2_HEADER_BYTES;
        patchInPlace(path, {{layout->framesEnd + ID3V2_HEADER_BYTES, {split, frames.end()}},
                            {layout->framesEnd, {frames.begin(), split}}});
    }
    return true;
}

TTagUpdate updateMp3(const std::string& path, const SourceFile& source,
                     const std::vector<TTagField>& fields) {
    std::array<uint8_t, ID3V2_HEADER_BYTES> header{};
    const std::size_t tagBytes =
        source.readAt(0, header.data(), header.size()) ? id3v2TagBytes(header) : 0;
    if (tagBytes > source.size()) {
        throw cannotUpdate(path, EINVAL);
    }
    if (tagBytes > 0 && addFramesInPlace(path, source, tagBytes, fields)) {
        return TTagUpdate::InPlace;
    }
    // Any other tag is read and rendered again whole, after TagLib.
    const std::vector<uint8_t> tag = id3v2TagWithUserTexts(source.readRange(0, tagBytes), fields);
    if (tag.empty()) {
        throw cannotUpdate(path, EINVAL);
    }
    return rewrite(path, source, tag, tagBytes);
}

} // namespace

TTagUpdate updateFileTags(const std::string& path, const std::vector<TTagField>& fields) {
    const SourceFile source(path);
    std::array<uint8_t, 4> marker{};
    if (source.readAt(0, marker.data(), marker.size()) &&
        std::string(marker.begin(), marker.end()) == "fLaC") {
        return updateFlac(path, source, fields);
    }
    const bool mp3Name =
        path.size() >= 4 && strcasecmp(path.c_str() + path.size() - 4, ".mp3") == 0;
    if (!mp3Name) {
        throw cannotUpdate(path, EINVAL);
    }
    return updateMp3(path, source, fields);
}
