// SPDX-License-Identifier: GPL-3.0-or-later
#include "TrackWriter.h"

#include "AlbumLoudness.h"
#include "OutputFile.h"
#include "ReplayGain.h"

#include <utility>

TrackWriter::TrackWriter(AudioFormat format, TAlbumLoudness* album)
    : album_(album) {
    if (album_ != nullptr) {
        meter_.emplace(format.channels, format.sampleRate);
    }
}

TrackWriter::~TrackWriter() = default;

void TrackWriter::start(OutputFile& file) {
    path_ = file.path();
    startStream(file);
}

void TrackWriter::write(const uint8_t* pcm, std::size_t bytes) {
    encode(pcm, bytes);
    if (meter_) {
        meter_->add(pcm, bytes);
    }
}

void TrackWriter::finish(bool whole) {
    whole_ = whole;
    finishStream(whole && meter_ ? replayGainFields(meter_->replayGain(), TReplayGainScope::Track)
                                 : std::vector<TTagField>{});
}

void TrackWriter::placed() {
    if (whole_ && meter_) {
        album_->add(path_, std::move(*meter_));
        meter_.reset();
    }
}
