// SPDX-License-Identifier: GPL-3.0-or-later
// TLameCoder holds the MP3 encoder settings and drives one encoding stream
// at a time. It reads and writes no files: the caller hands it chunks of
// 16-bit PCM and an output buffer and writes the MP3 bytes that come back.
#pragma once

#include "Lame_dll.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// DUALCHANNEL codes the two channels independently (no mid/side) and marks
// every frame as dual channel, for two unrelated programmes.
enum TLameMode : uint8_t { STEREO = 0, JSTEREO = 1, DUALCHANNEL = 2, MONO = 3 };

// Presets of LAME's algorithm quality (0 best and slowest .. 9 fastest):
// NORMAL keeps LAME's default (3); LOW is the fastest (7); HIGH is slower and
// better (2); VOICE, for speech, uses 5 with a lowpass at 12 kHz (or LAME's
// own, when the bitrate makes it lower).
enum MPEG_QUALITY : uint8_t {
    NORMAL_QUALITY = 0,
    LOW_QUALITY = 1,
    HIGH_QUALITY = 2,
    VOICE_QUALITY = 3
};

class TLameCoder;

using TNotifyEvent = std::function<void(TLameCoder& sender)>;
using TProgressEvent = std::function<void(TLameCoder& sender, uint16_t percentComplete)>;
using TProcessFileEvent =
    std::function<void(TLameCoder& sender, uint16_t num, const std::string& fileName)>;

// The encoder library's version record, read once when the coder is created.
class TLameVersion final {
public:
    TLameVersion();

    uint8_t DLLMajorVersion() const { return record_.byDLLMajorVersion; }
    uint8_t DLLMinorVersion() const { return record_.byDLLMinorVersion; }
    uint8_t MajorVersion() const { return record_.byMajorVersion; }
    uint8_t MinorVersion() const { return record_.byMinorVersion; }
    const BE_VERSION& record() const { return record_; }

    // Copies the four published numbers.
    void Assign(const TLameVersion& source);

private:
    BE_VERSION record_{};
};

// How EncodeChunk reduces a stereo chunk before encoding.
enum TMonoMix : uint8_t {
    MONOMIX_NONE = 0,  // chunk passed as the stream expects it
    MONOMIX_MEAN = 1,  // mean of each pair, rounded half to even (also any value above 3)
    MONOMIX_LEFT = 2,  // left value of each pair
    MONOMIX_RIGHT = 3, // right value of each pair
};

class TLameCoder final {
public:
    TLameCoder();
    ~TLameCoder();
    TLameCoder(const TLameCoder&) = delete;
    TLameCoder& operator=(const TLameCoder&) = delete;

    uint32_t SampleRate() const { return sampleRate_; }
    void setSampleRate(uint32_t value) { sampleRate_ = value; }
    uint32_t Bitrate() const { return bitrate_; }
    void setBitrate(uint32_t value) { bitrate_ = value; }
    uint32_t MaxBitrate() const { return maxBitrate_; }
    void setMaxBitrate(uint32_t value) { maxBitrate_ = value; }
    MPEG_QUALITY Quality() const { return quality_; }
    void setQuality(MPEG_QUALITY value) { quality_ = value; }
    bool Private() const { return private_ != 0; }
    void setPrivate(bool value);
    bool CRC() const { return crc_ != 0; }
    void setCRC(bool value);
    TLameMode Mode() const { return mode_; }
    // Only the four modes are accepted; any other number leaves Mode as it is.
    void setMode(int value);
    bool Copyright() const { return copyright_ != 0; }
    void setCopyright(bool value);
    bool Original() const { return original_ != 0; }
    void setOriginal(bool value);
    bool WriteVBRHeader() const { return writeVBRHeader_ != 0; }
    void setWriteVBRHeader(bool value);
    bool EnableVBR() const { return enableVBR_ != 0; }
    // Also sets WriteVBRHeader to the same value.
    void setEnableVBR(bool value);
    int32_t VBRQuality() const { return vbrQuality_; }
    void setVBRQuality(int32_t value) { vbrQuality_ = value; }

    const std::vector<std::string>& InputFiles() const { return inputFiles_; }
    // Copies the list and rebuilds OutputFiles: each name with its extension
    // replaced by DefaultExt (appended when it has none).
    void setInputFiles(const std::vector<std::string>& files);
    const std::vector<std::string>& OutputFiles() const { return outputFiles_; }
    void setOutputFiles(const std::vector<std::string>& files) { outputFiles_ = files; }

    const TLameVersion& LameVersion() const { return version_; }
    const std::string& DefaultExt() const { return defaultExt_; }
    void setDefaultExt(const std::string& value) { defaultExt_ = value; }
    const std::string& Mp3FileName() const { return mp3FileName_; }
    void setMp3FileName(const std::string& value) { mp3FileName_ = value; }

    // Stored only; the coder raises none of them.
    TNotifyEvent OnBeginProcess;
    TProcessFileEvent OnBeginFile;
    TProcessFileEvent OnEndFile;
    TNotifyEvent OnEndProcess;
    TProgressEvent OnProgress;

    // Copies the encoding settings (not the file lists, names or events).
    void Assign(const TLameCoder& source);

    // The configuration record InitStream hands to the library.
    BE_CONFIG BuildConfig() const;

    // 0 on success, otherwise the library's error code; after a failure no
    // stream is open and CloseStream is harmless. The library refuses a
    // sample rate that is not an MPEG rate and a bitrate outside the MPEG
    // table instead of bending them. The stream is MPEG-1: an input rate
    // below 32 kHz is resampled to 32 kHz so that every MPEG-1 bitrate stays
    // available. An open stream is closed first.
    uint32_t InitStream();
    // `samples` holds ChunkSamples() 16-bit values and may be overwritten by
    // the downmix; `output` holds at least OutputBufferSize() bytes.
    // With monoMix 0 the values are what the stream expects: interleaved
    // pairs for the stereo modes, mono samples for MONO. With monoMix 1 to 3
    // (a MONO stream fed stereo PCM) they are ChunkSamples()/2 interleaved
    // pairs, reduced in place to ChunkSamples()/2 mono samples, so one chunk
    // then carries half a frame of audio. Allocates nothing.
    uint32_t EncodeChunk(int16_t* samples, uint8_t* output, uint8_t monoMix, uint32_t& outputBytes);
    // EncodeChunk for the last piece of a stream, shorter than a chunk:
    // `count` values (at most ChunkSamples(); interleaved pairs when monoMix
    // reduces stereo), so that the encoder gets exactly the audio that is
    // left and no padding. Allocates nothing.
    uint32_t EncodeSamples(int16_t* samples, uint32_t count, uint8_t* output, uint8_t monoMix,
                           uint32_t& outputBytes);
    uint32_t DeinitStream(uint8_t* output, uint32_t& outputBytes);
    // After DeinitStream (and still after CloseStream, until the next
    // InitStream): the VBR/info tag frame when WriteVBRHeader is set, empty
    // otherwise. With WriteVBRHeader the first bytes the stream emits are a
    // placeholder frame of exactly this size; writing the tag frame over
    // them at the start of the file gives players the true length and
    // seek table.
    std::vector<uint8_t> VBRTagFrame() const;
    uint32_t CloseStream();

    // Valid between a successful InitStream and CloseStream, 0 otherwise.
    // ChunkSamples is 1152 x the stream's channels (2 for the stereo modes,
    // 1 for MONO).
    uint32_t ChunkSamples() const { return chunkSamples_; }
    uint32_t OutputBufferSize() const { return outputBufferSize_; }

    // In place: the first ChunkSamples/2 values become the mono samples of
    // the ChunkSamples/2 interleaved pairs.
    static void DownmixToMono(int16_t* samples, uint32_t chunkSamples, uint8_t monoMix);

private:
    uint32_t sampleRate_ = 44100;
    uint32_t bitrate_ = 128;
    uint32_t maxBitrate_ = 320;
    MPEG_QUALITY quality_ = NORMAL_QUALITY;
    int32_t private_ = 0;
    int32_t crc_ = -1;
    TLameMode mode_ = STEREO;
    int32_t copyright_ = 0;
    int32_t original_ = 0;
    int32_t writeVBRHeader_ = 0;
    int32_t enableVBR_ = 0;
    int32_t vbrQuality_ = 4;
    std::vector<std::string> inputFiles_;
    std::vector<std::string> outputFiles_;
    TLameVersion version_;
    std::string defaultExt_ = ".mp3";
    std::string mp3FileName_;

    HBE_STREAM stream_ = 0;
    uint32_t chunkSamples_ = 0;
    uint32_t outputBufferSize_ = 0;
    BE_CONFIG config_{};
    std::vector<uint8_t> vbrTagFrame_;
};
