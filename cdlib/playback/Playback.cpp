// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/Playback.h"

#include "playback/PlayClock.h"
#include "playback/PulseSink.h"

namespace cdlib {

namespace {

// How long the sound server has to answer a new player; nobody waits for
// it meanwhile.
constexpr std::chrono::milliseconds kConnectTimeout{2000};

std::unique_ptr<AudioSink> soundServer() {
    return PulseSink::open(kConnectTimeout);
}

} // namespace

Playback::Playback()
    : sinkFactory_(soundServer) {}

Playback::~Playback() = default;

void Playback::setSinkFactory(AudioSinkFactory factory) {
    sinkFactory_ = factory ? std::move(factory) : AudioSinkFactory(soundServer);
}

bool Playback::play(Drive& drive, int32_t firstSector, int32_t lastSector) {
    if (digitalChoice_ && digitalChoice_(drive)) {
        const auto disc = drive.readToc();
        if (!disc || firstSector < static_cast<int32_t>(disc->front().StartSector) ||
            lastSector < firstSector ||
            lastSector >= static_cast<int32_t>(disc->back().StartSector)) {
            return false;
        }
        // A player of this drive takes the new section as it is; for another
        // drive a new one starts, and connects to the sound server on its
        // own thread.
        if (!player_ || location_ != drive.location()) {
            end();
            if (auto source = drive.playSource()) {
                player_ = std::make_unique<DigitalPlayer>(std::move(source), sinkFactory_);
            }
        }
        if (player_) {
            digital_ = true;
            location_ = drive.location();
            toc_ = *disc;
            player_->play(firstSector, lastSector);
            return true;
        }
        // Nothing to read the section from: the drive plays on its own.
    }
    forget();
    return drive.play(firstSector, lastSector);
}

void Playback::handOverWithoutSound(Drive& drive) {
    if (!player_ || drive.kind() != DriveKind::Physical || !player_->withoutSoundServer()) {
        return;
    }
    // A physical drive that no sound server can be heard through plays the
    // rest of the section on its own analogue output.
    const bool playing = player_->playing();
    const bool paused = player_->paused();
    const int32_t from = player_->position();
    const int32_t to = player_->sectionEnd();
    forget();
    if (playing && drive.play(from, to) && paused) {
        drive.pause(true);
    }
}

bool Playback::pause(Drive& drive, bool paused) {
    handOverWithoutSound(drive);
    if (digital_) {
        return player_ && player_->pause(paused);
    }
    return drive.pause(paused);
}

bool Playback::stop(Drive& drive) {
    if (digital_) {
        end();
        return true;
    }
    return drive.stop();
}

PlayPosition Playback::position(Drive& drive) {
    handOverWithoutSound(drive);
    if (digital_) {
        return positionOnDisc(player_ ? player_->position() : lastPosition_, toc_);
    }
    return drive.playPosition();
}

void Playback::setPosition(Drive& drive, uint32_t sector) {
    // A section that plays is not moved; otherwise the drive's own position
    // counts from now on.
    if (player_ && player_->playing()) {
        return;
    }
    forget();
    drive.setPlayPosition(sector);
}

void Playback::end() {
    if (player_) {
        lastPosition_ = player_->position();
        player_.reset();
    }
}

void Playback::forget() {
    end();
    digital_ = false;
    toc_.clear();
    lastPosition_ = 0;
}

void Playback::keepOnly(const std::string& location) {
    if (digital_ && location != location_) {
        forget();
    }
}

} // namespace cdlib
