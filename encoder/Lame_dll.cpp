// SPDX-License-Identifier: GPL-3.0-or-later
#include "Lame_dll.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <lame/lame.h>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <vector>

namespace {

struct LameCloser {
    void operator()(lame_global_flags* flags) const { lame_close(flags); }
};
using LamePtr = std::unique_ptr<lame_global_flags, LameCloser>;

// One open stream: the LAME encoder and the sizes promised to the caller.
struct Stream {
    LamePtr lame;
    uint32_t channels = 0;
    uint32_t chunkSamples = 0;
    uint32_t bufferSize = 0;
    bool flushed = false;
};

// Handles are numbers handed out once and looked up here, so that a stale,
// zero or made-up handle is refused instead of being dereferenced.
class StreamTable final {
public:
    HBE_STREAM add(std::unique_ptr<Stream> stream) {
        std::lock_guard lock(mutex_);
        const HBE_STREAM handle = nextHandle_++;
        streams_.emplace(handle, std::move(stream));
        return handle;
    }

    // A stream is used by one thread at a time; the table only guards itself.
    Stream* find(HBE_STREAM handle) {
        std::lock_guard lock(mutex_);
        const auto found = streams_.find(handle);
        return found == streams_.end() ? nullptr : found->second.get();
    }

    bool remove(HBE_STREAM handle) {
        std::unique_ptr<Stream> removed;
        std::lock_guard lock(mutex_);
        const auto found = streams_.find(handle);
        if (found == streams_.end()) {
            return false;
        }
        removed = std::move(found->second);
        streams_.erase(found);
        return true;
    }

private:
    std::mutex mutex_;
    std::map<HBE_STREAM, std::unique_ptr<Stream>> streams_;
    HBE_STREAM nextHandle_ = 1;
};

StreamTable& streams() {
    static StreamTable table;
    return table;
}

// Streams are independent, so separate streams may encode on separate
// threads at once; but every LAME encoder made ready (lame_init_params)
// fills LAME's process-wide lookup tables again, with the same values, while
// other streams read them. Making a stream ready therefore waits until no
// stream is encoding, and encoding waits while one is made ready.
std::shared_mutex& lameTables() {
    static std::shared_mutex mutex;
    return mutex;
}

constexpr uint32_t kFrameSamples = 1152;
constexpr uint32_t kVoiceLowpassHz = 12000;

constexpr std::array<uint32_t, 3> kMpeg1Rates{32000, 44100, 48000};
// MPEG-2 and MPEG-2.5 rates.
constexpr std::array<uint32_t, 6> kLowRates{8000, 11025, 12000, 16000, 22050, 24000};
constexpr std::array<uint32_t, 14> kMpeg1Bitrates{32,  40,  48,  56,  64,  80,  96,
                                                  112, 128, 160, 192, 224, 256, 320};
constexpr std::array<uint32_t, 14> kLowBitrates{8,  16, 24, 32,  40,  48,  56,
                                                64, 80, 96, 112, 128, 144, 160};

template <std::size_t N> bool contains(const std::array<uint32_t, N>& values, uint32_t value) {
    return std::find(values.begin(), values.end(), value) != values.end();
}

// A bitrate of some MPEG table: anything else LAME would bend to the
// nearest one, so it is refused.
bool isKnownBitrate(uint32_t kbps) {
    return contains(kMpeg1Bitrates, kbps) || contains(kLowBitrates, kbps);
}

bool isMpegRate(uint32_t rate) {
    return contains(kMpeg1Rates, rate) || contains(kLowRates, rate);
}

using Lhv1 = decltype(BE_CONFIG::format.LHV1);

// The rate the requested MPEG version suggests: MPEG-1 keeps an MPEG-1
// input rate and resamples any lower rate to 32 kHz, so that every bitrate
// of the MPEG-1 table stays available; MPEG-2 keeps a low rate and halves
// an MPEG-1 rate.
uint32_t preferredRate(const Lhv1& config) {
    const bool inputIsMpeg1 = contains(kMpeg1Rates, config.dwSampleRate);
    if (config.dwMpegVersion == MPEG1) {
        return inputIsMpeg1 ? config.dwSampleRate : 32000;
    }
    return inputIsMpeg1 ? config.dwSampleRate / 2 : config.dwSampleRate;
}

bool isValidBitrate(uint32_t rate, uint32_t kbps) {
    return contains(kMpeg1Rates, rate) ? contains(kMpeg1Bitrates, kbps)
                                       : contains(kLowBitrates, kbps);
}

uint32_t highestBitrate(uint32_t rate) {
    return contains(kMpeg1Rates, rate) ? kMpeg1Bitrates.back() : kLowBitrates.back();
}

// The rate LAME itself would give a stream of `kbps` from this input.
uint32_t lamesOwnRate(const Lhv1& config, uint32_t kbps) {
    const LamePtr probe(lame_init());
    if (!probe) {
        return 0;
    }
    lame_set_in_samplerate(probe.get(), static_cast<int>(config.dwSampleRate));
    lame_set_num_channels(probe.get(), config.nMode == BE_MP3_MODE_MONO ? 1 : 2);
    lame_set_brate(probe.get(), static_cast<int>(kbps));
    if (lame_init_params(probe.get()) < 0) {
        return 0;
    }
    return static_cast<uint32_t>(lame_get_out_samplerate(probe.get()));
}

// The rate of the MP3 stream and the highest bitrate it may use.
struct StreamShape {
    uint32_t rate = 0;
    uint32_t maxBitrate = 0;
};

// An explicit resample rate must carry the bitrates as they are. Without
// one, the preferred rate is kept when its table holds the bitrate (and the
// VBR maximum); otherwise the rate LAME would choose, then the same rate
// family halved and quartered, then every other rate, whichever carries
// them first. A VBR maximum above a table's top is a ceiling the table
// keeps anyway. Nothing: no rate carries the bitrates.
std::optional<StreamShape> streamShape(const Lhv1& config) {
    const bool vbr = config.bEnableVBR != 0;
    const uint32_t maxBitrate = vbr ? config.dwMaxBitrate : config.dwBitrate;
    if (config.dwReSampleRate != 0) {
        if (!isValidBitrate(config.dwReSampleRate, config.dwBitrate) ||
            !isValidBitrate(config.dwReSampleRate, maxBitrate)) {
            return std::nullopt;
        }
        return StreamShape{config.dwReSampleRate, maxBitrate};
    }
    const uint32_t preferred = preferredRate(config);
    std::vector<uint32_t> candidates = {preferred};
    if (!isValidBitrate(preferred, config.dwBitrate) || !isValidBitrate(preferred, maxBitrate)) {
        candidates.push_back(lamesOwnRate(config, config.dwBitrate));
        candidates.push_back(preferred / 2);
        candidates.push_back(preferred / 4);
        for (const uint32_t rate :
             {48000u, 44100u, 32000u, 24000u, 22050u, 16000u, 12000u, 11025u, 8000u}) {
            candidates.push_back(rate);
        }
    }
    for (const bool ceiling : {false, true}) {
        for (const uint32_t rate : candidates) {
            if (!isMpegRate(rate) || !isValidBitrate(rate, config.dwBitrate)) {
                continue;
            }
            if (isValidBitrate(rate, maxBitrate)) {
                return StreamShape{rate, maxBitrate};
            }
            if (ceiling && vbr && maxBitrate > highestBitrate(rate)) {
                return StreamShape{rate, highestBitrate(rate)};
            }
        }
    }
    return std::nullopt;
}

// LAME quietly bends values it cannot use (a bitrate of 7 becomes an 8 kHz
// stream); refusing them instead tells the caller the settings are wrong.
bool isAcceptable(const BE_CONFIG& config) {
    const Lhv1& lhv1 = config.format.LHV1;
    if (!isMpegRate(lhv1.dwSampleRate)) {
        return false;
    }
    if (lhv1.dwReSampleRate != 0 && !isMpegRate(lhv1.dwReSampleRate)) {
        return false;
    }
    if (lhv1.dwMpegVersion != MPEG1 && lhv1.dwMpegVersion != MPEG2) {
        return false;
    }
    if (lhv1.nMode < BE_MP3_MODE_STEREO || lhv1.nMode > BE_MP3_MODE_MONO) {
        return false;
    }
    if (lhv1.nPreset < 0 || lhv1.nPreset > 3) {
        return false;
    }
    if (lhv1.dwEmphasis != 0 && lhv1.dwEmphasis != 1 && lhv1.dwEmphasis != 3) {
        return false;
    }
    if (lhv1.bEnableVBR != 0 && (lhv1.dwMaxBitrate < lhv1.dwBitrate || lhv1.nVBRQuality < 0 ||
                                 lhv1.nVBRQuality > 9 || !isKnownBitrate(lhv1.dwMaxBitrate))) {
        return false;
    }
    return isKnownBitrate(lhv1.dwBitrate) && streamShape(lhv1).has_value();
}

MPEG_mode lameMode(int32_t mode) {
    switch (mode) {
    case BE_MP3_MODE_JSTEREO:
        return JOINT_STEREO;
    case BE_MP3_MODE_DUALCHANNEL:
        // Two independent channels, marked as dual channel in every frame.
        return DUAL_CHANNEL;
    case BE_MP3_MODE_MONO:
        return MONO;
    default:
        return STEREO;
    }
}

// The quality presets choose LAME's algorithm quality (0 best and slowest,
// 9 fastest): NORMAL keeps LAME's default (3), LOW uses 7 ("ok quality,
// really fast"), HIGH uses 2 ("near-best quality, not too slow"). VOICE uses
// 5 and, below, a lowpass for speech.
void applyQualityPreset(lame_global_flags* lame, int32_t preset) {
    switch (preset) {
    case 1:
        lame_set_quality(lame, 7);
        break;
    case 2:
        lame_set_quality(lame, 2);
        break;
    case 3:
        lame_set_quality(lame, 5);
        break;
    default:
        break;
    }
}

LamePtr configuredLame(const Lhv1& config, const StreamShape& shape, int lowpassHz) {
    LamePtr lame(lame_init());
    if (!lame) {
        return lame;
    }
    lame_global_flags* flags = lame.get();
    lame_set_in_samplerate(flags, static_cast<int>(config.dwSampleRate));
    lame_set_out_samplerate(flags, static_cast<int>(shape.rate));
    lame_set_num_channels(flags, config.nMode == BE_MP3_MODE_MONO ? 1 : 2);
    lame_set_mode(flags, lameMode(config.nMode));
    if (config.bEnableVBR != 0) {
        lame_set_VBR(flags, vbr_default);
        lame_set_VBR_q(flags, config.nVBRQuality);
        lame_set_VBR_min_bitrate_kbps(flags, static_cast<int>(config.dwBitrate));
        lame_set_VBR_max_bitrate_kbps(flags, static_cast<int>(shape.maxBitrate));
    } else {
        lame_set_VBR(flags, vbr_off);
        lame_set_brate(flags, static_cast<int>(config.dwBitrate));
    }
    lame_set_error_protection(flags, config.bCRC != 0);
    lame_set_extension(flags, config.bPrivate != 0);
    lame_set_copyright(flags, config.bCopyright != 0);
    // LAME sets the original bit unless told otherwise.
    lame_set_original(flags, config.bOriginal != 0);
    lame_set_emphasis(flags, static_cast<int>(config.dwEmphasis));
    // LAME writes the tag frame unless told otherwise.
    lame_set_bWriteVbrTag(flags, config.bWriteVBRHeader != 0);
    lame_set_disable_reservoir(flags, config.bNoRes != 0);
    lame_set_strict_ISO(flags, config.bStrictIso != 0);
    applyQualityPreset(flags, config.nPreset);
    if (lowpassHz > 0) {
        lame_set_lowpassfreq(flags, lowpassHz);
    }
    return lame;
}

// Speech carries nothing useful above 12 kHz, so VOICE spends no bits
// there; a lower lowpass that LAME picks for a small bitrate stays.
int voiceLowpass(const Lhv1& config, const StreamShape& shape) {
    const LamePtr probe = configuredLame(config, shape, 0);
    if (!probe || lame_init_params(probe.get()) < 0) {
        return static_cast<int>(kVoiceLowpassHz);
    }
    const int chosen = lame_get_lowpassfreq(probe.get());
    return chosen > 0 ? std::min(chosen, static_cast<int>(kVoiceLowpassHz))
                      : static_cast<int>(kVoiceLowpassHz);
}

// LAME's documented worst case for one call: 1.25 x samples per channel +
// 7200 bytes, counted at the stream's rate. It also covers a flush, which
// needs at most 7200 bytes.
uint32_t outputBufferSize(uint32_t inputRate, uint32_t outputRate) {
    const uint64_t samples = (uint64_t{kFrameSamples} * outputRate + inputRate - 1) / inputRate;
    return static_cast<uint32_t>((samples * 5 + 3) / 4 + 7200);
}

BE_ERR encodeError(int lameResult) {
    // -1: the output buffer was too small; the rest are internal failures.
    return lameResult == -1 ? BE_ERR_BUFFER_TOO_SMALL : BE_ERR_INVALID_FORMAT_PARAMETERS;
}

} // namespace

void beVersion(BE_VERSION* version) {
    if (version == nullptr) {
        return;
    }
    *version = BE_VERSION{};
    // This interface has no version of its own apart from the encoder's;
    // it reports 1.0, the first revision of the LHV1 layout it implements.
    version->byDLLMajorVersion = 1;
    version->byDLLMinorVersion = 0;
    lame_version_t lame{};
    get_lame_version_numerical(&lame);
    version->byMajorVersion = static_cast<uint8_t>(lame.major);
    version->byMinorVersion = static_cast<uint8_t>(lame.minor);
    version->byAlphaLevel = static_cast<uint8_t>(lame.alpha);
    version->byBetaLevel = static_cast<uint8_t>(lame.beta);
    std::strncpy(version->zHomepage, get_lame_url(), BE_MAX_HOMEPAGE);
}

BE_ERR beInitStream(const BE_CONFIG* config, uint32_t* samples, uint32_t* bufferSize,
                    HBE_STREAM* stream) {
    if (config == nullptr || samples == nullptr || bufferSize == nullptr || stream == nullptr) {
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    }
    *stream = 0;
    if (config->dwConfig != BE_CONFIG_LAME ||
        config->format.LHV1.dwStructVersion < CURRENT_STRUCT_VERSION ||
        config->format.LHV1.dwStructSize != sizeof(BE_CONFIG)) {
        return BE_ERR_INVALID_FORMAT;
    }
    const std::unique_lock tables(lameTables());
    if (!isAcceptable(*config)) {
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    }
    const Lhv1& lhv1 = config->format.LHV1;
    const StreamShape shape = *streamShape(lhv1);
    const int lowpass = lhv1.nPreset == 3 ? voiceLowpass(lhv1, shape) : 0;
    auto opened = std::make_unique<Stream>();
    opened->lame = configuredLame(lhv1, shape, lowpass);
    if (!opened->lame) {
        return BE_ERR_NO_MORE_HANDLES;
    }
    if (lame_init_params(opened->lame.get()) < 0) {
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    }
    opened->channels = lhv1.nMode == BE_MP3_MODE_MONO ? 1 : 2;
    opened->chunkSamples = kFrameSamples * opened->channels;
    opened->bufferSize = outputBufferSize(lhv1.dwSampleRate, shape.rate);
    *samples = opened->chunkSamples;
    *bufferSize = opened->bufferSize;
    *stream = streams().add(std::move(opened));
    return BE_ERR_SUCCESSFUL;
}

BE_ERR beEncodeChunk(HBE_STREAM stream, uint32_t samples, const int16_t* pcm, uint8_t* output,
                     uint32_t* outputBytes) {
    if (outputBytes == nullptr) {
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    }
    *outputBytes = 0;
    Stream* open = streams().find(stream);
    if (open == nullptr || open->flushed) {
        return BE_ERR_INVALID_HANDLE;
    }
    // More than one chunk could overrun the output buffer the caller sized.
    if (samples > open->chunkSamples || samples % open->channels != 0) {
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    }
    if (samples == 0) {
        return BE_ERR_SUCCESSFUL;
    }
    if (pcm == nullptr || output == nullptr) {
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    }
    const int bufferSize = static_cast<int>(open->bufferSize);
    const std::shared_lock tables(lameTables());
    int produced = 0;
    if (open->channels == 2) {
        // LAME only reads the interleaved buffer, despite its signature.
        produced =
            lame_encode_buffer_interleaved(open->lame.get(), const_cast<int16_t*>(pcm),
                                           static_cast<int>(samples / 2), output, bufferSize);
    } else {
        produced = lame_encode_buffer(open->lame.get(), pcm, pcm, static_cast<int>(samples), output,
                                      bufferSize);
    }
    if (produced < 0) {
        return encodeError(produced);
    }
    *outputBytes = static_cast<uint32_t>(produced);
    return BE_ERR_SUCCESSFUL;
}

BE_ERR beDeinitStream(HBE_STREAM stream, uint8_t* output, uint32_t* outputBytes) {
    if (outputBytes == nullptr) {
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    }
    *outputBytes = 0;
    Stream* open = streams().find(stream);
    if (open == nullptr) {
        return BE_ERR_INVALID_HANDLE;
    }
    // A second flush has nothing left to give.
    if (open->flushed) {
        return BE_ERR_SUCCESSFUL;
    }
    if (output == nullptr) {
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    }
    const std::shared_lock tables(lameTables());
    const int produced =
        lame_encode_flush(open->lame.get(), output, static_cast<int>(open->bufferSize));
    if (produced < 0) {
        return encodeError(produced);
    }
    open->flushed = true;
    *outputBytes = static_cast<uint32_t>(produced);
    return BE_ERR_SUCCESSFUL;
}

BE_ERR beCloseStream(HBE_STREAM stream) {
    return streams().remove(stream) ? BE_ERR_SUCCESSFUL : BE_ERR_INVALID_HANDLE;
}

uint32_t beGetVBRTagFrame(HBE_STREAM stream, uint8_t* buffer, uint32_t size) {
    const Stream* open = streams().find(stream);
    // Before the flush the tag would describe only part of the stream.
    if (open == nullptr || !open->flushed || buffer == nullptr) {
        return 0;
    }
    const std::size_t frameSize = lame_get_lametag_frame(open->lame.get(), buffer, size);
    return frameSize <= size ? static_cast<uint32_t>(frameSize) : 0;
}
