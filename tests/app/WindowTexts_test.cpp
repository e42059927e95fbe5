// SPDX-License-Identifier: GPL-3.0-or-later
// The progress window and the MP3 options dialog as text on the screen:
// every label shows every text it can take whole, at the desktop's font and
// at a larger one; their hints stay up as long as the main window's; and an
// exception in any of their handlers ends in an error box.
#include "Application.h"
#include "Hints.h"
#include "NumberText.h"
#include "ShellTestSupport.h"
#include "TimeText.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QToolButton>
#include <chrono>
#include <climits>
#include <functional>
#include <stdexcept>
#include <utility>
#include <vector>

using namespace varrow;
using namespace varrow::testing;

namespace {

using namespace std::chrono_literals;

// Whether `label` shows `text` whole: wrapped where the label wraps, the
// text's extent fits inside the label's contents.
bool showsWhole(QLabel* label, const QString& text) {
    label->setText(text);
    const QRect room = label->contentsRect();
    const int flags = (label->wordWrap() ? Qt::TextWordWrap : 0) | int(label->alignment());
    const QRect needed = label->fontMetrics().boundingRect(QRect(0, 0, room.width(), INT_MAX / 2),
                                                           flags, label->text());
    return needed.width() <= room.width() && needed.height() <= room.height();
}

struct LabelTexts {
    QLabel* label;
    std::vector<QString> texts;
};

class WindowTexts : public ShellTest, public ::testing::WithParamInterface<double> {
protected:
    QFont desktopFont;

    void SetUp() override {
        ShellTest::SetUp();
        desktopFont = QApplication::font();
        QFont font = desktopFont;
        font.setPointSizeF(desktopFont.pointSizeF() * GetParam());
        QApplication::setFont(font);
        addDrive("VIRTUAL One", discOf({audio(300)}));
        createWindow();
        progress().show();
        processEvents();
    }

    void TearDown() override {
        progress().hide();
        ShellTest::TearDown();
        QApplication::setFont(desktopFont);
    }

    std::vector<LabelTexts> progressTexts() {
        TDlg_RipProgress& window = progress();
        std::vector<QString> speeds = {"-"};
        for (const double speed : {0.1, 4.3, 52.7, 1234.5, 99999.9})
            speeds.push_back("x" + groupedNumberText(speed, 1));
        std::vector<QString> times;
        for (const auto time : {0s, 5s, 59min + 59s, 23h + 59min + 59s})
            times.push_back(longTimeText(time));
        return {
            {window.Label_All, {"All Tracks Progress"}},
            {window.Label_JittError, {"Synchronization (jitter) errors:"}},
            {window.Label_JittCount, {"0", "OFF", "1", "345678", "9999999"}},
            {window.Label_SpeedTitle, {"Average Extract Speed:"}},
            {window.Label_Speed, speeds},
            {window.Label_RipTimeTitle, {"Extract Time:"}},
            {window.Label_RipTime, times},
        };
    }
};

} // namespace

TEST_P(WindowTexts, EveryProgressFigureShowsWhole) {
    for (const auto& [label, texts] : progressTexts()) {
        for (const QString& text : texts)
            EXPECT_TRUE(showsWhole(label, text))
                << label->objectName().toStdString() << ": " << text.toStdString();
    }
    // Under another locale the separators change.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_TRUE(showsWhole(progress().Label_Speed, "x" + groupedNumberText(99999.9, 1)));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

TEST_P(WindowTexts, TrackLineShortensLongNamesInTheMiddle) {
    QLabel* label = progress().Label_Track;
    const QString format = "Exctract and Encode \"%1\" to \"%2\"";
    progress().showTrack(format, "Intro", "01_Intro.mp3");
    EXPECT_EQ(label->text(), "Exctract and Encode \"Intro\" to \"01_Intro.mp3\"");

    const QString longTitle = "Beginning " + QString(120, 'W') + " Ending";
    const QString longName = "01_" + longTitle + ".mp3";
    const std::pair<QString, QString> cases[] = {
        {longTitle, longName},
        {"Intro", "01_Intro_" + QString(300, 'x') + "_end.mp3"},
        {QString(60, 'M') + " " + QString(60, 'M'), "02.mp3"},
    };
    for (const auto& [title, fileName] : cases) {
        progress().showTrack(format, title, fileName);
        const QString shown = label->text();
        EXPECT_TRUE(showsWhole(label, shown)) << shown.toStdString();
        EXPECT_TRUE(shown.startsWith("Exctract and Encode \"" + title.left(2)))
            << shown.toStdString();
        EXPECT_TRUE(shown.endsWith(fileName.right(4) + "\"")) << shown.toStdString();
        EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
    }
    progress().showTrack("Exctract \"%1\" to \"%2\"", longTitle, longName);
    EXPECT_TRUE(showsWhole(label, label->text())) << label->text().toStdString();
    EXPECT_TRUE(label->text().contains(" Ending\" to \"01_")) << label->text().toStdString();
}

TEST_P(WindowTexts, EveryMp3DialogLabelShowsWhole) {
    TMP3Dlg& dialog = mp3Dlg();
    const std::vector<LabelTexts> labels = {
        {dialog.Label1, {"MP3 Compression Options"}},
        {dialog.Label_Bitrate, {"Bitrate"}},
        {dialog.Label_MaxBitrate, {"Max Bitrate"}},
        {dialog.Label_Mode, {"Mode"}},
        {dialog.Label_Quality, {"Quality"}},
        {dialog.Label_Size, {"Approximate MP3 files size:", "MP3 files size:"}},
        // "-" before the first estimate; 99 tracks of a full disc at 320.
        {dialog.Label_CompSize,
         {"-", "wrong value of Max Bitrate", megabytesText(0), megabytesText(999'999'999)}},
    };
    for (const auto& [label, texts] : labels) {
        for (const QString& text : texts)
            EXPECT_TRUE(showsWhole(label, text))
                << label->objectName().toStdString() << ": " << text.toStdString();
    }
    // Each list shows its items whole, closed as well as open.
    for (QComboBox* list :
         {dialog.ComboBox_Bitrate, dialog.ComboBox_MaxBitrate, dialog.ComboBox_Mode,
          dialog.ComboBox_MixMode, dialog.ComboBox_Quality}) {
        QStyleOptionComboBox option;
        option.initFrom(list);
        const QRect field = list->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                          QStyle::SC_ComboBoxEditField, list);
        for (int item = 0; item < list->count(); ++item)
            EXPECT_LE(list->fontMetrics().horizontalAdvance(list->itemText(item)), field.width())
                << list->objectName().toStdString() << ": " << list->itemText(item).toStdString();
    }
    const QFontMetrics metrics = dialog.CheckBox_VBR->fontMetrics();
    EXPECT_GE(dialog.CheckBox_VBR->width(), dialog.CheckBox_VBR->sizeHint().width());
    EXPECT_GE(dialog.CheckBox_VBR->width(), metrics.horizontalAdvance("Use Variable Bitrate"));
}

TEST_P(WindowTexts, HintsStayUpAsLongInEveryWindow) {
    ASSERT_EQ(ui.ToolButton_RipMP3->toolTipDuration(), HintDurationMs);
    const std::pair<QWidget*, QWidget*> windowsAndHinted[] = {
        {form, ui.ToolButton_RipWav},        {&progress(), progress().Btn_Abort},
        {&progress(), progress().Gauge_All}, {&mp3Dlg(), mp3Dlg().ComboBox_Bitrate},
        {&mp3Dlg(), mp3Dlg().CheckBox_VBR},
    };
    for (const auto& [window, hinted] : windowsAndHinted) {
        ASSERT_FALSE(hinted->toolTip().isEmpty()) << hinted->objectName().toStdString();
        EXPECT_EQ(hinted->toolTipDuration(), HintDurationMs) << hinted->objectName().toStdString();
        EXPECT_EQ(window->toolTipDuration(), HintDurationMs) << window->objectName().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Fonts, WindowTexts, ::testing::Values(1.0, 1.6),
                         [](const ::testing::TestParamInfo<double>& font) {
                             return font.param == 1.0 ? std::string("DesktopFont")
                                                      : std::string("LargerFont");
                         });

namespace {

class HandlerErrors : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        addDrive("VIRTUAL One", discOf({audio(300)}));
        createWindow();
    }

    // The next box fails as it opens; the error box that reports it is
    // answered.
    void nextBoxFails() {
        modals->messageAnswers.emplace_back(
            [](const ShownMessage&) -> ModalResult { throw std::runtime_error("box failed"); });
        modals->answer(ModalResult::Ok);
    }

    void expectReported() {
        ASSERT_EQ(modals->messages.size(), 2u);
        EXPECT_EQ(modals->messages[1].text, "box failed");
        EXPECT_EQ(modals->messages[1].type, MsgDlgType::Error);
    }

    // A key delivered the way Qt hands it to the window, past the
    // application's own event filter.
    static void pressKey(QWidget& window, Qt::Key key) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        static_cast<QObject&>(window).event(&press);
    }
};

} // namespace

TEST_F(HandlerErrors, ProgressWindowHandlersReportWhatTheyThrow) {
    const std::pair<const char*, std::function<void()>> actions[] = {
        {"Abort",
         [this] {
             progress().Btn_Abort->click();
         }},
        {"Escape",
         [this] {
             pressKey(progress(), Qt::Key_Escape);
         }},
        {"F1",
         [this] {
             pressKey(progress(), Qt::Key_F1);
         }},
    };
    bool ripping = false;
    progress().setRippingSource([&ripping] { return ripping; });
    for (const auto& [name, action] : actions) {
        SCOPED_TRACE(name);
        modals->messages.clear();
        ripping = true;
        progress().show();
        nextBoxFails();
        EXPECT_NO_THROW(action());
        expectReported();
        EXPECT_TRUE(progress().isVisible());
        ripping = false;
        progress().close();
    }
}

TEST_F(HandlerErrors, ProgressWindowStaysOpenWhenItsCloseQuestionFails) {
    bool ripping = true;
    progress().setRippingSource([&ripping] { return ripping; });
    progress().show();
    nextBoxFails();
    EXPECT_NO_THROW(progress().close());
    expectReported();
    EXPECT_TRUE(progress().isVisible());
    ripping = false;
    progress().close();
}

TEST_F(HandlerErrors, Mp3DialogHandlersReportWhatTheyThrow) {
    TMP3Dlg& dialog = mp3Dlg();
    const std::pair<const char*, std::function<void()>> actions[] = {
        {"Use Variable Bitrate",
         [&dialog] {
             dialog.ComboBox_MaxBitrate->setCurrentIndex(dialog.ComboBox_Bitrate->currentIndex());
             dialog.CheckBox_VBR->click();
         }},
        {"Start",
         [&dialog] {
             dialog.ComboBox_MaxBitrate->setCurrentIndex(dialog.ComboBox_Bitrate->currentIndex());
             {
                 const QSignalBlocker quiet(dialog.CheckBox_VBR);
                 dialog.CheckBox_VBR->setChecked(true);
             }
             dialog.OKBtn->click();
         }},
        {"Quality",
         [&dialog] {
             dialog.ComboBox_Mode->setCurrentIndex(0);
             dialog.ComboBox_Quality->setCurrentIndex(TMP3Dlg::QualityVoice);
             Q_EMIT dialog.ComboBox_Quality->activated(TMP3Dlg::QualityVoice);
         }},
        {"Max Bitrate",
         [&dialog] {
             dialog.ComboBox_MaxBitrate->setCurrentIndex(dialog.ComboBox_Bitrate->currentIndex());
             Q_EMIT dialog.ComboBox_MaxBitrate->activated(dialog.ComboBox_Bitrate->currentIndex());
         }},
        {"F1",
         [this, &dialog] {
             pressKey(dialog, Qt::Key_F1);
         }},
    };
    for (const auto& [name, action] : actions) {
        SCOPED_TRACE(name);
        modals->messages.clear();
        dialog.show();
        nextBoxFails();
        EXPECT_NO_THROW(action());
        expectReported();
        dialog.hide();
        dialog.CheckBox_VBR->setChecked(false);
    }
}
