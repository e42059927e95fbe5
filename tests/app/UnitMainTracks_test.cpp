// SPDX-License-Identifier: GPL-3.0-or-later
// The drive lists and the track list: rows, selection, the status summary,
// drive choice and disc changes.
#include "ShellTestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QIcon>
#include <QLineEdit>
#include <QStatusBar>
#include <QStyleHints>
#include <QTableView>
#include <QTest>
#include <QToolButton>

using namespace varrow;
using namespace varrow::testing;

namespace {

class TrackListWindow : public ShellTest {
protected:
    // Three tracks, the middle one data; rows 1 and 3 hold 10,000,704 and
    // 25,498,032 bytes.
    std::shared_ptr<cdlib::VirtualDrive> startWithMixedDisc() {
        auto drive = addDrive("VIRTUAL Mixed", discOf({audio(4253), data(750), audio(10842)}));
        createWindow();
        return drive;
    }

    QString tracksText() const { return statusText(PANEL_TRACKS); }

    void chooseNextDrive(QComboBox* list) {
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Down);
    }
};

} // namespace

TEST_F(TrackListWindow, RowsOfADataTrackAndStateImages) {
    startWithMixedDisc();
    ASSERT_EQ(rowCount(), 3);
    EXPECT_EQ(rowTexts(0),
              QStringList({"Track01", "01", "Audio", "0:00:56", "10000704", "0", "4252"}));
    EXPECT_EQ(rowTexts(1),
              QStringList({"DataTrack02", "02", "Data", "0:00:09", "1533952", "4253", "5002"}));
    EXPECT_EQ(rowTexts(2),
              QStringList({"Track03", "03", "Audio", "0:02:24", "25498032", "5003", "15844"}));
    const auto stateImage = [this](int row) {
        return titleData(row, StateImageRole).toInt();
    };
    EXPECT_EQ(stateImage(0), AudioStateImage);
    EXPECT_EQ(stateImage(1), DataStateImage);
    EXPECT_EQ(stateImage(2), AudioStateImage);
    EXPECT_FALSE(titleData(0, Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_TRUE(ui.ListView1->isColumnHidden(COL_STARTSECTOR));
    EXPECT_TRUE(ui.ListView1->isColumnHidden(COL_ENDSECTOR));
    EXPECT_EQ(tracksText(), "Tracks:3");
}

TEST_F(TrackListWindow, CdTextTitlesNameAudioRowsAndTheCaptionNamesTheDisc) {
    cdlib::VirtualDisc disc = discOf({audio(300), data(300), audio(300), audio(300)});
    disc.text.set(0, CDTEXT_TITLE, "Tram Lines");
    disc.text.set(0, CDTEXT_PERFORMER, "The Conductors");
    disc.text.set(1, CDTEXT_TITLE, "AC/DC");
    disc.text.set(2, CDTEXT_TITLE, "Data Title");
    disc.text.set(4, CDTEXT_PERFORMER, "Guest");
    auto drive = addDrive("VIRTUAL Text", disc);
    createWindow();
    const auto titles = [this] {
        QStringList shown;
        for (int row = 0; row < rowCount(); ++row)
            shown << rowTexts(row)[COL_TITLE];
        return shown;
    };
    EXPECT_EQ(titles(), QStringList({"AC/DC", "DataTrack02", "Track03", "Track04"}));
    EXPECT_EQ(titleData(3, Qt::ToolTipRole).toString(), "Guest");
    EXPECT_EQ(titleData(0, Qt::ToolTipRole).toString(), "");
    EXPECT_EQ(form->windowTitle(), "Varrow - The Conductors - Tram Lines");
    EXPECT_EQ(statusText(PANEL_DISC), "CD is loaded");
    EXPECT_TRUE(ui.ListView1->model()->flags(ui.ListView1->model()->index(0, COL_TITLE)) &
                Qt::ItemIsEditable);

    drive->insertDisc(discOf({audio(300), audio(300)}));
    processEvents();
    EXPECT_EQ(titles(), QStringList({"Track01", "Track02"}));
    EXPECT_EQ(form->windowTitle(), "Varrow");
}

TEST_F(TrackListWindow, TrackNumbersHaveTwoDigitsUpToNine) {
    addDrive("VIRTUAL Long", discOf(std::vector<cdlib::VirtualTrack>(11, audio(100))));
    createWindow();
    ASSERT_EQ(rowCount(), 11);
    EXPECT_EQ(rowTexts(8)[COL_TRACK], "09");
    EXPECT_EQ(rowTexts(9)[COL_TRACK], "10");
    EXPECT_EQ(rowTexts(9)[COL_TITLE], "Track10");
    EXPECT_EQ(rowTexts(10)[COL_TRACK], "11");
}

TEST_F(TrackListWindow, SelectingRowsOneAndThreeSumsTheirSizes) {
    startWithMixedDisc();
    clickRow(0);
    EXPECT_EQ(tracksText(), "Tracks:3, selected:1 (10.00 MB)");
    clickRow(2, Qt::ControlModifier);
    EXPECT_EQ(tracksText(), "Tracks:3, selected:2 (35.50 MB)");
    EXPECT_EQ(ui.StatusBar1->toolTip(), "Tracks:3, selected:2 (35.50 MB)");

    clickRow(0, Qt::ControlModifier);
    EXPECT_EQ(tracksText(), "Tracks:3, selected:1 (25.50 MB)");
    clickRow(2, Qt::ControlModifier);
    EXPECT_EQ(tracksText(), "Tracks:3");
}

TEST_F(TrackListWindow, ADataRowIsRefusedByClick) {
    startWithMixedDisc();
    clickRow(0);
    clickRow(1, Qt::ControlModifier);
    EXPECT_FALSE(isRowSelected(1));
    EXPECT_TRUE(isRowSelected(0));
    EXPECT_EQ(tracksText(), "Tracks:3, selected:1 (10.00 MB)");

    clickRow(1);
    EXPECT_TRUE(selectedRows().empty());
    EXPECT_EQ(tracksText(), "Tracks:3");
}

TEST_F(TrackListWindow, ADataRowIsRefusedByShiftRange) {
    startWithMixedDisc();
    clickRow(0);
    clickRow(2, Qt::ShiftModifier);
    EXPECT_TRUE(isRowSelected(0));
    EXPECT_FALSE(isRowSelected(1));
    EXPECT_TRUE(isRowSelected(2));
    EXPECT_EQ(tracksText(), "Tracks:3, selected:2 (35.50 MB)");
}

TEST_F(TrackListWindow, SelectAllLeavesDataRowsOutAndClearAllEmptiesTheSelection) {
    startWithMixedDisc();
    QTest::mouseClick(ui.ToolButton_SelectAll, Qt::LeftButton);
    EXPECT_TRUE(isRowSelected(0));
    EXPECT_FALSE(isRowSelected(1));
    EXPECT_TRUE(isRowSelected(2));
    EXPECT_EQ(tracksText(), "Tracks:3, selected:2 (35.50 MB)");

    QTest::mouseClick(ui.ToolButton_ClearAll, Qt::LeftButton);
    EXPECT_TRUE(selectedRows().empty());
    EXPECT_EQ(tracksText(), "Tracks:3");
}

TEST_F(TrackListWindow, SelectAndClearDoNothingDuringABatch) {
    startWithMixedDisc();
    whileABatchWindsUp(0, [this] {
        QTest::mouseClick(ui.ToolButton_SelectAll, Qt::LeftButton);
        EXPECT_FALSE(isRowSelected(2));
        QTest::mouseClick(ui.ToolButton_ClearAll, Qt::LeftButton);
        EXPECT_TRUE(isRowSelected(0));
    });
}

TEST_F(TrackListWindow, RightButtonDeselectsTheFocusedRow) {
    startWithMixedDisc();
    clickRow(0);
    clickRow(2, Qt::ControlModifier);
    ASSERT_EQ(ui.ListView1->currentIndex().row(), 2);
    QTableView* list = ui.ListView1;
    QTest::mouseClick(list->viewport(), Qt::RightButton, Qt::NoModifier,
                      list->visualRect(list->model()->index(0, COL_TRACK)).center());
    EXPECT_TRUE(isRowSelected(0));
    EXPECT_FALSE(isRowSelected(2));
    EXPECT_EQ(tracksText(), "Tracks:3, selected:1 (10.00 MB)");
}

TEST_F(TrackListWindow, RefreshRebuildsTheListAndResetsTheSummary) {
    startWithMixedDisc();
    QTest::mouseClick(ui.ToolButton_SelectAll, Qt::LeftButton);
    QTest::mouseClick(ui.ToolButton_RefreshTracks, Qt::LeftButton);
    EXPECT_EQ(rowCount(), 3);
    EXPECT_TRUE(selectedRows().empty());
    EXPECT_EQ(tracksText(), "Tracks:3");
    EXPECT_EQ(ui.StatusBar1->toolTip(), "Tracks:3");
}

TEST_F(TrackListWindow, AnEditedTitleStaysUntilTheNextRefresh) {
    startWithMixedDisc();
    clickRow(0);
    // A second click on the focused row's title edits it in place.
    QTableView* list = ui.ListView1;
    const QPoint title = list->visualRect(list->model()->index(0, COL_TITLE)).center();
    QTest::qWait(QApplication::styleHints()->mouseDoubleClickInterval() + 50);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, title);
    QLineEdit* editor = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        editor = list->viewport()->findChild<QLineEdit*>();
        return editor != nullptr && editor->isVisible();
    }));
    editor->selectAll();
    QTest::keyClicks(editor, "Intro / Live");
    QTest::keyClick(editor, Qt::Key_Return);
    // The list takes the edited text over from a queued call.
    processEvents();
    EXPECT_EQ(rowTexts(0)[COL_TITLE], "Intro / Live");

    QTest::mouseClick(ui.ToolButton_SelectAll, Qt::LeftButton);
    QTest::mouseClick(ui.ToolButton_ClearAll, Qt::LeftButton);
    EXPECT_EQ(rowTexts(0)[COL_TITLE], "Intro / Live");

    QTest::mouseClick(ui.ToolButton_RefreshTracks, Qt::LeftButton);
    EXPECT_EQ(rowTexts(0)[COL_TITLE], "Track01");
}

TEST_F(TrackListWindow, OnlyTheTitleIsEditable) {
    startWithMixedDisc();
    const QAbstractItemModel* model = ui.ListView1->model();
    EXPECT_TRUE(model->flags(model->index(0, COL_TITLE)) & Qt::ItemIsEditable);
    for (int column = COL_TRACK; column < TRACK_COLUMNS; ++column)
        EXPECT_FALSE(model->flags(model->index(0, column)) & Qt::ItemIsEditable) << column;
}

TEST_F(TrackListWindow, ChoosingAnotherDriveListsItsDiscInBothLists) {
    addDrive("VIRTUAL One", discOf({audio(300)}));
    addDrive("VIRTUAL Two", discOf({audio(300), audio(300), data(300)}));
    createWindow();
    chooseNextDrive(ui.ComboBoxDrive);
    EXPECT_EQ(form->engine().CDRomNum(), 1);
    EXPECT_EQ(ui.ComboBoxDrive2->currentIndex(), 1);
    EXPECT_EQ(rowCount(), 3);
    EXPECT_EQ(ui.ComboBoxDrive->toolTip(), "[1]:VIRTUAL Two");
    EXPECT_EQ(ui.ComboBoxDrive2->toolTip(), "[1]:VIRTUAL Two");

    ui.ComboBoxDrive2->setFocus();
    QTest::keyClick(ui.ComboBoxDrive2, Qt::Key_Up);
    EXPECT_EQ(ui.ComboBoxDrive->currentIndex(), 0);
    EXPECT_EQ(form->engine().CDRomNum(), 0);
    EXPECT_EQ(rowCount(), 1);
}

TEST_F(TrackListWindow, ChoosingAnotherDriveDuringPlaybackOrABatchPutsTheListBack) {
    addDrive("VIRTUAL One", discOf({audio(300), audio(300)}));
    addDrive("VIRTUAL Two", discOf({audio(300)}));
    createWindow();
    const auto expectTheListKept = [this] {
        chooseNextDrive(ui.ComboBoxDrive);
        EXPECT_EQ(ui.ComboBoxDrive->currentIndex(), 0);
        EXPECT_EQ(ui.ComboBoxDrive2->currentIndex(), 0);
        // While the drive plays, the Options tab's list and the refresh
        // button are locked as well; once a batch has given the window back
        // they refuse in their turn.
        if (ui.ComboBoxDrive2->isEnabled()) {
            chooseNextDrive(ui.ComboBoxDrive2);
            EXPECT_EQ(ui.ComboBoxDrive2->currentIndex(), 0);
            EXPECT_EQ(ui.ComboBoxDrive->currentIndex(), 0);
        }
        QTest::mouseClick(ui.ToolButton_RefreshTracks, Qt::LeftButton);
        EXPECT_EQ(rowCount(), 2);
        EXPECT_EQ(form->engine().CDRomNum(), 0);
    };
    click(ui.ToolButton_Play);
    ASSERT_EQ(form->state(), WindowState::Playing);
    EXPECT_FALSE(ui.ComboBoxDrive2->isEnabled());
    EXPECT_FALSE(ui.ToolButton_RefreshTracks->isEnabled());
    expectTheListKept();
    click(ui.ToolButton_Stop);
    whileABatchWindsUp(0, [&] {
        ASSERT_TRUE(ui.ComboBoxDrive2->isEnabled());
        expectTheListKept();
    });
}

TEST_F(TrackListWindow, DiscChangesAreIgnoredDuringPlaybackOrABatch) {
    auto drive = addDrive("VIRTUAL One", discOf({audio(300), audio(600)}));
    createWindow();
    const auto expectTheListKept = [this] {
        EXPECT_EQ(rowCount(), 2);
        EXPECT_EQ(statusText(PANEL_DISC), "CD is loaded");
    };
    click(ui.ToolButton_Play);
    ASSERT_EQ(form->state(), WindowState::Playing);
    drive->ejectDisc();
    processEvents();
    expectTheListKept();
    drive->insertDisc(discOf({audio(300), audio(600)}));
    processEvents();
    click(ui.ToolButton_Stop);
    // The disc being read stays in; the notifications come all the same.
    whileABatchWindsUp(0, [&] {
        form->WMDeviceChange(CR_DEVICE_REMOVE_COMPLETE);
        form->WMDeviceChange(CR_DEVICE_ARRIVAL);
        expectTheListKept();
    });
    form->WMDeviceChange(0x0007);
    drive->ejectDisc();
    processEvents();
    EXPECT_EQ(rowCount(), 0);
}

TEST_F(TrackListWindow, ADriveWithoutNameIsListedAsWrongName) {
    addDrive("", discOf({audio(300)}));
    createWindow();
    ASSERT_EQ(ui.ComboBoxDrive->count(), 1);
    EXPECT_EQ(ui.ComboBoxDrive->itemText(0), "[0]:wrong CD-ROM name");
    EXPECT_EQ(rowCount(), 1);
}

TEST_F(TrackListWindow, ADiscInsertedOrEjectedRefreshesTheList) {
    auto drive = addDrive("VIRTUAL One", std::nullopt);
    createWindow();
    EXPECT_EQ(statusText(PANEL_DISC), "no CD");
    EXPECT_EQ(tracksText(), "Tracks:0");

    drive->insertDisc(discOf({audio(300), audio(600)}));
    processEvents();
    EXPECT_EQ(rowCount(), 2);
    EXPECT_EQ(statusText(PANEL_DISC), "CD is loaded");
    EXPECT_EQ(tracksText(), "Tracks:2");

    drive->ejectDisc();
    processEvents();
    EXPECT_EQ(rowCount(), 0);
    EXPECT_EQ(statusText(PANEL_DISC), "no CD");
    EXPECT_EQ(tracksText(), "Tracks:0");
}

TEST_F(TrackListWindow, ADiscWhoseContentsCannotBeReadIsNoCd) {
    auto drive = addDrive("VIRTUAL One", discOf({audio(300)}));
    drive->faults().failing.insert("CR_ReadToc");
    createWindow();
    EXPECT_EQ(rowCount(), 0);
    EXPECT_EQ(statusText(PANEL_DISC), "no CD");
    EXPECT_EQ(tracksText(), "Tracks:0");
}
