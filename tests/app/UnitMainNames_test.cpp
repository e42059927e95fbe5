// SPDX-License-Identifier: GPL-3.0-or-later
// The disc's names from MusicBrainz in the window: what the track list, the
// caption and the notice under the list show for each way the local server
// answers, the release question, and answers that come too late.
#include "LocalHttpServer.h"
#include "MusicBrainzAnswers.h"
#include "MusicBrainzDiscId.h"
#include "ShellTestSupport.h"

#include <QDir>
#include <QLabel>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

using namespace varrow;
using namespace varrow::testing;
using namespace std::chrono_literals;

namespace {

// The disc of the tests: three audio tracks, on the releases of the answers
// by their track count.
cdlib::VirtualDisc threeTracks() {
    cdlib::VirtualDisc disc = discOf({audio(242), audio(191), audio(303)});
    disc.text.set(0, CDTEXT_TITLE, "Tram Lines");
    disc.text.set(1, CDTEXT_TITLE, "AC/DC");
    return disc;
}

const std::string kDiscPath =
    "/ws/2/discid/" + online::MusicBrainzDiscId::of({{{1, 0}, {2, 242}, {3, 433}}, 736}).id;

HttpAnswer json(const char* name) {
    return httpAnswer(200, musicBrainzAnswer(name));
}

class NamesWindow : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        qputenv("VARROW_MUSICBRAINZ_URL", QByteArray::fromStdString(server.url()));
        qputenv("VARROW_COVERART_URL", QByteArray::fromStdString(server.url() + "/caa"));
        server.serve("/ws/2/discid/-", httpAnswer(404));
    }

    QLabel* notice() const { return form->findChild<QLabel*>(QStringLiteral("Label_Names")); }

    // Lets the window run until its lookup has ended and its answer is shown.
    void waitForNames() const {
        ASSERT_TRUE(QTest::qWaitFor(
            [this] { return !notice()->text().startsWith(QStringLiteral("Looking")); }, 20000))
            << "the lookup did not end";
        processEvents();
    }

    QStringList titles() const {
        QStringList shown;
        for (int row = 0; row < rowCount(); ++row)
            shown << rowTexts(row)[COL_TITLE];
        return shown;
    }

    LocalHttpServer server;
};

// One case for each outcome the window shows; how each answer is read
// (a set of discs, a match by the table of contents, a busy service, JSON
// that breaks off) is MetadataLookup's, in LookupAnswers.
struct NamesCase {
    const char* name;
    std::vector<HttpAnswer> byId; // none: the server is gone
    std::vector<HttpAnswer> byToc;
    QString notice; // its start; empty when the disc is named
};

const NamesCase NAMES_CASES[] = {
    {"OneRelease", {json("disc-one-release.json")}, {}, ""},
    {"Unknown",
     {httpAnswer(404, musicBrainzAnswer("not-found.json"))},
     {json("toc-no-match.json")},
     "MusicBrainz does not know this disc"},
    {"ServerGone", {}, {}, "MusicBrainz is not available"},
};

class Names : public NamesWindow, public ::testing::WithParamInterface<NamesCase> {};

TEST_P(Names, TheListAndTheCaptionShowWhatTheLookupFound) {
    const NamesCase& c = GetParam();
    if (c.byId.empty())
        server.stop();
    else
        server.serve(kDiscPath, c.byId);
    if (!c.byToc.empty())
        server.serve("/ws/2/discid/-", c.byToc);
    addDrive("VIRTUAL Names", threeTracks());
    createWindow();
    waitForNames();

    // Unnamed, the disc keeps its CD-Text.
    const bool named = c.notice.isEmpty();
    EXPECT_EQ(titles(), named ? QStringList({"Polar Night", "Café Øresund", "Midnight Sun"})
                              : QStringList({"AC/DC", "Track02", "Track03"}));
    EXPECT_EQ(form->windowTitle(),
              named ? "Varrow - Aurora Quartet - Northern Lights" : "Varrow - Tram Lines");
    EXPECT_TRUE(notice()->text().startsWith(c.notice)) << notice()->text().toStdString();
    EXPECT_EQ(notice()->isVisibleTo(form), !named);
    EXPECT_EQ(modals->dialogsRun, 0);
    EXPECT_EQ(titleData(1, Qt::ToolTipRole).toString(),
              named ? "Aurora Quartet feat. Ingrid Bjørnstad" : "");
    // An unknown disc may be added to MusicBrainz from the notice.
    EXPECT_EQ(notice()->text().contains("href=\"https://musicbrainz.org/cdtoc/attach?"),
              QString(c.name) == "Unknown")
        << notice()->text().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Answers, Names, ::testing::ValuesIn(NAMES_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(NamesWindow, TheReleaseChosenStaysChosenWithoutAskingAgain) {
    server.serve(kDiscPath, json("disc-two-releases.json"));
    modals->dialogAnswers.emplace_back([](QDialog& dialog) {
        auto* list = dialog.findChild<QTreeWidget*>(QStringLiteral("TreeWidget_Releases"));
        EXPECT_EQ(list->topLevelItemCount(), 2);
        EXPECT_EQ(list->indexOfTopLevelItem(list->currentItem()), 0) << "the preselected one";
        EXPECT_EQ(list->topLevelItem(1)->text(3), "US");
        list->setCurrentItem(list->topLevelItem(1));
        return int(QDialog::Accepted);
    });
    addDrive("VIRTUAL Names", threeTracks());
    createWindow();
    waitForNames();
    EXPECT_TRUE(
        QTest::qWaitFor([this] { return titles()[0] == "Polar Night (2010 remaster)"; }, 20000));
    EXPECT_EQ(titles()[2], "Midnight Sun (2010 remaster)");

    click(ui.ToolButton_RefreshTracks);
    waitForNames();
    EXPECT_EQ(titles()[0], "Polar Night (2010 remaster)");
    EXPECT_EQ(modals->dialogsRun, 1);
}

TEST_F(NamesWindow, ALateAnswerKeepsTypedTitlesAndAStaleOneNeverArrives) {
    HttpAnswer slow = json("disc-one-release.json");
    slow.delay = 1500ms;
    server.serve(kDiscPath, slow);
    auto drive = addDrive("VIRTUAL Names", threeTracks());
    createWindow();
    ASSERT_TRUE(notice()->text().startsWith(QStringLiteral("Looking")));
    editTitle(0, QStringLiteral("Mine"));
    waitForNames();
    EXPECT_EQ(titles(), QStringList({"Mine", "Café Øresund", "Midnight Sun"}));

    // The disc again, not kept this time, and another one while its answer
    // is on its way.
    QDir(folder.filePath(QStringLiteral("cache"))).removeRecursively();
    drive->ejectDisc();
    processEvents();
    drive->insertDisc(threeTracks());
    processEvents();
    ASSERT_TRUE(notice()->text().startsWith(QStringLiteral("Looking")));
    // The question has reached the service: its answer is on its way.
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requestCount(kDiscPath) == 2; }, 5000));
    drive->insertDisc(discOf({audio(300), audio(300)}));
    processEvents();
    QTest::qWait(2000);
    EXPECT_EQ(titles(), QStringList({"Track01", "Track02"}));
    EXPECT_EQ(form->windowTitle(), "Varrow");
}

} // namespace
