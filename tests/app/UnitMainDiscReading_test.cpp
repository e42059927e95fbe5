// SPDX-License-Identifier: GPL-3.0-or-later
// Reading the disc as it is. The Detect button beside the read offset: with
// a drive that reads 667 samples late and a local database that knows the
// disc, the search runs behind a progress box while the window stays
// responsive, the offset found is offered, and taken it is shown, applied
// and saved for the drive. Audio a disc hides before track 1 is listed
// first, as the hidden track, and selected with the rest.
#include "ServedChecksums.h"
#include "ShellTestSupport.h"
#include "TestImages.h"
#include "TrackTableModel.h"

#include <QProgressDialog>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

using namespace varrow;
using namespace varrow::testing;

namespace {

constexpr int32_t kOffset = 667;

TEST_F(ShellTest, DetectFindsTheDrivesOffsetAndStoresItWhenTaken) {
    // The disc as it is, tracks of 470 and 460 sectors: noise, so that no
    // shift but the drive's matches.
    std::vector<uint8_t> disc((470 + 460) * 2352);
    uint32_t noise = 588;
    for (uint8_t& byte : disc) {
        noise = noise * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(noise >> 24);
    }
    const auto trackTwo = disc.begin() + 470 * 2352;
    const std::vector<std::vector<uint8_t>> tracks = {{disc.begin(), trackTwo},
                                                      {trackTwo, disc.end()}};
    LocalHttpServer server;
    serveChecksums(server, tracks, 4);
    qputenv("VARROW_ACCURATERIP_URL", QByteArray::fromStdString(server.url()));

    cdlib::VirtualDisc shifted = discOf({audio(470), audio(460)});
    // Sample k of the drive is the disc's sample k - 667.
    shifted.audio = [disc](int32_t sector, std::span<uint8_t> bytes) {
        const int64_t from = int64_t{sector} * 2352 - 4 * kOffset;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const int64_t at = from + static_cast<int64_t>(i);
            bytes[i] = at >= 0 && at < static_cast<int64_t>(disc.size())
                           ? disc[static_cast<std::size_t>(at)]
                           : 0;
        }
    };
    addDrive("VIRTUAL Late", shifted);
    createWindow();
    ui.PageControl1->setCurrentIndex(1);
    auto* spin = form->findChild<QSpinBox*>(QStringLiteral("SpinEdit_ReadOffset"));
    auto* detect = form->findChild<QPushButton*>(QStringLiteral("Button_DetectOffset"));
    ASSERT_NE(spin, nullptr);
    ASSERT_NE(detect, nullptr);
    EXPECT_EQ(spin->value(), 0);

    modals->answer(ModalResult::Yes);
    detect->click();
    EXPECT_NE(form->findChild<QProgressDialog*>(QStringLiteral("ProgressDialog_DetectOffset")),
              nullptr)
        << "the search runs behind a progress box, not in the click";
    ASSERT_TRUE(QTest::qWaitFor([this] { return !modals->messages.empty(); }, 30000));
    ASSERT_EQ(modals->messages.size(), 1u);
    EXPECT_EQ(modals->messages[0].text,
              QStringLiteral("Read offset: +667 (confidence 4, matched on tracks 1 and 2)\n\n"
                             "Store this read offset for the drive?"));
    EXPECT_EQ(modals->messages[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(spin->value(), kOffset);
    EXPECT_EQ(form->engine().ReadOffset(), kOffset);
    const std::vector<std::string> drives = settingsOnDisk().sectionsStartingWith("CDLIB DRIVE ");
    ASSERT_EQ(drives.size(), 1u);
    EXPECT_EQ(settingsOnDisk().value(drives[0], "READOFFSET"), "667");
    processEvents();
    EXPECT_EQ(form->findChild<QProgressDialog*>(QStringLiteral("ProgressDialog_DetectOffset")),
              nullptr);
}

TEST_F(ShellTest, AudioBeforeTrackOneIsListedAsTheHiddenTrackAndSelectedWithTheRest) {
    cdlib::testing::ImageCodes codes;
    codes.tracks = {{"", 30 * 75}};
    const cdlib::testing::TestImage image = cdlib::testing::writeImage(
        folder.path().toStdString(), "hidden", {{30 * 75 + 120, false}, {90, false}},
        cdlib::testing::ImageFormat::Cue, {}, codes);
    writeSettings("[CDLIB]\nIMAGE1=" + image.descriptor.string() + "\n");
    createWindow();
    ASSERT_EQ(rowCount(), 3);
    EXPECT_EQ(rowTexts(0)[COL_TITLE], QStringLiteral("Hidden track"));
    EXPECT_EQ(rowTexts(0)[COL_TRACK], QStringLiteral("00"));
    EXPECT_EQ(rowTexts(0)[COL_STARTSECTOR], QStringLiteral("0"));
    EXPECT_EQ(rowTexts(0)[COL_ENDSECTOR], QStringLiteral("2249"));
    EXPECT_EQ(rowTexts(1)[COL_TRACK], QStringLiteral("01"));
    click(ui.ToolButton_SelectAll);
    EXPECT_EQ(selectedRows(), (std::vector<int>{0, 1, 2}));
}

} // namespace
