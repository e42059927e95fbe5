// SPDX-License-Identifier: GPL-3.0-or-later
// The whole road from the window to files on disk, through a BIN/CUE image
// listed as a drive: every WAV file holds exactly the image's audio, and the
// MP3 files decode to the tracks' length at the bitrates chosen; the FLAC
// files decode to the image's audio.
#include "FlacFiles.h"
#include "Mp3Tags.h"
#include "Mp3TestSupport.h"
#include "ShellTestSupport.h"
#include "TestImages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <fstream>
#include <map>
#include <set>

using namespace varrow;
using namespace varrow::testing;

namespace {

const std::vector<cdlib::testing::ImageTrack> DiscTracks = {
    {300, false}, {451, false}, {376, false}, {150, true}};
constexpr int AudioTracks = 3;

class BatchEndToEnd : public ShellTest {
protected:
    cdlib::testing::TestImage image;

    void SetUp() override {
        ShellTest::SetUp();
        image = cdlib::testing::writeImage(folder.path().toStdString(), "disc", DiscTracks);
        std::ofstream settings(settingsFile.toStdString());
        settings << "[CDLIB]\nIMAGE1=" << image.descriptor.string() << "\n";
        settings.close();
        createWindow();
        ASSERT_EQ(rowCount(), 4);
    }

    // Selects every track with the tool button (the data track refuses) and
    // runs a batch into `target`, answering the dialogs.
    void ripAll(QToolButton* button, const QString& target,
                const std::function<void(TMP3Dlg&)>& choose = {}) {
        ASSERT_TRUE(QDir().mkpath(target));
        QTest::mouseClick(ui.ToolButton_SelectAll, Qt::LeftButton);
        ASSERT_EQ(static_cast<int>(selectedRows().size()), AudioTracks);
        if (button == ui.ToolButton_RipMP3) {
            modals->dialogAnswers.emplace_back([choose](QDialog& dialog) {
                if (choose)
                    choose(static_cast<TMP3Dlg&>(dialog));
                return int{QDialog::Accepted};
            });
        }
        modals->saveAnswers.emplace_back(target + "/x");
        modals->answer(ModalResult::Ok);
        QTest::mouseClick(button, Qt::LeftButton);
        ASSERT_EQ(modals->messages.size(), 1u);
        EXPECT_TRUE(modals->messages[0].text.startsWith("Extract is complete."));
        modals->messages.clear();
        EXPECT_EQ(static_cast<int>(selectedRows().size()), 0);
    }

    static std::vector<uint8_t> readAll(const QString& path) {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
        const QByteArray bytes = file.readAll();
        return {bytes.begin(), bytes.end()};
    }

    // Frames per channel of each audio track.
    int64_t trackFrames(int track) const {
        return int64_t{image.starts[track + 1] - image.starts[track]} * 588;
    }

    // Decodes every MP3 file of `target`; each must last as long as its
    // track plus at most the encoder's delay and the padding of its last
    // frames (ffmpeg plays them). Returns the frame headers.
    std::vector<std::vector<FrameHeader>> checkMp3Files(const QString& target) {
        std::vector<std::vector<FrameHeader>> headers;
        TempDir scratch;
        for (int track = 0; track < AudioTracks; ++track) {
            const QString name = QStringLiteral("%1/0%2_Track0%2.mp3").arg(target).arg(track + 1);
            const std::vector<uint8_t> bytes = withoutId3Tags(readAll(name));
            headers.push_back(splitFrames(bytes));
            const DecodedAudio decoded = decodeWithFfmpeg(name.toStdString(), 2, scratch);
            const auto frames = static_cast<int64_t>(decoded.frames());
            EXPECT_GE(frames, trackFrames(track)) << name.toStdString();
            EXPECT_LT(frames, trackFrames(track) + 3 * 1152) << name.toStdString();
        }
        return headers;
    }
};

} // namespace

TEST_F(BatchEndToEnd, WavFilesHoldTheImagesAudio) {
    const QString target = folder.filePath(QStringLiteral("wav"));
    ripAll(ui.ToolButton_RipWav, target);
    EXPECT_EQ(trackFilesIn(target),
              QStringList({"01_Track01.wav", "02_Track02.wav", "03_Track03.wav"}));
    for (int track = 0; track < AudioTracks; ++track) {
        SCOPED_TRACE(track + 1);
        const std::vector<uint8_t> file =
            readAll(QStringLiteral("%1/0%2_Track0%2.wav").arg(target).arg(track + 1));
        const std::vector<uint8_t> expected =
            cdlib::testing::imageAudio(image.starts[track], image.starts[track + 1] - 1);
        ASSERT_EQ(file.size(), 44 + expected.size());
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), file.begin() + 44));
        const uint32_t dataSize =
            file[40] | file[41] << 8 | file[42] << 16 | uint32_t{file[43]} << 24;
        EXPECT_EQ(dataSize, expected.size());
    }
}

TEST_F(BatchEndToEnd, FlacFilesDecodeToTheImagesAudioAndCarryTheAlbumsGain) {
    const QString target = folder.filePath(QStringLiteral("flac"));
    ripAll(ui.ToolButton_RipFlac, target);
    for (int track = 0; track < AudioTracks; ++track) {
        SCOPED_TRACE(track + 1);
        const DecodedFlac decoded = decodeFlac(
            QStringLiteral("%1/0%2_Track0%2.flac").arg(target).arg(track + 1).toStdString());
        ASSERT_TRUE(decoded.ok) << "decoded whole, its MD5 that of the audio";
        EXPECT_EQ(decoded.pcm,
                  cdlib::testing::imageAudio(image.starts[track], image.starts[track + 1] - 1));
        EXPECT_EQ(std::count_if(decoded.comments.begin(), decoded.comments.end(),
                                [](const std::string& comment) {
                                    return comment.starts_with("REPLAYGAIN_ALBUM_GAIN=");
                                }),
                  1);
    }
}

TEST_F(BatchEndToEnd, Mp3FilesAtConstantAndVariableBitrates) {
    const QString constant = folder.filePath(QStringLiteral("cbr"));
    ripAll(ui.ToolButton_RipMP3, constant);
    for (const auto& frames : checkMp3Files(constant)) {
        ASSERT_GT(frames.size(), 2u);
        for (const FrameHeader& frame : frames) {
            EXPECT_EQ(frame.bitrateKbps, 128u);
            EXPECT_EQ(frame.channelMode, 1) << "joint stereo";
        }
    }

    const QString variable = folder.filePath(QStringLiteral("vbr"));
    ripAll(ui.ToolButton_RipMP3, variable, [](TMP3Dlg& dialog) {
        dialog.CheckBox_VBR->setChecked(true);
        dialog.ComboBox_MaxBitrate->setCurrentIndex(0);
    });
    for (int track = 0; track < AudioTracks; ++track) {
        const std::vector<uint8_t> bytes = withoutId3Tags(
            readAll(QStringLiteral("%1/0%2_Track0%2.mp3").arg(variable).arg(track + 1)));
        const std::optional<XingTag> tag = findXingTag(bytes);
        ASSERT_TRUE(tag.has_value());
        EXPECT_EQ(tag->magic, "Xing");
    }
    for (const auto& frames : checkMp3Files(variable)) {
        std::set<uint32_t> bitrates;
        for (const FrameHeader& frame : frames) {
            EXPECT_LE(frame.bitrateKbps, 320u);
            bitrates.insert(frame.bitrateKbps);
        }
        EXPECT_GT(bitrates.size(), 1u) << "a variable bitrate";
    }
}

TEST_F(BatchEndToEnd, Mp3FilesAreTaggedFromTheirRows) {
    // An edited title names the file and fills its tags; N counts the
    // audio tracks, not the data track.
    const QString edited = QStringLiteral("Ça va — Żółw");
    editTitle(1, edited);
    const QString target = folder.filePath(QStringLiteral("tagged"));
    ripAll(ui.ToolButton_RipMP3, target);

    struct Expected {
        QString file;
        std::string title;
        std::string titleV1; // Latin-1, '?' for what it lacks, as Qt converts
    };
    const std::vector<Expected> expected = {
        {"01_Track01.mp3", "Track01", "Track01"},
        {"02_" + edited + ".mp3", edited.toStdString(), edited.toLatin1().toStdString()},
        {"03_Track03.mp3", "Track03", "Track03"}};
    for (std::size_t track = 0; track < expected.size(); ++track) {
        const std::string file = (target + "/" + expected[track].file).toStdString();
        SCOPED_TRACE(file);
        const std::string number = std::to_string(track + 1);
        const std::map<std::string, std::string> tags{{"title", expected[track].title},
                                                      {"track", number + "/3"},
                                                      {"encoder", "Varrow " VARROW_VERSION}};
        // What the ReplayGain tags hold is the engine's (RipSession); the
        // FLAC files show the option reaches it.
        std::map<std::string, std::string> found = ffprobeTags(file);
        for (const char* replayGain : {"replaygain_track_gain", "replaygain_track_peak",
                                       "replaygain_album_gain", "replaygain_album_peak"})
            found.erase(replayGain);
        EXPECT_EQ(found, tags);
        const Id3v1Fields v1 = readId3v1(file);
        EXPECT_TRUE(v1.present);
        EXPECT_EQ(v1.title, expected[track].titleV1);
        EXPECT_EQ(v1.track, static_cast<int>(track + 1));
    }
}
