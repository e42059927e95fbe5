// SPDX-License-Identifier: GPL-3.0-or-later
// The batch's free-space tests: for the whole batch, for each track, and
// the volume they ask about.
#include "BatchTestSupport.h"
#include "DiskSpace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>

using namespace varrow;
using namespace varrow::testing;

namespace {

// The space error for the target folder's volume; `what` is "selected
// tracks" or a quoted file name.
QString notEnoughSpace(const QString& folder, const QString& what) {
    return "Not enough free disk space on \"" +
           QString::fromStdString(volumeMountPoint(folder.toStdString())) + "\" to write " + what +
           "!";
}

} // namespace

TEST_F(Batch, WholeBatchNeedsStrictlyMoreThanItsEstimate) {
    start(2, 100);
    selectRows({0, 1});
    const int64_t need = rowSize(0) + rowSize(1) + 2 * 64000;
    ASSERT_EQ(need, 2 * 99 * 2352 + 2 * 64000);
    int64_t freeBytes = need;
    std::vector<QString> queried;
    form->FreeSpaceQuery = [&](const QString& asked) {
        queried.push_back(asked);
        return freeBytes;
    };
    chooseFolder(out);
    modals->answer(ModalResult::Ok);
    clickWav();
    ASSERT_EQ(modals->messages.size(), 1u);
    EXPECT_EQ(modals->messages[0].text, notEnoughSpace(out, "selected tracks"));
    EXPECT_EQ(modals->messages[0].type, MsgDlgType::Error);
    EXPECT_EQ(queried, std::vector<QString>({out}));
    EXPECT_TRUE(QDir(out).isEmpty());
    EXPECT_FALSE(progress().isVisible());
    expectWindowGivenBack();

    freeBytes = need + 1;
    chooseFolder(out);
    expectCompletion();
    clickWav();
    EXPECT_EQ(trackFilesIn(out).size(), 2);
}

TEST_F(Batch, UnknownFreeSpaceIsTooLittleAndAFailingQueryIsReported) {
    start(1, 100);
    selectRows({0});
    form->FreeSpaceQuery = [](const QString&) {
        return int64_t{-1};
    };
    chooseFolder(out);
    modals->answer(ModalResult::Ok);
    clickWav();
    ASSERT_EQ(modals->messages.size(), 1u);
    EXPECT_TRUE(modals->messages[0].text.startsWith("Not enough free disk space on \""));

    form->FreeSpaceQuery = [](const QString& folderAsked) -> int64_t {
        throw std::system_error(EIO, std::generic_category(), folderAsked.toStdString());
    };
    chooseFolder(out);
    modals->answer(ModalResult::Ok);
    modals->answer(ModalResult::Ok);
    clickWav();
    ASSERT_EQ(modals->messages.size(), 3u);
    EXPECT_EQ(modals->messages[1].text, "Disk access error!\nFolder:\n" + out);
    EXPECT_EQ(modals->messages[1].type, MsgDlgType::Error);
    EXPECT_TRUE(modals->messages[2].text.startsWith("Not enough free disk space on \""));
    EXPECT_TRUE(QDir(out).isEmpty());
    expectWindowGivenBack();
}

TEST_F(Batch, TrackThatDoesNotFitIsLeftOutAndUnselected) {
    start(3, 100);
    selectRows({0, 1, 2});
    // The whole batch fits; then only the first track does.
    std::vector<int64_t> answers = {Plenty, Plenty, rowSize(1) + 64000};
    form->FreeSpaceQuery = [&](const QString&) {
        const int64_t answer = answers.empty() ? Plenty : answers.front();
        if (!answers.empty())
            answers.erase(answers.begin());
        return answer;
    };
    chooseFolder(out);
    modals->answer(ModalResult::Ok);
    expectCompletion();
    clickWav();
    ASSERT_EQ(modals->messages.size(), 2u);
    EXPECT_EQ(modals->messages[0].text, notEnoughSpace(out, "\"02_Track02.wav\""));
    EXPECT_EQ(modals->messages[0].owner, &progress());
    EXPECT_TRUE(modals->messages[1].text.startsWith("Extract is complete."));
    EXPECT_EQ(trackFilesIn(out), QStringList({"01_Track01.wav", "03_Track03.wav"}));
    EXPECT_TRUE(selectedRows().empty());
}

TEST(DiskSpace, MountPointIsTheTopOfTheFoldersVolume) {
    EXPECT_EQ(volumeMountPoint("/"), "/");
    EXPECT_EQ(volumeMountPoint("/proc/self"), "/proc");
    EXPECT_EQ(volumeMountPoint("/no/such/folder"), "");
    QTemporaryDir dir;
    const std::string mount = volumeMountPoint(dir.path().toStdString());
    ASSERT_FALSE(mount.empty());
    EXPECT_TRUE(dir.path().toStdString().starts_with(mount));
    struct stat inside {};
    struct stat top {};
    ASSERT_EQ(stat(dir.path().toLocal8Bit().constData(), &inside), 0);
    ASSERT_EQ(stat(mount.c_str(), &top), 0);
    EXPECT_EQ(inside.st_dev, top.st_dev);
    if (mount != "/") {
        struct stat above {};
        ASSERT_EQ(stat(std::filesystem::path(mount).parent_path().c_str(), &above), 0);
        EXPECT_NE(above.st_dev, top.st_dev);
    }
}

TEST(DiskSpace, FreeBytesOfARealVolume) {
    QTemporaryDir dir;
    EXPECT_GT(volumeFreeBytes(dir.path().toStdString()), 0);
    EXPECT_THROW(volumeFreeBytes("/no/such/folder"), std::system_error);
}
