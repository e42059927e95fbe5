// SPDX-License-Identifier: GPL-3.0-or-later
// Which way the active drive plays a section: through the sound server
// (digital playback: disc images always, physical drives when the library's
// settings ask for it), or on the drive's own (a physical drive's analogue
// output, the clock of a virtual drive). Digital playback never waits for
// the sound server: an image that no server answers for plays on the
// player's silent clock, a physical drive goes on on its own analogue
// output. The CR_* play functions come here.
#pragma once

#include "drives/Drive.h"
#include "playback/AudioSink.h"
#include "playback/DigitalPlayer.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace cdlib {

class Playback final {
public:
    // True when `drive` is to be heard through the sound server.
    using DigitalChoice = std::function<bool(const Drive& drive)>;

    Playback();
    ~Playback();
    Playback(const Playback&) = delete;
    Playback& operator=(const Playback&) = delete;

    void setDigitalChoice(DigitalChoice choice) { digitalChoice_ = std::move(choice); }
    // An empty factory restores the sound server.
    void setSinkFactory(AudioSinkFactory factory);

    bool play(Drive& drive, int32_t firstSector, int32_t lastSector);
    bool pause(Drive& drive, bool paused);
    bool stop(Drive& drive);
    PlayPosition position(Drive& drive);
    void setPosition(Drive& drive, uint32_t sector);

    // Stops digital playback and joins its thread: the disc is about to be
    // read, ejected or left. Plays of the drive's own are not touched.
    void end();
    // As end(), and the position of the last digital section is forgotten.
    void forget();
    // The drive at `location` is active now; playback of any other ends.
    void keepOnly(const std::string& location);

private:
    // A physical drive whose player found no sound server takes the section
    // over from where the player's clock has got to.
    void handOverWithoutSound(Drive& drive);

    std::unique_ptr<DigitalPlayer> player_;
    // The drive, disc and last position of the last digital section, which
    // the position queries report until another section plays.
    bool digital_ = false;
    std::string location_;
    std::vector<TTocEntry> toc_;
    int32_t lastPosition_ = 0;

    DigitalChoice digitalChoice_;
    AudioSinkFactory sinkFactory_;
};

} // namespace cdlib
