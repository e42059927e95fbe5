// SPDX-License-Identifier: GPL-3.0-or-later
// The MP3 options dialog driven as a user drives it: lists chosen through
// their pop-ups, the box clicked, keys pressed. Every box it shows is
// answered by the scripted modal seam, so an unexpected warning fails.
#include "Hints.h"
#include "ScriptedModals.h"
#include "UnitMP3Dlg.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <gtest/gtest.h>
#include <initializer_list>
#include <vector>

namespace {

using varrow::hintShown;
using varrow::ModalResult;
using varrow::MsgButtons;
using varrow::MsgDlgType;

const QString VoiceMustBeMono =
    QStringLiteral("For \"VOICE\" Quality the Mode must be is \"MONO\"!");
const QString OnlyMonoForVoice =
    QStringLiteral("For \"VOICE\" Quality only \"MONO\" Mode is allowed!");
const QString MaxMustBeHigher =
    QStringLiteral("Max Bitrate must have more value than the basic Bitrate!");

enum Bitrate {
    Kbps320 = 0,
    Kbps256 = 1,
    Kbps224 = 2,
    Kbps192 = 3,
    Kbps160 = 4,
    Kbps128 = 6,
    Kbps8 = 17
};
enum Mode { Stereo = 0, JointStereo = 1, DualChannel = 2, Mono = 3 };
enum Quality { Normal = 0, Low = 1, High = 2, Voice = 3 };

class MP3DlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        mainWindow.setGeometry(101, 51, 641, 481);
        mainWindow.show();
        dlg = new TMP3Dlg(&mainWindow);
        dlg->setSelectionTotalSource([this] { return selectedBytes; });
    }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }

    void showDialog() {
        dlg->show();
        QApplication::setActiveWindow(dlg);
        ASSERT_TRUE(QTest::qWaitForWindowActive(dlg));
    }

    // Picks `index` the way a user does: opens the list's pop-up with F4,
    // walks to the item and takes it with Enter. Only the final choice counts
    // as the user's change, as with a mouse pick.
    void choose(QComboBox* list, int index) {
        list->setFocus();
        QTest::keyClick(list, Qt::Key_F4);
        QAbstractItemView* popup = list->view();
        ASSERT_TRUE(popup->isVisible()) << "pop-up of " << list->objectName().toStdString();
        const int start = popup->currentIndex().row();
        const Qt::Key step = index > start ? Qt::Key_Down : Qt::Key_Up;
        for (int row = start; row != index; row += index > start ? 1 : -1)
            QTest::keyClick(popup, step);
        QTest::keyClick(popup, Qt::Key_Return);
        ASSERT_FALSE(popup->isVisible());
    }

    // Scripts an OK answer to the next warning.
    void expectBox() { modals->answer(ModalResult::Ok); }

    std::vector<QString> shownTexts() { return modals->texts(); }

    varrow::testing::ModalsScope modals;
    // The design grid grown by the dialog's layout scale.
    int scaled(int length) const {
        return static_cast<int>(std::lround(length * dlg->layoutScale()));
    }
    QPoint scaled(QPoint at) const { return {scaled(at.x()), scaled(at.y())}; }
    QSize scaled(QSize size) const { return {scaled(size.width()), scaled(size.height())}; }

    QWidget mainWindow;
    TMP3Dlg* dlg = nullptr; // owned by mainWindow
    int64_t selectedBytes = 0;
};

// --- Layout -----------------------------------------------------------------

TEST_F(MP3DlgTest, EveryTextShowsWholeWithTheDesktopFont) {
    EXPECT_GE(dlg->layoutScale(), 1.0);
    for (QWidget* control : std::initializer_list<QWidget*>{
             dlg->Label1, dlg->Label_Bitrate, dlg->CheckBox_VBR, dlg->Label_MaxBitrate,
             dlg->ComboBox_MaxBitrate, dlg->Label_Mode, dlg->ComboBox_Mode, dlg->ComboBox_MixMode,
             dlg->Label_Quality, dlg->ComboBox_Quality, dlg->Label_Size, dlg->OKBtn,
             dlg->CancelBtn}) {
        EXPECT_LE(control->sizeHint().width(), control->width())
            << control->metaObject()->className() << " " << control->objectName().toStdString();
    }
    dlg->Label_CompSize->setText(QStringLiteral("wrong value of Max Bitrate"));
    EXPECT_LE(dlg->Label_CompSize->sizeHint().width(), dlg->Label_CompSize->width());
}

TEST_F(MP3DlgTest, IsAFixedDialogWithoutACloseBox) {
    EXPECT_EQ(dlg->size(), scaled(QSize(312, 233)));
    EXPECT_EQ(dlg->minimumSize(), dlg->maximumSize());
    const Qt::WindowFlags flags = dlg->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
    // Asked for, the maximise button tells X11 window managers which
    // functions the dialog offers: neither closing nor minimising. (Qt adds
    // the system menu hint to it; that menu offers only what the functions
    // allow.)
    EXPECT_FALSE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_EQ(dlg->windowTitle(), "Varrow");
    EXPECT_EQ(dlg->parentWidget(), &mainWindow);
}

TEST_F(MP3DlgTest, ControlsSitInTheirRowsWithTheirTexts) {
    struct Expected {
        QWidget* control;
        int left, top, width;
    };
    const std::vector<Expected> rows{
        {dlg->Bevel1, 8, 8, 296},
        {dlg->Label1, 16, 14, 281},
        {dlg->Label_Bitrate, 16, 39, 46},
        {dlg->ComboBox_Bitrate, 62, 35, 234},
        {dlg->Bevel2, 16, 60, 280},
        {dlg->CheckBox_VBR, 22, 64, 160},
        {dlg->Label_MaxBitrate, 22, 89, 68},
        {dlg->ComboBox_MaxBitrate, 92, 85, 110},
        {dlg->Label_Mode, 16, 119, 48},
        {dlg->ComboBox_Mode, 68, 115, 110},
        {dlg->ComboBox_MixMode, 186, 115, 110},
        {dlg->Label_Quality, 16, 146, 48},
        {dlg->ComboBox_Quality, 68, 142, 228},
        {dlg->Label_Size, 12, 174, 144},
        {dlg->Label_CompSize, 160, 174, 140},
        {dlg->OKBtn, 79, 200, 75},
        {dlg->CancelBtn, 159, 200, 75},
    };
    for (const auto& row : rows) {
        const QRect at = row.control->geometry();
        EXPECT_EQ(at.topLeft(), scaled(QPoint(row.left, row.top)))
            << row.control->metaObject()->className();
        EXPECT_EQ(at.width(), scaled(row.width)) << row.control->metaObject()->className();
        EXPECT_LE(at.bottom(), dlg->height());
    }
    EXPECT_EQ(dlg->Bevel1->height(), scaled(186));
    EXPECT_EQ(dlg->Bevel2->height(), scaled(50));
    EXPECT_EQ(dlg->OKBtn->height(), scaled(25));

    EXPECT_EQ(dlg->Label1->text(), "MP3 Compression Options");
    EXPECT_TRUE(dlg->Label1->font().bold());
    EXPECT_TRUE(dlg->Label1->alignment().testFlag(Qt::AlignHCenter));
    EXPECT_TRUE(dlg->Label_Size->alignment().testFlag(Qt::AlignRight));
    EXPECT_EQ(dlg->Label_CompSize->text(), "-");
    EXPECT_EQ(dlg->OKBtn->text(), "Start");
    EXPECT_TRUE(dlg->OKBtn->isDefault());
    EXPECT_EQ(dlg->CancelBtn->text(), "Cancel");
}

QStringList itemsOf(const QComboBox* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items << list->itemText(i);
    return items;
}

TEST_F(MP3DlgTest, ListsHoldTheirItemsInOrder) {
    // The rules lean on these positions; both lists name the same bitrate
    // at the same index, highest first.
    const QComboBox* bitrates = dlg->ComboBox_Bitrate;
    const QComboBox* maxima = dlg->ComboBox_MaxBitrate;
    ASSERT_EQ(bitrates->count(), 18);
    ASSERT_EQ(maxima->count(), 18);
    EXPECT_EQ(bitrates->itemText(Kbps320), "320 - excellent sound quality - like CD");
    EXPECT_EQ(bitrates->itemText(Kbps192), "192 - good balance of sound quality and file size");
    EXPECT_EQ(bitrates->itemText(Kbps128), "128 - good sound quality / small file size");
    EXPECT_EQ(bitrates->itemText(Kbps8), "8 - for internet, speech / smallest file size");
    for (int i = 0; i < 18; ++i) {
        EXPECT_EQ(TMP3Dlg::BitrateFromText(bitrates->itemText(i)), maxima->itemText(i).toInt());
        if (i > 0) {
            EXPECT_LT(maxima->itemText(i).toInt(), maxima->itemText(i - 1).toInt());
        }
    }
    EXPECT_EQ(dlg->ComboBox_Bitrate->maxVisibleItems(), 18);
    EXPECT_EQ(dlg->ComboBox_MaxBitrate->maxVisibleItems(), 18);
    EXPECT_EQ(itemsOf(dlg->ComboBox_Mode),
              QStringList({"STEREO", "JOINT STEREO", "DUAL CHANNEL", "MONO"}));
    EXPECT_EQ(itemsOf(dlg->ComboBox_MixMode),
              QStringList({"MIX Channels", "LEFT Channel", "RIGHT Channel"}));
    EXPECT_EQ(itemsOf(dlg->ComboBox_Quality),
              QStringList({"NORMAL", "LOW Quality", "HIGH Quality",
                           "VOICE Quality (\"Mode\" must be \"MONO\")"}));
}

TEST_F(MP3DlgTest, HintsFollowTheMainWindow) {
    bool mainShowsHints = true;
    dlg->setHintsSource([&mainShowsHints] { return mainShowsHints; });
    const std::vector<std::pair<QWidget*, QString>> hints{
        {dlg->ComboBox_Bitrate, "basic Bitrate: 128..192 - normal  quality, 224..320 - hi quality"},
        {dlg->CheckBox_VBR, "check on to use Variable BitRate"},
        {dlg->ComboBox_MaxBitrate, "Max Bitrate: must exceed basic Bitrate"},
        {dlg->ComboBox_Mode, "channel mode, recommended: for bitrate up to 192 - JOINT STEREO, "
                             "192 and above - STEREO"},
        {dlg->ComboBox_MixMode, "mono mix mode from a stereo source"},
        {dlg->ComboBox_Quality,
         "encode quality, NORMAL is recommended (also affects encoding speed)"},
    };
    showDialog();
    for (const auto& [control, hint] : hints) {
        EXPECT_EQ(control->toolTip(), hint);
        EXPECT_TRUE(hintShown(control));
    }
    EXPECT_TRUE(dlg->OKBtn->toolTip().isEmpty());

    dlg->hide();
    mainShowsHints = false;
    showDialog();
    EXPECT_FALSE(dlg->ShowHints());
    for (const auto& [control, hint] : hints)
        EXPECT_FALSE(hintShown(control));

    dlg->setShowHints(true);
    EXPECT_TRUE(hintShown(dlg->ComboBox_Quality));
}

TEST_F(MP3DlgTest, TabWalksFromStartThroughTheControlsInOrder) {
    dlg->ComboBox_Mode->setCurrentIndex(Mono);
    dlg->CheckBox_VBR->setChecked(true); // hidden: enables the list without a word
    showDialog();
    ASSERT_EQ(dlg->focusWidget(), dlg->OKBtn);
    const std::vector<QWidget*> order{
        dlg->CancelBtn,     dlg->ComboBox_Bitrate, dlg->CheckBox_VBR,     dlg->ComboBox_MaxBitrate,
        dlg->ComboBox_Mode, dlg->ComboBox_MixMode, dlg->ComboBox_Quality, dlg->OKBtn};
    for (QWidget* next : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next) << next->metaObject()->className();
    }
}

// --- Creation and showing ---------------------------------------------------

TEST_F(MP3DlgTest, StartsWithTheBuiltInChoices) {
    EXPECT_EQ(dlg->ComboBox_Bitrate->currentText(), "128 - good sound quality / small file size");
    EXPECT_EQ(dlg->ComboBox_MaxBitrate->currentText(), "320");
    EXPECT_FALSE(dlg->CheckBox_VBR->isChecked());
    EXPECT_FALSE(dlg->ComboBox_MaxBitrate->isEnabled());
    EXPECT_FALSE(dlg->Label_MaxBitrate->isEnabled());
    EXPECT_EQ(dlg->ComboBox_Mode->currentText(), "JOINT STEREO");
    EXPECT_EQ(dlg->ComboBox_MixMode->currentText(), "MIX Channels");
    EXPECT_EQ(dlg->ComboBox_Quality->currentText(), "NORMAL");
}

TEST_F(MP3DlgTest, ShowingCentresOverTheMainWindowAndRefreshesMixAndEstimate) {
    dlg->ComboBox_Mode->setCurrentIndex(Mono);
    selectedBytes = 700'000'000;
    // Narrower than the dialog and odd: each half is truncated towards zero
    // on its own, which differs from halving the difference. Far enough from
    // the screen's edge for the dialog to stay on the screen.
    mainWindow.setGeometry(301, 51, 201, 481);
    showDialog();
    const QRect main = mainWindow.frameGeometry();
    const QRect own = dlg->frameGeometry();
    EXPECT_EQ(own.left(), main.left() + main.width() / 2 - own.width() / 2);
    EXPECT_EQ(own.top(), main.top() + main.height() / 2 - own.height() / 2);
    EXPECT_TRUE(dlg->ComboBox_MixMode->isEnabled());
    EXPECT_EQ(dlg->Label_CompSize->text(), "63.50 MB");
    EXPECT_EQ(dlg->focusWidget(), dlg->OKBtn);

    dlg->hide();
    dlg->ComboBox_Mode->setCurrentIndex(Stereo);
    selectedBytes = 0;
    showDialog();
    EXPECT_FALSE(dlg->ComboBox_MixMode->isEnabled());
    EXPECT_EQ(dlg->Label_CompSize->text(), "0.00 MB");
}

// --- Rules while the user edits ---------------------------------------------

TEST_F(MP3DlgTest, HighBitrateSwitchesToStereoAndLowerToJointStereo) {
    dlg->ComboBox_Mode->setCurrentIndex(Mono);
    dlg->ComboBox_Quality->setCurrentIndex(Voice);
    showDialog();
    ASSERT_TRUE(dlg->ComboBox_MixMode->isEnabled());

    choose(dlg->ComboBox_Bitrate, Kbps224);
    EXPECT_EQ(dlg->ComboBox_Mode->currentText(), "STEREO");
    EXPECT_EQ(dlg->ComboBox_Quality->currentText(), "NORMAL");
    EXPECT_FALSE(dlg->ComboBox_MixMode->isEnabled());

    choose(dlg->ComboBox_Mode, Mono);
    choose(dlg->ComboBox_Quality, High);
    choose(dlg->ComboBox_Bitrate, Kbps160);
    EXPECT_EQ(dlg->ComboBox_Mode->currentText(), "JOINT STEREO");
    EXPECT_EQ(dlg->ComboBox_Quality->currentText(), "NORMAL");
    EXPECT_FALSE(dlg->ComboBox_MixMode->isEnabled());

    // 192 is the lowest bitrate that goes with STEREO.
    choose(dlg->ComboBox_Bitrate, Kbps192);
    EXPECT_EQ(dlg->ComboBox_Mode->currentIndex(), Stereo);
    choose(dlg->ComboBox_Bitrate, Kbps320);
    EXPECT_EQ(dlg->ComboBox_Mode->currentIndex(), Stereo);
    EXPECT_TRUE(shownTexts().empty());
}

TEST_F(MP3DlgTest, ChoicesSetInCodeRunNoListRule) {
    showDialog();
    dlg->ComboBox_Mode->setCurrentIndex(Mono);
    dlg->ComboBox_Quality->setCurrentIndex(Voice);
    dlg->ComboBox_Bitrate->setCurrentIndex(Kbps320);
    dlg->ComboBox_MaxBitrate->setCurrentIndex(Kbps8);
    dlg->ComboBox_Mode->setCurrentIndex(Stereo);
    EXPECT_EQ(dlg->ComboBox_Mode->currentIndex(), Stereo);
    EXPECT_EQ(dlg->ComboBox_Quality->currentIndex(), Voice);
    EXPECT_TRUE(shownTexts().empty());
}

TEST_F(MP3DlgTest, VoiceQualityNeedsMonoBothWays) {
    showDialog();
    choose(dlg->ComboBox_Mode, Stereo);

    expectBox();
    choose(dlg->ComboBox_Quality, Voice);
    ASSERT_EQ(shownTexts(), std::vector<QString>{VoiceMustBeMono});
    EXPECT_EQ(modals->messages.back().type, MsgDlgType::Warning);
    EXPECT_EQ(modals->messages.back().buttons, MsgButtons::Ok);
    EXPECT_EQ(modals->messages.back().owner, dlg);
    EXPECT_EQ(dlg->ComboBox_Quality->currentIndex(), Normal);

    choose(dlg->ComboBox_Mode, Mono);
    EXPECT_TRUE(dlg->ComboBox_MixMode->isEnabled());
    choose(dlg->ComboBox_Quality, Voice);
    EXPECT_EQ(dlg->ComboBox_Quality->currentIndex(), Voice);
    EXPECT_EQ(shownTexts().size(), 1u);

    expectBox();
    choose(dlg->ComboBox_Mode, Stereo);
    EXPECT_EQ(shownTexts().back(), OnlyMonoForVoice);
    EXPECT_EQ(dlg->ComboBox_Mode->currentIndex(), Mono);
    EXPECT_TRUE(dlg->ComboBox_MixMode->isEnabled());

    // The rule put Mode back itself; that runs no rule again.
    EXPECT_EQ(shownTexts().size(), 2u);
}

TEST_F(MP3DlgTest, ModeAloneDecidesTheMixList) {
    showDialog();
    choose(dlg->ComboBox_Mode, Mono);
    EXPECT_TRUE(dlg->ComboBox_MixMode->isEnabled());
    choose(dlg->ComboBox_MixMode, 2);
    EXPECT_EQ(dlg->ComboBox_MixMode->currentText(), "RIGHT Channel");
    choose(dlg->ComboBox_Mode, DualChannel);
    EXPECT_FALSE(dlg->ComboBox_MixMode->isEnabled());
    EXPECT_TRUE(shownTexts().empty());
}

TEST_F(MP3DlgTest, MaxBitrateChoiceIsCheckedAgainstTheBitrate) {
    selectedBytes = 700'000'000;
    dlg->CheckBox_VBR->setChecked(true);
    showDialog();
    EXPECT_EQ(dlg->Label_CompSize->text(), "80.65 MB");

    expectBox();
    choose(dlg->ComboBox_MaxBitrate, Kbps128); // equal is not higher
    EXPECT_EQ(shownTexts(), std::vector<QString>{MaxMustBeHigher});
    EXPECT_EQ(dlg->Label_CompSize->text(), "wrong value of Max Bitrate");
    EXPECT_EQ(dlg->Label_CompSize->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_EQ(dlg->Label_Size->text(), "Approximate MP3 files size:");

    choose(dlg->ComboBox_MaxBitrate, Kbps160);
    EXPECT_EQ(shownTexts().size(), 1u);
    EXPECT_NE(dlg->Label_CompSize->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_TRUE(dlg->Label_CompSize->text().endsWith(" MB"));
}

TEST_F(MP3DlgTest, VbrBoxWarnsOnlyWhileShown) {
    dlg->ComboBox_MaxBitrate->setCurrentIndex(Kbps128);

    // Restored while hidden: the list comes on without a box.
    dlg->CheckBox_VBR->setChecked(true);
    EXPECT_TRUE(dlg->ComboBox_MaxBitrate->isEnabled());
    EXPECT_TRUE(dlg->Label_MaxBitrate->isEnabled());
    EXPECT_TRUE(shownTexts().empty());
    dlg->CheckBox_VBR->setChecked(false);
    EXPECT_FALSE(dlg->ComboBox_MaxBitrate->isEnabled());

    showDialog();
    EXPECT_EQ(dlg->Label_Size->text(), "MP3 files size:");
    expectBox();
    QTest::mouseClick(dlg->CheckBox_VBR, Qt::LeftButton);
    EXPECT_TRUE(dlg->CheckBox_VBR->isChecked());
    EXPECT_EQ(shownTexts(), std::vector<QString>{MaxMustBeHigher});
    EXPECT_TRUE(dlg->ComboBox_MaxBitrate->isEnabled());
    EXPECT_EQ(dlg->Label_CompSize->text(), "wrong value of Max Bitrate");

    // Unchecking never warns and brings the plain estimate back.
    QTest::mouseClick(dlg->CheckBox_VBR, Qt::LeftButton);
    EXPECT_FALSE(dlg->ComboBox_MaxBitrate->isEnabled());
    EXPECT_FALSE(dlg->Label_MaxBitrate->isEnabled());
    EXPECT_EQ(dlg->Label_CompSize->text(), "0.00 MB");
    EXPECT_EQ(shownTexts().size(), 1u);
}

// --- Size estimate ----------------------------------------------------------

TEST_F(MP3DlgTest, EstimateFollowsBitrateAndVbr) {
    dlg->UpdateSizeEstimate(0);
    EXPECT_EQ(dlg->Label_CompSize->text(), "0.00 MB");
    EXPECT_EQ(dlg->Label_Size->text(), "MP3 files size:");

    dlg->UpdateSizeEstimate(700'000'000);
    EXPECT_EQ(dlg->Label_CompSize->text(), "63.50 MB");
    EXPECT_EQ(dlg->Label_Size->text(), "MP3 files size:");

    dlg->CheckBox_VBR->setChecked(true);
    dlg->UpdateSizeEstimate(700'000'000);
    EXPECT_EQ(dlg->Label_CompSize->text(), "80.65 MB");
    EXPECT_EQ(dlg->Label_Size->text(), "Approximate MP3 files size:");

    // Bitrate not below the maximum: the caption stays, the figure goes red.
    dlg->ComboBox_MaxBitrate->setCurrentIndex(Kbps8);
    dlg->UpdateSizeEstimate(700'000'000);
    EXPECT_EQ(dlg->Label_CompSize->text(), "wrong value of Max Bitrate");
    EXPECT_EQ(dlg->Label_Size->text(), "Approximate MP3 files size:");
    dlg->CheckBox_VBR->setChecked(false);
    EXPECT_EQ(dlg->Label_Size->text(), "MP3 files size:");
}

TEST_F(MP3DlgTest, EstimateUsesTheLocaleSeparatorsAndRoundsHalfHundredthsUp) {
    selectedBytes = 14'110'000'000; // 10 million seconds of CD audio
    showDialog();
    choose(dlg->ComboBox_Bitrate, Kbps320);
    EXPECT_EQ(dlg->Label_CompSize->text(), "3,200.00 MB");

    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    dlg->UpdateSizeEstimate(selectedBytes);
    EXPECT_EQ(dlg->Label_CompSize->text(), "3.200,00 MB");
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));

    // 177 256 875 bytes at 8 kbit/s are exactly 1 005 000 bytes of MP3:
    // half a hundredth, which goes up.
    selectedBytes = 177'256'875;
    choose(dlg->ComboBox_Bitrate, Kbps8);
    EXPECT_EQ(dlg->Label_CompSize->text(), "1.01 MB");
}

TEST_F(MP3DlgTest, BitrateFromTextReadsTheLeadingNumber) {
    EXPECT_EQ(TMP3Dlg::BitrateFromText("128 - good sound quality / small file size"), 128);
    EXPECT_EQ(TMP3Dlg::BitrateFromText("8 - for internet, speech / smallest file size"), 8);
    EXPECT_EQ(TMP3Dlg::BitrateFromText("96"), 96);
    EXPECT_EQ(TMP3Dlg::BitrateFromText("320 - excellent sound quality - like CD"), 320);
    EXPECT_EQ(TMP3Dlg::BitrateFromText(""), 1);
    EXPECT_EQ(TMP3Dlg::BitrateFromText("MONO"), 1);
    EXPECT_EQ(TMP3Dlg::BitrateFromText(" 128"), 1);
    EXPECT_EQ(TMP3Dlg::BitrateFromText("99999999999999"), INT_MAX);
}

// --- Start, Cancel and keys -------------------------------------------------

TEST_F(MP3DlgTest, StartWithoutVbrClosesWhateverTheMaximumSays) {
    dlg->ComboBox_MaxBitrate->setCurrentIndex(Kbps8);
    showDialog();
    QTest::mouseClick(dlg->OKBtn, Qt::LeftButton);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_TRUE(shownTexts().empty());
}

TEST_F(MP3DlgTest, StartRefusesAMaximumThatIsNotHigher) {
    dlg->ComboBox_MaxBitrate->setCurrentIndex(Kbps128);
    dlg->CheckBox_VBR->setChecked(true);
    showDialog();
    EXPECT_EQ(dlg->Label_CompSize->text(), "wrong value of Max Bitrate");

    expectBox();
    QTest::mouseClick(dlg->OKBtn, Qt::LeftButton);
    EXPECT_EQ(shownTexts(), std::vector<QString>{MaxMustBeHigher});
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(QApplication::focusWidget(), dlg->ComboBox_MaxBitrate);
}

TEST_F(MP3DlgTest, StartRefusesVoiceWithoutMono) {
    // As a settings file could leave them: VOICE with STEREO.
    dlg->ComboBox_Mode->setCurrentIndex(Stereo);
    dlg->ComboBox_Quality->setCurrentIndex(Voice);
    dlg->CheckBox_VBR->setChecked(true);
    showDialog();

    expectBox();
    QTest::mouseClick(dlg->OKBtn, Qt::LeftButton);
    EXPECT_EQ(shownTexts(), std::vector<QString>{VoiceMustBeMono});
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(QApplication::focusWidget(), dlg->ComboBox_Quality);
}

TEST_F(MP3DlgTest, StartAcceptsVoiceWithMonoAndVbr) {
    showDialog();
    QTest::mouseClick(dlg->CheckBox_VBR, Qt::LeftButton);
    choose(dlg->ComboBox_Mode, Mono);
    choose(dlg->ComboBox_Quality, Voice);
    QTest::mouseClick(dlg->OKBtn, Qt::LeftButton);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_TRUE(shownTexts().empty());
}

TEST_F(MP3DlgTest, EnterStartsAndEscapeCancels) {
    showDialog();
    dlg->ComboBox_Quality->setFocus();
    QTest::keyClick(dlg->ComboBox_Quality, Qt::Key_Return);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), QDialog::Accepted);

    showDialog();
    dlg->ComboBox_Bitrate->setFocus();
    QTest::keyClick(dlg->ComboBox_Bitrate, Qt::Key_Escape);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), QDialog::Rejected);

    showDialog();
    QTest::mouseClick(dlg->CancelBtn, Qt::LeftButton);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
}

TEST_F(MP3DlgTest, F1OpensTheHelpTopicOrSaysTheFileIsMissing) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString helpFile = folder.filePath("Varrow.chm");
    dlg->setHelpFile(helpFile);
    showDialog();

    expectBox();
    QTest::keyClick(dlg->ComboBox_Mode, Qt::Key_F1);
    ASSERT_EQ(shownTexts(), std::vector<QString>{"The help file " + helpFile + " is not found!"});
    EXPECT_EQ(modals->messages.back().type, MsgDlgType::Error);
    EXPECT_EQ(modals->messages.back().owner, dlg);
    EXPECT_TRUE(modals->helpRequests.empty());

    QFile file(helpFile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    QTest::keyClick(dlg->OKBtn, Qt::Key_F1);
    EXPECT_EQ(modals->helpRequests,
              std::vector<QString>{helpFile + "::/extractcdtomp3.htm#MP3CompressionOptions"});
    EXPECT_TRUE(dlg->isVisible());
}

TEST_F(MP3DlgTest, RunsThroughTheModalSeam) {
    selectedBytes = 700'000'000;
    modals->dialogAnswers.emplace_back([](QDialog& shown) {
        auto& options = dynamic_cast<TMP3Dlg&>(shown);
        // What the user saw when it opened.
        EXPECT_EQ(options.Label_CompSize->text(), "63.50 MB");
        return int(QDialog::Rejected);
    });
    EXPECT_EQ(varrow::modals().exec(*dlg), QDialog::Rejected);
}

// --- Applying the choices ---------------------------------------------------

class MP3DlgApplyTest : public MP3DlgTest {
protected:
    TLameCoder coder;
    uint8_t monoDownMixType = 0;
};

TEST_F(MP3DlgApplyTest, VbrDecidesTheMaximumAndTheHeader) {
    coder.setMaxBitrate(256);
    coder.setEnableVBR(true);
    dlg->ComboBox_MaxBitrate->setCurrentIndex(Kbps8); // ignored without VBR
    EXPECT_EQ(dlg->ApplyTo(coder, monoDownMixType), QString());
    EXPECT_FALSE(coder.EnableVBR());
    EXPECT_FALSE(coder.WriteVBRHeader());
    EXPECT_EQ(coder.MaxBitrate(), 256u);
    EXPECT_EQ(coder.Bitrate(), 128u);
    EXPECT_EQ(coder.Mode(), JSTEREO);
    EXPECT_EQ(coder.Quality(), NORMAL_QUALITY);
    EXPECT_EQ(monoDownMixType, 0);

    dlg->CheckBox_VBR->setChecked(true);
    dlg->ComboBox_MaxBitrate->setCurrentIndex(Kbps224);
    EXPECT_EQ(dlg->ApplyTo(coder, monoDownMixType), QString());
    EXPECT_TRUE(coder.EnableVBR());
    EXPECT_TRUE(coder.WriteVBRHeader());
    EXPECT_EQ(coder.MaxBitrate(), 224u);
}

TEST_F(MP3DlgApplyTest, ItemsWithDescriptionsApplyAsTheirNumbers) {
    const std::vector<std::pair<int, uint32_t>> items{{10, 64}, {14, 32}, {Kbps8, 8}};
    for (const auto& [index, kbps] : items) {
        dlg->ComboBox_Bitrate->setCurrentIndex(index);
        EXPECT_EQ(dlg->ApplyTo(coder, monoDownMixType), QString());
        EXPECT_EQ(coder.Bitrate(), kbps);
    }
    EXPECT_TRUE(modals->messages.empty());
}

TEST_F(MP3DlgApplyTest, ModeMixAndQualityFollowTheListPositions) {
    dlg->ComboBox_Mode->setCurrentIndex(Mono);
    dlg->ComboBox_MixMode->setCurrentIndex(1);
    dlg->ComboBox_Quality->setCurrentIndex(Voice);
    EXPECT_EQ(dlg->ApplyTo(coder, monoDownMixType), QString());
    EXPECT_EQ(coder.Mode(), MONO);
    EXPECT_EQ(monoDownMixType, 1);
    EXPECT_EQ(coder.Quality(), VOICE_QUALITY);

    dlg->ComboBox_Mode->setCurrentIndex(DualChannel);
    dlg->ComboBox_MixMode->setCurrentIndex(2);
    dlg->ComboBox_Quality->setCurrentIndex(High);
    dlg->ApplyTo(coder, monoDownMixType);
    EXPECT_EQ(coder.Mode(), DUALCHANNEL);
    EXPECT_EQ(monoDownMixType, 2);
    EXPECT_EQ(coder.Quality(), HIGH_QUALITY);

    dlg->ComboBox_Mode->setCurrentIndex(Stereo);
    dlg->ComboBox_Quality->setCurrentIndex(Low);
    dlg->ApplyTo(coder, monoDownMixType);
    EXPECT_EQ(coder.Mode(), STEREO);
    EXPECT_EQ(coder.Quality(), LOW_QUALITY);
}

TEST_F(MP3DlgApplyTest, ListsWithoutASelectionAreRefusedOrLeftAlone) {
    // An unknown value in the settings file leaves a list without a selection.
    dlg->CheckBox_VBR->setChecked(true);
    dlg->ComboBox_MaxBitrate->setCurrentIndex(-1);
    coder.setMaxBitrate(160);
    coder.setBitrate(96);
    EXPECT_EQ(dlg->ApplyTo(coder, monoDownMixType), "Wrong Max Bitrate value!");
    EXPECT_EQ(coder.MaxBitrate(), 320u);
    EXPECT_EQ(coder.Bitrate(), 96u);

    dlg->CheckBox_VBR->setChecked(false);
    dlg->ComboBox_Bitrate->setCurrentIndex(-1);
    coder.setMode(DUALCHANNEL);
    EXPECT_EQ(dlg->ApplyTo(coder, monoDownMixType), "Wrong Bitrate value!");
    EXPECT_EQ(coder.Bitrate(), 128u);
    EXPECT_EQ(coder.Mode(), DUALCHANNEL);

    dlg->ComboBox_Bitrate->setCurrentIndex(Kbps192);
    dlg->ComboBox_Mode->setCurrentIndex(-1);
    dlg->ComboBox_MixMode->setCurrentIndex(-1);
    dlg->ComboBox_Quality->setCurrentIndex(-1);
    coder.setQuality(HIGH_QUALITY);
    monoDownMixType = 2;
    EXPECT_EQ(dlg->ApplyTo(coder, monoDownMixType), QString());
    EXPECT_EQ(coder.Bitrate(), 192u);
    EXPECT_EQ(coder.Mode(), DUALCHANNEL);
    EXPECT_EQ(coder.Quality(), HIGH_QUALITY);
    EXPECT_EQ(monoDownMixType, 2);
}

} // namespace
