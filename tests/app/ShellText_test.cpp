// SPDX-License-Identifier: GPL-3.0-or-later
// The widget-free rules of the shell: drive and row texts, the status
// summary, the speed field, time texts, udev events and the platform query.
#include "CDRIP.h"
#include "Clock.h"
#include "DeviceMonitor.h"
#include "NumberText.h"
#include "Platform.h"
#include "SpeedField.h"
#include "TimeText.h"
#include "TrackListText.h"

#include <gtest/gtest.h>

using namespace varrow;
using namespace std::chrono_literals;

namespace {

TTrackEntry entry(const std::string& name, const std::string& type) {
    TTrackEntry result;
    result.Name = name;
    result.Track.TrackType = type;
    return result;
}

} // namespace

TEST(DriveEntryText, StripsBlanksAndControlCharactersAtBothEnds) {
    EXPECT_EQ(driveEntryText(0, "  VIRTUAL  Disc One\t\r\n"), "[0]:VIRTUAL  Disc One");
    EXPECT_EQ(driveEntryText(12, std::string("\x01PLEXTOR PX-716A 1.11\x7f", 22)),
              QString("[12]:PLEXTOR PX-716A 1.11\x7f"));
}

TEST(DriveEntryText, EmptyIdentificationIsAWrongName) {
    EXPECT_EQ(driveEntryText(3, ""), "[3]:wrong CD-ROM name");
    EXPECT_EQ(driveEntryText(1, " \t "), "[1]:wrong CD-ROM name");
}

TEST(TrackRowText, TrackNumberHasTwoDigitsBelowTen) {
    EXPECT_EQ(trackNumberText(0), "00");
    EXPECT_EQ(trackNumberText(1), "01");
    EXPECT_EQ(trackNumberText(9), "09");
    EXPECT_EQ(trackNumberText(10), "10");
    EXPECT_EQ(trackNumberText(100), "100");
}

TEST(TrackRowText, DataTracksArePrefixedWithData) {
    EXPECT_EQ(trackTitleText(entry("Track05", "Data")), "DataTrack05");
    EXPECT_EQ(trackTitleText(entry("Track01", "Audio")), "Track01");
}

TEST(TrackRowText, OnlyTheExactTextAudioMakesAnAudioRow) {
    EXPECT_TRUE(isAudioTypeText("Audio"));
    EXPECT_FALSE(isAudioTypeText("audio"));
    EXPECT_FALSE(isAudioTypeText("Audio "));
    EXPECT_FALSE(isAudioTypeText("Data"));
}

TEST(TracksStatusText, WithoutSelectionOnlyTheCount) {
    EXPECT_EQ(tracksStatusText(0, 0, 0, QLocale::c()), "Tracks:0");
    EXPECT_EQ(tracksStatusText(12, 0, 0, QLocale::c()), "Tracks:12");
}

TEST(TracksStatusText, SelectionInMegabytesWithTwoDecimals) {
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(tracksStatusText(3, 2, 10'000'000 + 25'500'000, english),
              "Tracks:3, selected:2 (35.50 MB)");
    EXPECT_EQ(tracksStatusText(12, 3, 123'454'999, english), "Tracks:12, selected:3 (123.45 MB)");
    EXPECT_EQ(tracksStatusText(99, 99, 4'321'987'654, english),
              "Tracks:99, selected:99 (4,321.99 MB)");
}

TEST(TracksStatusText, UsesTheLocaleSeparators) {
    const QLocale german(QLocale::German, QLocale::Germany);
    EXPECT_EQ(tracksStatusText(20, 15, 1'234'567'890, german),
              "Tracks:20, selected:15 (1.234,57 MB)");
}

// The C locale leaves thousands separators out unless told otherwise.
TEST(TracksStatusText, GroupsThousandsUnderTheCLocale) {
    EXPECT_EQ(tracksStatusText(20, 15, 1'234'567'890, QLocale::c()),
              "Tracks:20, selected:15 (1,234.57 MB)");
}

// The status bar and the MP3 dialog write megabytes alike; an exact half of
// a hundredth rounds away from zero, not by the binary fraction nearest to it
// (35.505 has none and would read 35.50).
TEST(MegabytesText, HalfAHundredthRoundsAwayFromZeroEverywhere) {
    const struct {
        int64_t bytes;
        const char* text;
    } cases[] = {
        {0, "0.00 MB"},           {4'999, "0.00 MB"},       {5'000, "0.01 MB"},
        {35'505'000, "35.51 MB"}, {35'504'999, "35.50 MB"}, {1'234'565'000, "1,234.57 MB"},
        {-4'000, "0.00 MB"},      {-5'000, "-0.01 MB"},     {-1'234'565'000, "-1,234.57 MB"},
    };
    for (const auto& [bytes, text] : cases)
        EXPECT_EQ(megabytesText(bytes, QLocale::c()), text) << bytes;
    EXPECT_EQ(tracksStatusText(2, 2, 35'505'000, QLocale::c()), "Tracks:2, selected:2 (35.51 MB)");
    EXPECT_EQ(megabytesText(1'234'565'000, QLocale(QLocale::German, QLocale::Germany)),
              "1.234,57 MB");
}

TEST(GroupedNumberText, SeparatorsOfTheLocaleWithTheDecimalsAsked) {
    EXPECT_EQ(groupedNumberText(1234.56, 1, QLocale::c()), "1,234.6");
    EXPECT_EQ(groupedNumberText(1234567.0, 2, QLocale(QLocale::German, QLocale::Germany)),
              "1.234.567,00");
    EXPECT_EQ(groupedNumberText(7.26, 1, QLocale::c()), "7.3");
    EXPECT_EQ(groupedNumberText(999.0, 0, QLocale::c()), "999");
}

TEST(SpeedField, DropsPrintableCharactersOtherThanDigits) {
    for (const char* typed : {"0", "5", "9", "\b"})
        EXPECT_TRUE(speedKeyAccepted(QString::fromLatin1(typed))) << typed;
    for (const char* typed : {"a", "-", "+", " ", ".", "12a", "\xe9"})
        EXPECT_FALSE(speedKeyAccepted(QString::fromLatin1(typed))) << typed;
    // Control keys (Tab, Escape, Delete, Enter) and keys that type nothing
    // (arrows) keep their normal handling.
    for (const char* typed : {"\t", "\x1b", "\x7f", "\r", ""})
        EXPECT_TRUE(speedKeyAccepted(QString::fromLatin1(typed)));
}

TEST(SpeedField, TextThatIsNoNumberIsSpeedZero) {
    EXPECT_EQ(speedFromText(""), 0);
    EXPECT_EQ(speedFromText("x4"), 0);
    EXPECT_EQ(speedFromText("05"), 5);
    EXPECT_EQ(speedFromText("48"), 48);
}

TEST(SpeedField, ZeroOrLessUsesTheDriveDefault) {
    EXPECT_EQ(speedCommandFor(0), SPEEDNONE);
    EXPECT_EQ(speedCommandFor(-1), SPEEDNONE);
    EXPECT_EQ(speedCommandFor(1), SPEEDMMC);
    EXPECT_EQ(speedCommandFor(99), SPEEDMMC);
}

// The status-bar clock and the batch's timing read clocks that tests set.
TEST(Clock, TimeOfDayComesFromTheInstalledSourceUntilItIsRemoved) {
    const auto previous = setTimeOfDaySource([] { return QTime(13, 5, 9); });
    EXPECT_EQ(timeOfDay(), QTime(13, 5, 9));
    EXPECT_EQ(timeOfDay().toString(LongTimeFormat), "13:05:09");
    const auto ours = setTimeOfDaySource(previous);
    ASSERT_TRUE(ours);
    EXPECT_EQ(ours(), QTime(13, 5, 9));

    setTimeOfDaySource({});
    const QTime before = QTime::currentTime();
    const QTime now = timeOfDay();
    EXPECT_TRUE(now.isValid());
    // The system's clock again; a midnight in between is the only way back.
    EXPECT_TRUE(now >= before || before.secsTo(now) < -86000);
}

TEST(Clock, SteadyNowIsTheEngineClock) {
    const EngineHooks saved = engineHooks();
    const auto fixed = std::chrono::steady_clock::time_point(std::chrono::hours(5));
    EngineHooks hooks = saved;
    hooks.now = [fixed] {
        return fixed;
    };
    setEngineHooks(hooks);
    EXPECT_EQ(steadyNow(), fixed);
    hooks.now = nullptr;
    setEngineHooks(hooks);
    const auto before = std::chrono::steady_clock::now();
    EXPECT_GE(steadyNow(), before);
    setEngineHooks(saved);
}

TEST(LongTimeText, HoursWithoutLeadingZero) {
    EXPECT_EQ(longTimeText(0ms), "0:00:00");
    EXPECT_EQ(longTimeText(205'000ms), "0:03:25");
    EXPECT_EQ(longTimeText(999ms), "0:00:00");
    EXPECT_EQ(longTimeText(11h + 2min + 3s), "11:02:03");
    EXPECT_EQ(longTimeText(25h + 1s), "1:00:01");
}

TEST(DeviceChangeEvent, CdDriveEventsBecomeArrivalOrRemoval) {
    EXPECT_EQ(deviceChangeEvent("add", true, false), CR_DEVICE_ARRIVAL);
    EXPECT_EQ(deviceChangeEvent("remove", true, false), CR_DEVICE_REMOVE_COMPLETE);
    EXPECT_EQ(deviceChangeEvent("change", true, true), CR_DEVICE_ARRIVAL);
}

TEST(DeviceChangeEvent, OtherEventsAreNoDeviceChange) {
    EXPECT_EQ(deviceChangeEvent("change", true, false), std::nullopt);
    EXPECT_EQ(deviceChangeEvent("add", false, false), std::nullopt);
    EXPECT_EQ(deviceChangeEvent("change", false, true), std::nullopt);
    EXPECT_EQ(deviceChangeEvent("bind", true, true), std::nullopt);
}

TEST(Platform, LinuxAnswersAsTheNativeInterfaceFamily) {
    overridePlatformInfo(std::nullopt);
    const PlatformInfo info = GetPlatformInfo();
    EXPECT_EQ(info.family, PlatformNT);
    EXPECT_TRUE(info.name.startsWith("Linux ")) << info.name.toStdString();
    EXPECT_GT(info.name.size(), 6);
    EXPECT_GE(info.major, 2);
}
