// SPDX-License-Identifier: GPL-3.0-or-later
// The encoding of one track (MP3 or FLAC) on a thread of its own, beside the
// extraction that reads it. The extraction (the reader) appends the track's
// PCM as it arrives and says when it has ended; run(), on an encoder
// thread, follows it and encodes the audio into the track's OutputFile
// through a TrackWriter of its own, so the file is the one the engine would
// have written itself, its ReplayGain included.
//
// The PCM waits in an unlinked temporary file in the output folder, not in
// memory: memory stays flat however long the track and however far the
// reader runs ahead, the page cache holds what the encoder is about to read,
// and the space is the output volume's (where /tmp may be memory itself);
// the file vanishes with its descriptor on every way out, a crash too.
#pragma once

#include "CDRIP.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string>

class OutputFile;
class TrackWriter;

// How the reader's audio ended.
enum class TAudioEnd {
    Whole,        // the whole range, read without loss
    Short,        // ended early or with sectors lost, some read from the disc
    NoneFromDisc, // not one sector came from the disc
};

struct TEncodingResult {
    // What became of the track's file.
    TOutputOutcome outcome = TOutputOutcome::None;
    // The first failure of encoding, the temporary audio or the file.
    std::exception_ptr error;
    // run() ended early because `stop` was set.
    bool stopped = false;
};

class TTrackEncoding final {
public:
    // Creates the track's file under `path` (raising ECDRIPError "Cannot
    // create file <path>" as the engine does) and the temporary audio file
    // in its folder, and starts `writer`'s stream in the file.
    TTrackEncoding(std::unique_ptr<TrackWriter> writer, const std::string& path);
    // Closes the stream; a file that run() did not place is removed.
    ~TTrackEncoding();
    TTrackEncoding(const TTrackEncoding&) = delete;
    TTrackEncoding& operator=(const TTrackEncoding&) = delete;

    // The reader's side, one thread. Raises ECDRIPError "Cannot write the
    // temporary audio in <folder>" with the system's reason when the
    // temporary file cannot take the audio.
    void append(const uint8_t* pcm, std::size_t bytes);
    // The reader is done, as `end` says.
    void endOfAudio(TAudioEnd end);

    // The encoder's side, once: encodes what the reader appends until it
    // ends, then places the file: a complete track replaces what is under
    // its name; one that ended early (a failure, an incomplete read, `stop`)
    // keeps its valid, shorter file as the engine's own extraction does, and
    // one with no audio encoded, or none from the disc, leaves no file. `stop` (looked at every few
    // hundred milliseconds of audio, and at least every 50 ms while
    // waiting for the reader) ends the encoding promptly.
    TEncodingResult run(const std::atomic<bool>& stop);

private:
    class PcmSpool;

    std::unique_ptr<TrackWriter> writer_;
    std::unique_ptr<OutputFile> file_;
    std::unique_ptr<PcmSpool> spool_;

    std::mutex mutex_;
    std::condition_variable changed_;
    uint64_t appended_ = 0; // bytes of the spool the encoder may read
    bool ended_ = false;
    TAudioEnd end_ = TAudioEnd::Short;
    bool encoderDone_ = false;
};
