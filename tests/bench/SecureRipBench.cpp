// SPDX-License-Identifier: GPL-3.0-or-later
// Secure reading against one plain reading, from a virtual drive at a
// simulated 40x, through the rip session as both front ends drive it: on a
// disc the database knows, secure reading confirms each track from its one
// reading at full speed and takes about as long as a plain rip; on the same
// disc with one track that reads right only with jitter correction, only
// that track is read twice.
//
//   varrow-secure-bench [minutes] [speed]    (default 6 minutes at 40x)
#include "AccurateRipCheck.h"
#include "DiscIdentity.h"
#include "RipSession.h"
#include "VirtualDrive.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int32_t SECTORS_PER_MINUTE = 75 * 60;
constexpr int TRACK_COUNT = 6;
// The track that reads right only with correction, on the second drive.
constexpr int UNSTABLE_TRACK = 3;

cdlib::VirtualDisc discOf(int minutes) {
    cdlib::VirtualDisc disc;
    const int32_t sectors = minutes * SECTORS_PER_MINUTE / TRACK_COUNT;
    disc.tracks.assign(TRACK_COUNT, {sectors, false});
    return disc;
}

// The database of one entry holding the checksums of `outcomes`.
TAccurateRipDatabase databaseOf(const online::AccurateRipDisc& disc,
                                const std::vector<TTrackOutcome>& outcomes) {
    online::AccurateRipEntry entry{disc.id1, disc.id2, disc.cddb, {}};
    for (const TTrackOutcome& outcome : outcomes) {
        entry.tracks.push_back(
            {10, outcome.Sums->AccurateRipV2.value_or(0), outcome.Sums->Frame450.value_or(0)});
    }
    TAccurateRipDatabase database;
    database.LongestLookup = std::chrono::seconds(1);
    database.LookUp = [entry](const online::AccurateRipDisc&, std::stop_token) {
        online::AccurateRipAnswer answer;
        answer.kind = online::AccurateRipAnswer::Kind::Found;
        answer.entries = {entry};
        return answer;
    };
    return database;
}

struct Rip {
    double seconds = 0;
    TRipSummary summary;
    std::vector<TTrackOutcome> outcomes;
};

Rip rip(TCDRIP& engine, const std::filesystem::path& folder, bool secure,
        const TAccurateRipDatabase* database) {
    std::filesystem::create_directories(folder);
    engine.setJitterCorrect(secure);
    engine.setSecureMode(secure);
    TRipChoices choices;
    choices.Format = TRipFormat::Wav;
    choices.Folder = folder.string();
    for (const TTrackEntry& track : engine.Tracks()) {
        choices.Tracks.push_back(track.Track.Number);
    }
    TRipSession session(engine, PlanRip(engine, choices));
    const auto start = std::chrono::steady_clock::now();
    if (database != nullptr) {
        session.StartAccurateRip(OnlineToc(engine), *database);
    }
    session.Run({});
    session.Finish();
    Rip done;
    done.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    done.summary = session.Summary();
    done.outcomes = session.Outcomes();
    return done;
}

void report(const char* name, const Rip& done, int minutes) {
    std::printf("  %-34s %7.2f s  %5.1fx real time  %d of %zu tracks read twice\n", name,
                done.seconds, minutes * 60 / done.seconds, done.summary.ReadTwice,
                done.outcomes.size());
}

} // namespace

int main(int argc, char** argv) {
    const int minutes = argc > 1 ? std::atoi(argv[1]) : 6;
    const double speed = argc > 2 ? std::atof(argv[2]) : 40.0;
    if (minutes < 1 || speed <= 0) {
        std::fprintf(stderr, "usage: varrow-secure-bench [minutes >= 1] [speed > 0]\n");
        return 2;
    }
    const std::filesystem::path work = std::filesystem::temp_directory_path() /
                                       ("varrow-secure-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(work);
    ::setenv("VARROW_SETTINGS_FILE", (work / "Varrow.INI").c_str(), 1);

    cdlib::setHostDrivesEnabled(false);
    auto clean = std::make_shared<cdlib::VirtualDrive>("BENCH CLEAN", discOf(minutes));
    clean->faults().simulatedSpeed = speed;
    const int cleanDrive = cdlib::addVirtualDrive(clean);
    auto jittery = std::make_shared<cdlib::VirtualDrive>("BENCH JITTER", discOf(minutes));
    jittery->faults().simulatedSpeed = speed;
    const int32_t trackSectors = minutes * SECTORS_PER_MINUTE / TRACK_COUNT;
    jittery->faults().unstableSectors = {(UNSTABLE_TRACK - 1) * trackSectors + trackSectors / 2};
    const int jitteryDrive = cdlib::addVirtualDrive(jittery);

    TCDRIP engine;
    engine.setWriteWAV(true);
    engine.setCDRomNum(cleanDrive);
    if (engine.Tracks().empty()) {
        std::fprintf(stderr, "varrow-secure-bench: the virtual drive shows no tracks\n");
        return 1;
    }
    std::printf("virtual drive at %.0fx, %d minutes in %d tracks, WAV\n", speed, minutes,
                TRACK_COUNT);

    const Rip plain = rip(engine, work / "plain", false, nullptr);
    report("plain reading (no correction)", plain, minutes);
    const TAccurateRipDatabase database =
        databaseOf(online::accurateRipDisc(OnlineToc(engine)), plain.outcomes);
    const Rip secure = rip(engine, work / "secure", true, &database);
    report("secure, disc in the database", secure, minutes);
    std::printf("  secure / plain time: %.3f  (target <= 1.10), %d of %d tracks matched\n",
                secure.seconds / plain.seconds,
                static_cast<int>(std::count_if(secure.outcomes.begin(), secure.outcomes.end(),
                                               [](const TTrackOutcome& outcome) {
                                                   return outcome.AccurateRip.Status ==
                                                          TAccurateRipStatus::Matched;
                                               })),
                TRACK_COUNT);

    engine.setCDRomNum(jitteryDrive);
    const Rip jitter = rip(engine, work / "jitter", true, &database);
    report("secure, one unstable track", jitter, minutes);
    std::string twice;
    for (const TTrackOutcome& outcome : jitter.outcomes) {
        if (outcome.ReadTwice) {
            twice += (twice.empty() ? "" : ", ") + std::to_string(outcome.Number);
        }
    }
    std::printf("  tracks read twice: %s (the unstable track is %d)\n",
                twice.empty() ? "none" : twice.c_str(), UNSTABLE_TRACK);

    std::error_code ignored;
    std::filesystem::remove_all(work, ignored);
    return 0;
}
