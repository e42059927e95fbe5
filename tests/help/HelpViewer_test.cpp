// SPDX-License-Identifier: GPL-3.0-or-later
// varrow-help's window on the built help file, offscreen, driven with real
// key and mouse events.
#include "HelpTopic.h"
#include "HelpViewer.h"

#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace varrowhelp;

namespace {

const QString HelpFile = QStringLiteral(VARROW_HELP_FILE);

class HelpViewerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(viewer_.openFile(HelpFile), "");
        viewer_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&viewer_));
    }

    ChmBrowser& browser() { return *viewer_.browser(); }
    QString shownPage() { return chmPathOf(browser().source()); }

    QTreeWidgetItem* contentsEntry(const QString& name) {
        const auto found =
            viewer_.contents()->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found.front();
    }

    HelpViewer viewer_;
};

} // namespace

TEST_F(HelpViewerTest, EachProgramTopicShowsItsPage) {
    const struct {
        const char* topic;
        const char* heading;
        const char* text;
    } topics[] = {
        {"", "Welcome to Varrow", "Varrow copies audio CDs"},
        {"/mainwindow.htm", "The main window", "The extract tool bar"},
        {"/optionstab.htm", "The Options tab", "Set All Default"},
        {"/abouttab.htm", "The About tab", "Lame version"},
        {"/extractcdtomp3.htm#MP3CompressionOptions", "Extracting tracks to MP3",
         "Use Variable Bitrate"},
        {"/extractcdtomp3.htm#ExtractionProgress", "Extracting tracks to MP3", "Skip Track"},
    };
    for (const auto& t : topics) {
        viewer_.showTopic(QString::fromLatin1(t.topic));
        const QString text = browser().toPlainText();
        EXPECT_TRUE(text.startsWith(QString::fromLatin1(t.heading))) << t.topic;
        EXPECT_TRUE(text.contains(QString::fromLatin1(t.text))) << t.topic;
        EXPECT_EQ(browser().missingResources(), QStringList()) << t.topic;
    }
    EXPECT_EQ(viewer_.windowTitle(), "Varrow Help");
}

TEST_F(HelpViewerTest, AnAnchorScrollsItsSectionIntoView) {
    viewer_.showTopic(QStringLiteral("/extractcdtomp3.htm"));
    QApplication::processEvents();
    EXPECT_EQ(browser().verticalScrollBar()->value(), 0);
    viewer_.showTopic(QStringLiteral("/extractcdtomp3.htm#ExtractionProgress"));
    QApplication::processEvents();
    const int progress = browser().verticalScrollBar()->value();
    EXPECT_GT(progress, 0);
    const QTextCursor top = browser().cursorForPosition(QPoint(4, 4));
    EXPECT_TRUE(top.block().text().contains(QStringLiteral("progress"), Qt::CaseInsensitive))
        << top.block().text().toStdString();
    viewer_.showTopic(QStringLiteral("/extractcdtomp3.htm#MP3CompressionOptions"));
    QApplication::processEvents();
    EXPECT_GT(browser().verticalScrollBar()->value(), 0);
    EXPECT_LT(browser().verticalScrollBar()->value(), progress);
}

TEST_F(HelpViewerTest, PicturesAndStyleSheetComeFromTheFile) {
    viewer_.showTopic(QStringLiteral("/mainwindow.htm"));
    const QVariant picture = browser().loadResource(QTextDocument::ImageResource,
                                                    QUrl(QStringLiteral("main-window.png")));
    QImage image;
    ASSERT_TRUE(image.loadFromData(picture.toByteArray()));
    EXPECT_GT(image.width(), 200);
    const QVariant css = browser().loadResource(QTextDocument::StyleSheetResource,
                                                QUrl(QStringLiteral("varrow.css")));
    EXPECT_TRUE(css.toByteArray().contains("font-family"));
    // Nothing outside the help file is read.
    EXPECT_FALSE(
        browser()
            .loadResource(QTextDocument::ImageResource,
                          QUrl::fromLocalFile(QStringLiteral(VARROW_HELP_SOURCES "/varrow.css")))
            .isValid());
}

TEST_F(HelpViewerTest, ContentsFollowTheClickedEntryAndThePageShown) {
    viewer_.showTopic({});
    QTreeWidgetItem* options = contentsEntry(QStringLiteral("The Options tab"));
    ASSERT_NE(options, nullptr);
    EXPECT_FALSE(options->parent()->isExpanded());
    options->parent()->setExpanded(true);
    QTreeWidget& tree = *viewer_.contents();
    const QRect place = tree.visualItemRect(options);
    ASSERT_TRUE(place.isValid());
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, place.center());
    EXPECT_EQ(shownPage(), "/optionstab.htm");
    EXPECT_TRUE(browser().toPlainText().startsWith(QStringLiteral("The Options tab")));

    // A page opened otherwise marks its entry, anchors included.
    viewer_.showTopic(QStringLiteral("/extractcdtomp3.htm#ExtractionProgress"));
    ASSERT_NE(tree.currentItem(), nullptr);
    EXPECT_EQ(tree.currentItem()->text(0), "The extraction progress window");
    EXPECT_TRUE(tree.currentItem()->parent()->isExpanded());
}

TEST_F(HelpViewerTest, LinksAreFollowedWithTheKeyboardAndBackReturns) {
    viewer_.showTopic(QStringLiteral("/introduction.htm"));
    browser().setFocus();
    // The first link of the start page leads to the page about WAV files.
    QTest::keyClick(&browser(), Qt::Key_Tab);
    QTest::keyClick(&browser(), Qt::Key_Return);
    EXPECT_EQ(shownPage(), "/extractcdtowav.htm");
    EXPECT_TRUE(browser().toPlainText().startsWith(QStringLiteral("Extracting tracks to WAV")));
    QTest::keyClick(&viewer_, Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(shownPage(), "/introduction.htm");
    QTest::keyClick(&viewer_, Qt::Key_Right, Qt::AltModifier);
    EXPECT_EQ(shownPage(), "/extractcdtowav.htm");
    QTest::keyClick(&viewer_, Qt::Key_Home, Qt::AltModifier);
    EXPECT_EQ(shownPage(), "/introduction.htm");
}

TEST_F(HelpViewerTest, IndexKeywordTypedAndEnteredOpensItsPage) {
    ASSERT_GT(viewer_.index()->count(), 40);
    viewer_.showTopic({});
    QLineEdit& filter = *viewer_.indexFilter();
    filter.setFocus();
    QTest::keyClicks(&filter, QStringLiteral("varrow_cd"));
    ASSERT_NE(viewer_.index()->currentItem(), nullptr);
    EXPECT_EQ(viewer_.index()->currentItem()->text(), "VARROW_CD_IMAGES");
    QTest::keyClick(&filter, Qt::Key_Return);
    EXPECT_EQ(shownPage(), "/drives.htm");
    EXPECT_EQ(browser().source().fragment(), "DiscImages");
}

TEST_F(HelpViewerTest, ATopicTheFileLacksSaysSo) {
    viewer_.showTopic(QStringLiteral("/nothing-here.htm"));
    EXPECT_TRUE(browser().toPlainText().contains(
        QStringLiteral("The page /nothing-here.htm is not in this help file.")));
    EXPECT_EQ(browser().missingResources(), QStringList({"/nothing-here.htm"}));
}

TEST(HelpViewerOpen, FilesThatAreNoHelpAreRefusedWithAReason) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    HelpViewer viewer;
    const QString absent = folder.filePath(QStringLiteral("Varrow.chm"));
    EXPECT_EQ(viewer.openFile(absent),
              QStringLiteral("The help file %1 does not exist.").arg(absent));
    QFile text(folder.filePath(QStringLiteral("text.chm")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("plain text");
    text.close();
    EXPECT_EQ(viewer.openFile(text.fileName()),
              QStringLiteral("The help file %1 cannot be read as compiled HTML help.")
                  .arg(text.fileName()));
    // Still usable: nothing is shown, and a real file opens afterwards.
    viewer.showTopic({});
    EXPECT_TRUE(viewer.browser()->toPlainText().isEmpty());
    EXPECT_EQ(viewer.openFile(HelpFile), "");
    viewer.showTopic({});
    EXPECT_TRUE(viewer.browser()->toPlainText().startsWith(QStringLiteral("Welcome")));
}

// The window opens in the middle of the screen, within it with room for its
// frame, and as large as it is meant to be where there is room.
TEST(HelpViewerPlace, FitsTheScreenItOpensOn) {
    const QSize minimum(300, 200);
    const struct {
        QRect available;
        QRect expected;
    } cases[] = {
        // 1024 x 768 with a panel of 28 pixels at the top.
        {{0, 28, 1024, 740}, {82, 98, 860, 600}},
        // 800 x 600, nothing taken.
        {{0, 0, 800, 600}, {8, 24, 784, 552}},
        // A second screen right of the first, with room to spare.
        {{1920, 0, 1920, 1080}, {2450, 240, 860, 600}},
        // Smaller than the window can be: the window keeps its least size.
        {{0, 0, 200, 150}, {-50, -25, 300, 200}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(QStringLiteral("%1x%2")
                         .arg(c.available.width())
                         .arg(c.available.height())
                         .toStdString());
        EXPECT_EQ(helpWindowGeometry(c.available, minimum), c.expected);
    }
}

TEST_F(HelpViewerTest, OpensWhereItsScreenHasRoomForIt) {
    EXPECT_EQ(viewer_.geometry(),
              helpWindowGeometry(viewer_.screen()->availableGeometry(), viewer_.minimumSizeHint()));
}
