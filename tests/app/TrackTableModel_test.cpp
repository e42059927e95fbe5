// The model behind the track list: each row's values from the engine's track
// table and the disc's CD-Text, and the titles the user types over them.
#include "ShellTestSupport.h"
#include "TrackTableModel.h"

using namespace varrow;
using namespace varrow::testing;

namespace {

class TrackModel : public ShellTest {
protected:
    // An audio track titled by the disc, a data track the disc titles too,
    // and an untitled audio track.
    void SetUp() override {
        ShellTest::SetUp();
        cdlib::VirtualDisc disc = discOf({audio(300), data(750), audio(4500)});
        disc.text.set(1, CDTEXT_TITLE, "Opening");
        disc.text.set(1, CDTEXT_PERFORMER, "Guest");
        disc.text.set(2, CDTEXT_TITLE, "Backup");
        addDrive("VIRTUAL Model", disc);
        engine.setCDRomNum(0);
        model.showDisc(engine);
    }

    TCDRIP engine;
    TrackTableModel model;
};

} // namespace

TEST_F(TrackModel, RowsHoldTheTableAndTheDiscText) {
    const struct {
        bool audio;
        const char* number;
        const char* title;
        const char* discTitle;
        int64_t size;
        uint32_t start;
        uint32_t end;
    } rows[] = {
        {true, "01", "Opening", "Opening", 299 * 2352, 0, 299},
        {false, "02", "DataTrack02", "", 749 * 2048, 300, 1049},
        {true, "03", "Track03", "", 4499 * 2352, 1050, 5549},
    };
    ASSERT_EQ(model.rowCount(), 3);
    ASSERT_EQ(model.columnCount(), TRACK_COLUMNS);
    for (int row = 0; row < 3; ++row) {
        SCOPED_TRACE(row);
        const auto& expected = rows[row];
        EXPECT_EQ(model.isAudio(row), expected.audio);
        EXPECT_EQ(model.trackNumber(row), row + 1);
        EXPECT_EQ(model.trackNumberText(row), expected.number);
        EXPECT_EQ(model.title(row), expected.title);
        EXPECT_EQ(model.discTitle(row), expected.discTitle);
        EXPECT_EQ(model.size(row), expected.size);
        EXPECT_EQ(model.startSector(row), expected.start);
        EXPECT_EQ(model.endSector(row), expected.end);
        // What the cells show is written from the same values.
        EXPECT_EQ(model.data(model.index(row, COL_SIZE)).toString(),
                  QString::number(expected.size));
        EXPECT_EQ(model.data(model.index(row, COL_ENDSECTOR)).toString(),
                  QString::number(expected.end));
    }
    EXPECT_EQ(model.data(model.index(0, COL_TITLE), Qt::ToolTipRole).toString(), "Guest");
    EXPECT_EQ(model.headerData(COL_SIZE, Qt::Horizontal).toString(), "Size (Bytes)");
}

TEST_F(TrackModel, ATypedTitleWinsUntilTheDiscIsShownAgain) {
    EXPECT_FALSE(model.setData(model.index(0, COL_TRACK), QStringLiteral("7")))
        << "only the title is edited";
    EXPECT_TRUE(model.setData(model.index(0, COL_TITLE), QStringLiteral("Live / Intro")));
    EXPECT_TRUE(model.setData(model.index(2, COL_TITLE), QString()));
    EXPECT_EQ(model.title(0), "Live / Intro");
    EXPECT_EQ(model.discTitle(0), "Opening") << "the disc's title stays known";
    EXPECT_EQ(model.title(2), "") << "any text is taken, an empty one too";
    EXPECT_EQ(model.trackNumberText(0), "01");

    model.showDisc(engine);
    EXPECT_EQ(model.title(0), "Opening");
    EXPECT_EQ(model.title(2), "Track03");
    model.clear();
    EXPECT_EQ(model.rowCount(), 0);
}
