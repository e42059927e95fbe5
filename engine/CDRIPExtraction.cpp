// SPDX-License-Identifier: GPL-3.0-or-later
// TCDRIP's extraction of a sector range into a PCM, WAV, MP3 or FLAC file.
#include "CDRIP.h"
#include "FlacWriter.h"
#include "LameCoder.h"
#include "Mp3Writer.h"
#include "OutputFile.h"
#include "TrackEncoding.h"
#include "WavHeader.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <utility>

namespace {

const char* const INVALID_PARAMETERS = "TCDRIP.RipSectors: Invalid CD-ROM parameters";
const char* const CODER_PREPARE_ERROR = "TCDRIP.RipSectors: Lame coder prepare error";

// Bytes per millisecond of 16-bit stereo audio at 44100 Hz: the speed of
// real-time CD playback.
constexpr long double REAL_TIME_BYTES_PER_MS = 176.4L;
constexpr int64_t SPEED_UPDATE_INTERVAL_MS = 1000;

void processPendingInput() {
    if (engineHooks().processMessages) {
        engineHooks().processMessages();
    }
}

std::chrono::steady_clock::time_point now() {
    return engineHooks().now ? engineHooks().now() : std::chrono::steady_clock::now();
}

bool leavesFolder(const std::string& name) {
    return name.find('/') != std::string::npos || name == "." || name == "..";
}

} // namespace

struct TCDRIP::RipState {
    int32_t chunkBytes = 0; // B: the most the library delivers per chunk
    bool rangeOpen = false;
    bool loopStarted = false;
    // The library reads the abort indicator of a range until the range is
    // closed, from its reader thread too: this one lives as long.
    int32_t unsetAbortIndicator = CR_FALSE;
    // The library delivered the whole range: the loop ended on its last
    // chunk, not on an abort.
    bool rangeCompleted = false;
    int32_t startSector = 0;
    // Audio bytes that reached the file (or the encoding).
    uint64_t audioBytesWritten = 0;

    std::unique_ptr<uint8_t[]> readBuffer;
    // The MP3 or FLAC stream, until an encoding handed off takes it.
    std::unique_ptr<TrackWriter> writer;
    std::shared_ptr<TTrackEncoding> encoding;
    // The tags of an MP3 or FLAC file, until its writer takes them.
    std::optional<TTrackTags> tags;

    AudioFormat format;
    std::optional<OutputFile> file;
    bool wavHeaderWritten = false;

    int64_t jitterChunks = 0;
    uint64_t bytesSinceSpeedUpdate = 0;
    std::chrono::steady_clock::time_point lastSpeedUpdate;
    long double speed = 0;
};

std::string OutputFileName(const std::string& fileName, bool encode) {
    if (!encode) {
        return fileName;
    }
    const std::size_t slash = fileName.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = fileName.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot >= nameStart;
    return (hasExtension ? fileName.substr(0, dot) : fileName) + ".mp3";
}

void TCDRIP::RipTrack(int32_t trackNum, const std::string& fileName) {
    ripTrackTo(trackNum, fileName, false);
}

void TCDRIP::RipTrack(int32_t trackNum, const std::string& folder, const std::string& name) {
    ripTrackTo(trackNum, folder + name, leavesFolder(name));
}

void TCDRIP::ripTrackTo(int32_t trackNum, const std::string& path, bool nameLeavesFolder) {
    if (TrackByNumber(trackNum) == nullptr) {
        throw ECDRIPError("TCDRIP.RipTrack: no track " + std::to_string(trackNum));
    }
    const auto number = static_cast<uint16_t>(trackNum);
    if (OnBeginTrack) {
        OnBeginTrack(*this, number);
    }
    const TTrack* track = TrackByNumber(trackNum);
    if (track == nullptr) {
        throw ECDRIPError("TCDRIP.RipTrack: no track " + std::to_string(trackNum));
    }
    const auto audio = [](const TTrackEntry& entry) {
        return entry.Track.TrackType == "Audio";
    };
    const auto firstAudio = std::find_if(tracks_.begin(), tracks_.end(), audio);
    const auto lastAudio = std::find_if(tracks_.rbegin(), tracks_.rend(), audio);
    const DiscEdges edges{firstAudio != tracks_.end() && firstAudio->Track.Number == trackNum,
                          lastAudio != tracks_.rend() && lastAudio->Track.Number == trackNum};
    ripToFile(track->StartSector, track->EndSector, path, nameLeavesFolder, edges);
    if (OnEndTrack) {
        OnEndTrack(*this, number);
    }
}

void TCDRIP::RipSectors(int32_t startSector, int32_t endSector, std::string fileName) {
    ripToFile(startSector, endSector, std::move(fileName), false, DiscEdges{});
}

void TCDRIP::RipSectors(int32_t startSector, int32_t endSector, const std::string& folder,
                        std::string name) {
    ripToFile(startSector, endSector, folder + name, leavesFolder(name), DiscEdges{});
}

void TCDRIP::showPlainMessage(const std::string& text) {
    lastMessage_ = text;
    if (engineHooks().showMessage) {
        engineHooks().showMessage(text);
    }
}

void TCDRIP::ripToFile(int32_t startSector, int32_t endSector, std::string path,
                       bool nameLeavesFolder, DiscEdges edges) {
    lastOutcome_ = TOutputOutcome::None;
    rangeOpened_ = false;
    lastMessage_.clear();
    lastChecksums_.reset();
    lostSectors_ = 0;
    silencedSamples_ = 0;
    lostRanges_.clear();
    if (!ApplyParameters()) {
        showPlainMessage(INVALID_PARAMETERS);
        return;
    }
    aborted_ = false;

    RipState state;
    state.tags = std::exchange(trackTags_, std::nullopt);
    if (CR_OpenRipper(&state.chunkBytes, startSector, endSector) == CR_ERROR) {
        return;
    }
    state.rangeOpen = true;
    rangeOpened_ = true;
    lastChecksums_.emplace(endSector - startSector + 1, edges.first, edges.last);

    std::exception_ptr firstError;
    try {
        if (encode_) {
            path = OutputFileName(path, true);
            if (!openCoderStream(state)) {
                state.rangeOpen = false;
                CR_CloseRipper();
                showPlainMessage(CODER_PREPARE_ERROR);
                return;
            }
        } else if (writeFlac_) {
            openFlacStream(state, startSector, endSector);
        }
        prepareOutput(state, startSector, endSector, path, nameLeavesFolder);
        if (state.encoding) {
            encodingHandOff_(state.encoding);
        }
        runChunkLoop(state);
    } catch (...) {
        firstError = std::current_exception();
    }
    cleanUp(state, firstError);
    if (firstError) {
        std::rethrow_exception(firstError);
    }
}

bool TCDRIP::openCoderStream(RipState& state) {
    // Encoding without a coder is refused like a coder that cannot start.
    if (!coder_) {
        return false;
    }
    state.format = deliveredFormat(outputFormat_);
    // An encoding handed off runs beside the engine's coder, on a copy.
    state.writer = encodingHandOff_ ? Mp3Writer::openCopy(*coder_, state.format, monoDownMixType_,
                                                          std::move(state.tags), replayGainAlbum_)
                                    : Mp3Writer::open(*coder_, state.format, monoDownMixType_,
                                                      std::move(state.tags), replayGainAlbum_);
    return state.writer != nullptr;
}

void TCDRIP::openFlacStream(RipState& state, int32_t startSector, int32_t endSector) {
    state.format = deliveredFormat(outputFormat_);
    const int64_t sectors = std::max<int64_t>(int64_t{endSector} - startSector + 1, 0);
    const uint64_t frames =
        static_cast<uint64_t>(sectors) * (state.format.sampleRate / CD_SECTORS_PER_SECOND);
    state.writer = std::make_unique<FlacWriter>(state.format, flacLevel_, frames,
                                                std::move(state.tags), replayGainAlbum_);
}

void TCDRIP::prepareOutput(RipState& state, int32_t startSector, int32_t endSector,
                           const std::string& path, bool nameLeavesFolder) {
    const auto chunkBytes = static_cast<std::size_t>(std::max(state.chunkBytes, 0));
    state.readBuffer = std::make_unique_for_overwrite<uint8_t[]>(chunkBytes);

    if (nameLeavesFolder) {
        const bool folderName = path.ends_with("/.") || path.ends_with("/..");
        throw ECDRIPError("Cannot create file " + path,
                          folderName ? std::string("\".\" and \"..\" name folders, not files")
                                     : std::string("a file name cannot hold '/'"));
    }
    state.format = deliveredFormat(outputFormat_);
    state.startSector = startSector;
    if (state.writer && encodingHandOff_) {
        state.encoding = std::make_shared<TTrackEncoding>(std::move(state.writer), path);
    } else {
        state.file.emplace(path);
        if (state.writer) {
            state.writer->start(*state.file);
        }
    }

    if (writeWAV_ && !encode_ && !writeFlac_) {
        const uint32_t dataSize = wavDataSizeOfRange(startSector, endSector, state.format);
        const auto header = wavHeader(state.format, dataSize);
        state.file->write(header.data(), header.size());
        state.wavHeaderWritten = true;
    }

    jitterPositions_.clear();
    state.jitterChunks = 0;
    state.bytesSinceSpeedUpdate = 0;
    state.speed = 0;
    state.lastSpeedUpdate = now();
}

void TCDRIP::runChunkLoop(RipState& state) {
    state.loopStarted = true;
    // Without an indicator of the application's the library gets one that
    // is never set; the engine then stops through Aborted alone.
    int32_t* const indicator =
        abortIndicator_ != nullptr ? abortIndicator_ : &state.unsetAbortIndicator;
    CR_RESULT result = CR_CHUNK_OK;
    while (result != CR_CHUNK_LAST) {
        if (aborted_ || *indicator != CR_FALSE) {
            break;
        }
        int32_t delivered = 0;
        result = CR_RipChunk(state.readBuffer.get(), &delivered, indicator);
        // A set indicator cuts the range short; its last chunk is no end.
        state.rangeCompleted = result == CR_CHUNK_LAST && *indicator == CR_FALSE;
        const auto bytes = static_cast<std::size_t>(std::max(delivered, 0));
        state.bytesSinceSpeedUpdate += bytes;

        if (result != CR_CHUNK_NONE) {
            writeChunk(state, bytes);
            state.audioBytesWritten += bytes;
            lastChecksums_->add({state.readBuffer.get(), bytes});
        }
        if (result == CR_CHUNK_JITTER) {
            uint32_t first = 0;
            uint32_t last = 0;
            CR_GetLastJitterErrorPosition(&first, &last);
            jitterPositions_.push_back(std::to_string(first) + " " + std::to_string(last));
            ++state.jitterChunks;
        }

        const auto time = now();
        const int64_t elapsedMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(time - state.lastSpeedUpdate)
                .count();
        if (elapsedMs > SPEED_UPDATE_INTERVAL_MS) {
            state.lastSpeedUpdate = time;
            state.speed = static_cast<long double>(state.bytesSinceSpeedUpdate) /
                          static_cast<long double>(elapsedMs) / REAL_TIME_BYTES_PER_MS;
            state.bytesSinceSpeedUpdate = 0;
        }

        percentComplete_ = static_cast<uint16_t>(CR_GetPercentCompleted() & 0xFFFF);
        if (OnProgress) {
            OnProgress(*this, percentComplete_, state.jitterChunks, state.speed);
        }
        processPendingInput();
    }
}

void TCDRIP::writeChunk(RipState& state, std::size_t delivered) {
    if (state.encoding) {
        state.encoding->append(state.readBuffer.get(), delivered);
    } else if (state.writer) {
        state.writer->write(state.readBuffer.get(), delivered);
    } else {
        state.file->write(state.readBuffer.get(), delivered);
    }
}

// Runs once on every way out after the range was opened, in this order; a
// step that fails does not stop the later ones, and the first error is the
// one passed on.
void TCDRIP::cleanUp(RipState& state, std::exception_ptr& firstError) {
    const auto step = [&firstError](auto&& action) {
        try {
            action();
        } catch (...) {
            if (!firstError) {
                firstError = std::current_exception();
            }
        }
    };

    if (state.loopStarted) {
        step([&] { jitterErrors_ = CR_GetNumberOfJitterErrors(); });
        step([&] { collectLostSectors(); });
    }
    // Only a track that read its whole range replaces what is under its
    // name; one of which not a sector came from the disc (a full disk
    // before its first chunk, a medium gone) leaves no file behind.
    const auto complete = [&] {
        return state.rangeCompleted && !firstError && lostSectors_ == 0;
    };
    if (state.writer && state.loopStarted && state.file) {
        const bool whole = complete();
        step([&] { state.writer->finish(whole); });
    }
    const bool fromDisc = readFromDisc(state);
    if (state.encoding) {
        // The encoder runs until it hears that the audio has ended.
        state.encoding->endOfAudio(complete() ? TAudioEnd::Whole
                                   : fromDisc ? TAudioEnd::Short
                                              : TAudioEnd::NoneFromDisc);
        state.encoding.reset();
    }
    if (state.rangeOpen) {
        state.rangeOpen = false;
        step([] { CR_CloseRipper(); });
    }
    state.readBuffer.reset();
    if (state.file) {
        // The header announced the whole range; now that the file is
        // complete it is made to describe the audio actually written, so
        // that every sample is played and an aborted file stays valid.
        if (state.wavHeaderWritten) {
            step([&] {
                const uint64_t audioBytes = state.file->size() - WAV_HEADER_BYTES;
                const auto dataSize = static_cast<uint32_t>(
                    std::min<uint64_t>(audioBytes, std::numeric_limits<uint32_t>::max()));
                const auto riffField = wavRiffSizeField(dataSize);
                const auto dataField = wavDataSizeField(dataSize);
                state.file->writeAt(WAV_RIFF_SIZE_OFFSET, riffField.data(), riffField.size());
                state.file->writeAt(WAV_DATA_SIZE_OFFSET, dataField.data(), dataField.size());
            });
        }
        step([&] {
            lastOutcome_ = complete() ? state.file->commit()
                           : fromDisc ? state.file->keep()
                                      : state.file->abandon();
            if (lastOutcome_ == TOutputOutcome::Written && state.writer) {
                state.writer->placed();
            }
        });
        state.file.reset();
    }
    state.writer.reset();
}

bool TCDRIP::readFromDisc(const RipState& state) const {
    const int64_t bytesPerSector = state.format.byteRate() / CD_SECTORS_PER_SECOND;
    const auto written = static_cast<int64_t>(state.audioBytesWritten);
    const int64_t sectors = (written + bytesPerSector - 1) / bytesPerSector;
    const int64_t last = int64_t{state.startSector} + sectors - 1;
    int64_t lost = 0;
    for (const TSectorRange& range : lostRanges_) {
        lost += std::max<int64_t>(0, std::min<int64_t>(range.Last, last) -
                                         std::max<int64_t>(range.First, state.startSector) + 1);
    }
    return sectors > lost;
}

void TCDRIP::collectLostSectors() {
    lostSectors_ = std::max(CR_GetNumberOfLostSectors(), 0);
    silencedSamples_ = CR_GetNumberOfSilencedSamples();
    lostRanges_.clear();
    uint32_t first = 0;
    uint32_t last = 0;
    // Never more runs than lost sectors.
    for (int32_t run = 0; run < lostSectors_ && CR_GetLostSectorRun(run, &first, &last) == CR_OK;
         ++run) {
        lostRanges_.push_back({static_cast<int32_t>(first), static_cast<int32_t>(last)});
    }
}

bool TCDRIP::ReadUncorrected(int32_t first, int32_t last, std::vector<uint8_t>& audio,
                             std::string& error, int32_t* abort) {
    TCDROMParams record{};
    if (CR_GetCDROMParameters(&record) == CR_ERROR) {
        error = "The drive's parameters cannot be read";
        return false;
    }
    const int32_t offset = CR_GetReadOffset();
    TCDROMParams stereo = record;
    stereo.OutputFormat = STEREO44100;
    // Whatever happens below, the drive reads as it did before.
    struct Restore {
        const TCDROMParams& record;
        int32_t offset;
        ~Restore() {
            CR_CloseRipper();
            CR_SetCDROMParameters(&record);
            CR_SetReadOffset(offset);
        }
    } restore{record, offset};
    int32_t chunkBytes = 0;
    if (CR_SetCDROMParameters(&stereo) == CR_ERROR || CR_SetReadOffset(0) == CR_ERROR ||
        CR_OpenRipper(&chunkBytes, first, last) == CR_ERROR) {
        error = "The drive cannot read sectors " + std::to_string(first) + " to " +
                std::to_string(last);
        return false;
    }
    const auto expected = static_cast<std::size_t>(last - first + 1) * CD_SECTOR_BYTES;
    audio.clear();
    audio.reserve(expected);
    std::vector<uint8_t> buffer(static_cast<std::size_t>(chunkBytes));
    // A range delivers at least a sector a chunk; more calls cannot be
    // needed.
    for (int32_t call = 0; call <= last - first + 1; ++call) {
        int32_t delivered = 0;
        const CR_RESULT result = CR_RipChunk(buffer.data(), &delivered, abort);
        audio.insert(audio.end(), buffer.begin(), buffer.begin() + std::max(delivered, 0));
        if (result == CR_CHUNK_LAST) {
            break;
        }
    }
    if (abort != nullptr && *abort != CR_FALSE) {
        error = "Cancelled";
        return false;
    }
    if (const int32_t lost = CR_GetNumberOfLostSectors(); lost > 0 || audio.size() != expected) {
        error = "The drive could not read " + std::to_string(std::max(lost, 1)) + " of sectors " +
                std::to_string(first) + " to " + std::to_string(last);
        return false;
    }
    return true;
}
