// SPDX-License-Identifier: GPL-3.0-or-later
// SIGTERM and SIGHUP, with which a desktop ends its session: the window
// closes as its close box does (the options saved, playback stopped, the
// tray unlocked), asks nothing, and a batch in hand is aborted first.
#include "BatchTestSupport.h"

#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <csignal>
#include <fstream>
#include <string>
#include <thread>
#include <tuple>

using namespace varrow;
using namespace varrow::testing;

namespace {

enum class Doing { Nothing, Playing, Ripping };

// A signal, and what the window is doing when it comes.
using Ending = std::tuple<int, Doing>;

const char* const DoingNames[] = {"Idle", "Playing", "Ripping"};

class SessionEnd : public Batch, public ::testing::WithParamInterface<Ending> {};

} // namespace

TEST_P(SessionEnd, ClosesTheWindowAsItsCloseBoxDoesWithoutAsking) {
    const auto [signalNumber, doing] = GetParam();
    start(2);
    toggleOption(ui.CheckBox_AddNum2FName);
    ASSERT_EQ(settingsOnDisk().value("OPTIONS", "ADDNOTOFILENAME"), std::nullopt);
    if (doing == Doing::Ripping) {
        selectRows({0, 1});
        chooseFolder(out);
        atProgress(0, 30, [signalNumber] { std::raise(signalNumber); });
        // The batch reports its end as ever; no other box opens.
        expectCompletion();
        clickWav();
        EXPECT_TRUE(QFileInfo::exists(out + "Track01.wav"));
        EXPECT_FALSE(QFileInfo::exists(out + "Track02.wav")) << "the batch was aborted";
    } else {
        if (doing == Doing::Playing)
            click(ui.ToolButton_Play);
        ASSERT_TRUE(drive->playing() == (doing == Doing::Playing));
        std::raise(signalNumber);
        EXPECT_TRUE(QTest::qWaitFor([this] { return !form->isVisible(); }));
    }
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(settingsOnDisk().value("OPTIONS", "ADDNOTOFILENAME"), "0");
    EXPECT_FALSE(drive->playing());
    EXPECT_FALSE(drive->locked());
    EXPECT_EQ(modals->messages.size(), doing == Doing::Ripping ? 1u : 0u);
}

// SIGHUP is handled as SIGTERM is: once is enough for it.
INSTANTIATE_TEST_SUITE_P(
    SignalsAndStates, SessionEnd,
    ::testing::Values(Ending{SIGTERM, Doing::Nothing}, Ending{SIGTERM, Doing::Playing},
                      Ending{SIGTERM, Doing::Ripping}, Ending{SIGHUP, Doing::Nothing}),
    [](const ::testing::TestParamInfo<Ending>& info) {
        return std::string(std::get<0>(info.param) == SIGTERM ? "Term" : "Hangup") +
               DoingNames[static_cast<int>(std::get<1>(info.param))];
    });

namespace {

// Whether `pid` has a handler of its own for `signalNumber` (SigCgt).
bool catches(qint64 pid, int signalNumber) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("SigCgt:", 0) == 0)
            return (std::stoull(line.substr(7), nullptr, 16) >> (signalNumber - 1)) & 1;
    }
    return false;
}

} // namespace

// The program itself, without a drive: its start-up box waits for an answer
// that never comes when SIGTERM arrives.
TEST(SessionEndOfTheProgram, SigtermSavesTheOptionsAndEndsTheProgram) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString settings = folder.filePath(QStringLiteral("Varrow.INI"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VARROW_SETTINGS_FILE"), settings);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.remove(QStringLiteral("VARROW_CD_IMAGES"));
    QProcess varrow;
    varrow.setProcessEnvironment(environment);
    varrow.start(QStringLiteral(VARROW_APP), {});
    ASSERT_TRUE(varrow.waitForStarted(30000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return catches(varrow.processId(), SIGTERM); }, 30000))
        << "the program never set up its handler";
    // Let the start-up box open.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    varrow.terminate();
    ASSERT_TRUE(varrow.waitForFinished(30000));
    EXPECT_EQ(varrow.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(varrow.exitCode(), 0);
    const SettingsOnDisk saved(settings.toStdString());
    EXPECT_EQ(saved.value("OPTIONS", "HINTS"), "1");
}
