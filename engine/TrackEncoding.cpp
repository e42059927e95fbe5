// SPDX-License-Identifier: GPL-3.0-or-later
#include "TrackEncoding.h"

#include "OutputFile.h"
#include "TrackWriter.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

// About 1.5 s of CD audio: small enough to notice `stop` promptly.
constexpr std::size_t ENCODE_BLOCK_BYTES = 256 * 1024;
constexpr auto STOP_POLL = std::chrono::milliseconds(50);

} // namespace

class TTrackEncoding::PcmSpool final {
public:
    explicit PcmSpool(const std::string& folder)
        : where_(folder.empty() ? std::string(".") : folder) {
        const std::string& where = where_;
        fd_ = ::open(where.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd_ < 0) {
            // File systems without unnamed files: a named one, unlinked at once.
            std::string name = where + "/.varrow-audio-XXXXXX";
            fd_ = ::mkostemp(name.data(), O_CLOEXEC);
            if (fd_ >= 0) {
                ::unlink(name.c_str());
            }
        }
        if (fd_ < 0) {
            throw ECDRIPError("Cannot create a temporary file in " + where, errno);
        }
    }
    ~PcmSpool() { ::close(fd_); }
    PcmSpool(const PcmSpool&) = delete;
    PcmSpool& operator=(const PcmSpool&) = delete;

    void writeAt(uint64_t offset, const uint8_t* bytes, std::size_t size) {
        while (size > 0) {
            const ssize_t done = ::pwrite(fd_, bytes, size, static_cast<off_t>(offset));
            if (done < 0 && errno == EINTR) {
                continue;
            }
            if (done <= 0) {
                // Said as such: on a small disk it is this audio, not the
                // track's file, that needed the room.
                throw ECDRIPError("Cannot write the temporary audio in " + where_,
                                  done < 0 ? errno : ENOSPC);
            }
            bytes += done;
            size -= static_cast<std::size_t>(done);
            offset += static_cast<uint64_t>(done);
        }
    }

    void readAt(uint64_t offset, uint8_t* bytes, std::size_t size) {
        while (size > 0) {
            const ssize_t done = ::pread(fd_, bytes, size, static_cast<off_t>(offset));
            if (done < 0 && errno == EINTR) {
                continue;
            }
            if (done <= 0) {
                throw ECDRIPError("Read error", done < 0 ? errno : EIO);
            }
            bytes += done;
            size -= static_cast<std::size_t>(done);
            offset += static_cast<uint64_t>(done);
        }
    }

private:
    std::string where_;
    int fd_ = -1;
};

TTrackEncoding::TTrackEncoding(std::unique_ptr<TrackWriter> writer, const std::string& path)
    : writer_(std::move(writer)) {
    file_ = std::make_unique<OutputFile>(path);
    const std::size_t slash = path.rfind('/');
    spool_ = std::make_unique<PcmSpool>(slash == std::string::npos ? std::string()
                                                                   : path.substr(0, slash));
    writer_->start(*file_);
}

TTrackEncoding::~TTrackEncoding() = default;

void TTrackEncoding::append(const uint8_t* pcm, std::size_t bytes) {
    {
        // An encoding that failed early needs no more audio.
        std::lock_guard lock(mutex_);
        if (encoderDone_) {
            return;
        }
    }
    // Only this thread writes, and only beyond what the encoder may read.
    spool_->writeAt(appended_, pcm, bytes);
    {
        std::lock_guard lock(mutex_);
        appended_ += bytes;
    }
    changed_.notify_one();
}

void TTrackEncoding::endOfAudio(TAudioEnd end) {
    {
        std::lock_guard lock(mutex_);
        ended_ = true;
        end_ = end;
    }
    changed_.notify_one();
}

TEncodingResult TTrackEncoding::run(const std::atomic<bool>& stop) {
    TEncodingResult result;
    const auto fail = [&result] {
        if (!result.error) {
            result.error = std::current_exception();
        }
    };
    uint64_t encoded = 0;
    TAudioEnd readEnd = TAudioEnd::Short;
    try {
        std::vector<uint8_t> block(ENCODE_BLOCK_BYTES);
        for (;;) {
            uint64_t available = 0;
            bool ended = false;
            {
                std::unique_lock lock(mutex_);
                changed_.wait_for(lock, STOP_POLL,
                                  [&] { return appended_ > encoded || ended_ || stop.load(); });
                available = appended_;
                ended = ended_;
                readEnd = end_;
            }
            if (stop.load()) {
                result.stopped = true;
                break;
            }
            if (available == encoded) {
                if (ended) {
                    break;
                }
                continue;
            }
            const auto size =
                static_cast<std::size_t>(std::min<uint64_t>(available - encoded, block.size()));
            spool_->readAt(encoded, block.data(), size);
            writer_->write(block.data(), size);
            encoded += size;
        }
        writer_->finish(readEnd == TAudioEnd::Whole && !result.stopped);
    } catch (...) {
        fail();
    }
    const bool complete = readEnd == TAudioEnd::Whole && !result.stopped && !result.error;
    const bool worthKeeping = encoded > 0 && readEnd != TAudioEnd::NoneFromDisc;
    try {
        result.outcome = complete       ? file_->commit()
                         : worthKeeping ? file_->keep()
                                        : file_->abandon();
        if (result.outcome == TOutputOutcome::Written) {
            writer_->placed();
        }
    } catch (...) {
        fail();
    }
    writer_.reset();
    file_.reset();
    std::lock_guard lock(mutex_);
    encoderDone_ = true;
    return result;
}
