// SPDX-License-Identifier: GPL-3.0-or-later
// The extraction batch driven from the tool buttons: the dialogs it runs, the
// files it writes, the questions it asks and the rows it leaves selected.
#include "BatchTestSupport.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>

using namespace varrow;
using namespace varrow::testing;

TEST_F(Batch, NothingSelectedWarnsAndOpensNoDialog) {
    start(2);
    modals->answer(ModalResult::Ok);
    clickMp3();
    ASSERT_EQ(modals->messages.size(), 1u);
    EXPECT_EQ(modals->messages[0].text, "Track(s) is not selected!");
    EXPECT_EQ(modals->messages[0].type, MsgDlgType::Warning);
    EXPECT_EQ(modals->messages[0].owner, form);
    EXPECT_EQ(modals->dialogsRun, 0);
    EXPECT_TRUE(modals->saveRequests.empty());
    expectWindowGivenBack();
}

TEST_F(Batch, RefusedWhilePlayingOrRipping) {
    start(1);
    selectRows({0});
    click(ui.ToolButton_Play);
    ASSERT_EQ(form->state(), WindowState::Playing);
    // The buttons are locked while the drive plays (their keys: the
    // KeyClicksOneButton cases).
    EXPECT_FALSE(ui.ToolButton_RipWav->isEnabled());
    EXPECT_FALSE(ui.ToolButton_RipMP3->isEnabled());
    clickWav();
    EXPECT_EQ(form->state(), WindowState::Playing);
    click(ui.ToolButton_Stop);
    EXPECT_TRUE(modals->messages.empty());
    EXPECT_TRUE(modals->saveRequests.empty());
    EXPECT_EQ(modals->dialogsRun, 0);
    EXPECT_FALSE(drive->locked());

    whileABatchWindsUp(0, [this] {
        clickMp3();
        clickWav();
        EXPECT_EQ(modals->dialogsRun, 0);
        EXPECT_EQ(modals->saveRequests.size(), 1u) << "the batch's own folder dialog only";
    });
}

TEST_F(Batch, CancelledMp3DialogEndsBeforeTheFolderDialog) {
    start(1);
    selectRows({0});
    modals->dialogAnswers.emplace_back([](QDialog&) { return int{QDialog::Rejected}; });
    clickMp3();
    EXPECT_EQ(modals->dialogsRun, 1);
    EXPECT_TRUE(modals->saveRequests.empty());
    EXPECT_TRUE(modals->messages.empty());
    expectWindowGivenBack();
}

TEST_F(Batch, WhileTheDialogsRunTheWindowIsLocked) {
    start(1);
    selectRows({0});
    modals->dialogAnswers.emplace_back([this](QDialog&) {
        EXPECT_EQ(form->state(), WindowState::Ripping);
        EXPECT_FALSE(ui.PageControl1->isEnabled());
        EXPECT_FALSE(ui.Timer1->isActive());
        EXPECT_FALSE(ui.Timer2->isActive());
        EXPECT_TRUE(drive->locked());
        return int{QDialog::Rejected};
    });
    clickMp3();
    expectWindowGivenBack();
}

TEST_F(Batch, FolderDialogAsksForAFolderAndCancellingKeepsTheTarget) {
    writeSettings("[FILES]\nDIRTARGET=" + out.toStdString() + "\n");
    start(1);
    selectRows({0});
    modals->saveAnswers.emplace_back(std::nullopt);
    clickWav();
    ASSERT_EQ(modals->saveRequests.size(), 1u);
    const SaveDialogRequest& request = modals->saveRequests[0];
    EXPECT_EQ(request.title, "Select Folder to save WAV files:");
    EXPECT_EQ(request.filter, "all files (*.*)|*.*|audio (*.wav;*.mp3;*.pcm;*.faw;*.wma)|"
                              "*.wav;*.mp3;*.pcm;*.faw;*.wma");
    EXPECT_EQ(request.fileNameText, "filenames will be as a tracks names");
    EXPECT_EQ(request.directory, out);
    EXPECT_EQ(form->targetFolder(), out);
    EXPECT_TRUE(modals->messages.empty());
    EXPECT_TRUE(QDir(out).isEmpty());
    expectWindowGivenBack();

    startMp3Dialog();
    modals->saveAnswers.emplace_back(std::nullopt);
    clickMp3();
    ASSERT_EQ(modals->saveRequests.size(), 2u);
    EXPECT_EQ(modals->saveRequests[1].title, "Select Folder to save MP3 files:");

    modals->saveAnswers.emplace_back(std::nullopt);
    click(ui.ToolButton_RipFlac);
    ASSERT_EQ(modals->saveRequests.size(), 3u);
    EXPECT_EQ(modals->saveRequests[2].title, "Select Folder to save FLAC files:");
}

TEST_F(Batch, WithoutATargetTheFolderDialogOpensInTheDocumentsFolder) {
    const QString documents = folder.filePath(QStringLiteral("My Documents"));
    ASSERT_TRUE(QDir().mkpath(documents));
    const QString config = folder.filePath(QStringLiteral("config"));
    ASSERT_TRUE(QDir().mkpath(config));
    writeFile(config + "/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"" + documents.toUtf8() + "\"\n");
    const QByteArray previousConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", config.toUtf8());
    start(1);
    selectRows({0});
    ASSERT_TRUE(form->targetFolder().isEmpty()) << "no settings file names one";
    modals->saveAnswers.emplace_back(std::nullopt);
    clickWav();
    if (previousConfig.isEmpty())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", previousConfig);
    ASSERT_EQ(modals->saveRequests.size(), 1u);
    EXPECT_EQ(modals->saveRequests[0].directory, documents);
}

TEST_F(Batch, MissingFolderEndsSilentlyButIsRemembered) {
    start(1);
    selectRows({0});
    const QString missing = folder.filePath(QStringLiteral("not there")) + '/';
    chooseFolder(missing);
    clickWav();
    EXPECT_EQ(form->targetFolder(), missing);
    EXPECT_TRUE(modals->messages.empty());
    EXPECT_FALSE(QFileInfo::exists(missing));
    EXPECT_EQ(selectedRows(), std::vector<int>({0}));
    expectWindowGivenBack();
}

TEST_F(Batch, WavBatchWritesEverySelectedRowAndUnselectsIt) {
    start(3, 300);
    selectRows({0, 2});
    chooseFolder(out);
    modals->messageAnswers.emplace_back([this](const ShownMessage&) {
        // The completion box comes while the progress window still shows
        // the end of the last track.
        EXPECT_TRUE(progress().isVisible());
        EXPECT_EQ(progress().Gauge_All->maximum(), 200);
        EXPECT_EQ(progress().Gauge_All->value(), 200);
        EXPECT_EQ(progress().Gauge_Track->value(), 100);
        EXPECT_EQ(progress().Label_Track->text(), "Exctract \"Track03\" to \"03_Track03.wav\"");
        // The time alone, beside its title "Extract Time:".
        EXPECT_TRUE(progress().Label_RipTime->text().startsWith("0:00:0"))
            << progress().Label_RipTime->text().toStdString();
        EXPECT_EQ(form->windowTitle(), "Varrow - 100%");
        return ModalResult::Ok;
    });
    clickWav();
    ASSERT_EQ(modals->messages.size(), 1u);
    EXPECT_TRUE(modals->messages[0].text.startsWith("Extract is complete.\nExtract time: 0:00:0"));
    EXPECT_EQ(modals->messages[0].type, MsgDlgType::Information);
    EXPECT_EQ(modals->messages[0].owner, &progress());
    EXPECT_EQ(trackFilesIn(out), QStringList({"01_Track01.wav", "03_Track03.wav"}));
    EXPECT_EQ(QFileInfo(out + "01_Track01.wav").size(), 44 + 300 * 2352);
    EXPECT_TRUE(selectedRows().empty());
    EXPECT_EQ(form->targetFolder(), out);
    expectWindowGivenBack();
}

TEST_F(Batch, FilesAreNamedFromTheRowsAndTheNumberingOption) {
    // A title the disc gave is made a safe name; one typed in its row is
    // taken as it is; the numbering follows its check box.
    cdlib::VirtualDisc disc = discOf(std::vector<cdlib::VirtualTrack>(3, audio(100)));
    disc.text.set(0, CDTEXT_TITLE, "Album");
    disc.text.set(1, CDTEXT_TITLE, "AC/DC");
    disc.text.set(3, CDTEXT_TITLE, "-Tab\there");
    start(disc);
    editTitle(1, QStringLiteral("Evening: *Tram*"));
    toggleOption(ui.CheckBox_AddNum2FName);
    selectRows({0, 1, 2});
    chooseFolder(out);
    modals->messageAnswers.emplace_back([this](const ShownMessage&) {
        EXPECT_EQ(progress().Label_Track->text(), "Exctract \"-Tab\there\" to \"Tab here.wav\"");
        return ModalResult::Ok;
    });
    clickWav();
    EXPECT_EQ(trackFilesIn(out),
              QStringList({"AC\u2215DC.wav", "Evening: *Tram*.wav", "Tab here.wav"}));
    EXPECT_EQ(form->windowTitle(), "Varrow - Album");
}

TEST_F(Batch, OverwriteAnswersAcrossRowsAndTheNextBatchAsksAgain) {
    start(4, 100);
    for (const char* name :
         {"01_Track01.wav", "02_Track02.wav", "03_Track03.wav", "04_Track04.wav"})
        writeFile(out + name, "old");
    selectRows({0, 1, 2, 3});
    chooseFolder(out);
    modals->answer(ModalResult::Yes);
    modals->answer(ModalResult::No);
    modals->answer(ModalResult::YesToAll);
    expectCompletion();
    clickWav();
    ASSERT_EQ(modals->messages.size(), 4u);
    for (int row = 0; row < 3; ++row) {
        const ShownMessage& question = modals->messages[static_cast<size_t>(row)];
        EXPECT_EQ(question.text,
                  overwriteQuestion(out + QStringLiteral("0%1_Track0%1.wav").arg(row + 1)));
        EXPECT_EQ(question.type, MsgDlgType::Confirmation);
        EXPECT_EQ(question.buttons, MsgButtons::YesNoYesToAll);
        EXPECT_EQ(question.owner, &progress());
    }
    EXPECT_TRUE(modals->messages[3].text.startsWith("Extract is complete."));
    EXPECT_EQ(QFileInfo(out + "01_Track01.wav").size(), 44 + 100 * 2352);
    EXPECT_EQ(contents(out + "02_Track02.wav"), "old");
    EXPECT_EQ(QFileInfo(out + "03_Track03.wav").size(), 44 + 100 * 2352);
    EXPECT_EQ(QFileInfo(out + "04_Track04.wav").size(), 44 + 100 * 2352);
    EXPECT_EQ(selectedRows(), std::vector<int>({1}));

    // Yes to All lasted for that batch only.
    selectRows({3});
    chooseFolder(out);
    modals->answer(ModalResult::No);
    modals->answer(ModalResult::No);
    expectCompletion();
    clickWav();
    ASSERT_EQ(modals->messages.size(), 7u);
    EXPECT_EQ(modals->messages[4].text, overwriteQuestion(out + "02_Track02.wav"));
    EXPECT_EQ(modals->messages[5].text, overwriteQuestion(out + "04_Track04.wav"));
}

TEST_F(Batch, EveryQuestionDeclinedWritesNothingInNoTime) {
    start(2, 100);
    writeFile(out + "01_Track01.wav", "one");
    writeFile(out + "02_Track02.wav", "two");
    selectRows({0, 1});
    chooseFolder(out);
    modals->answer(ModalResult::No);
    // Closing the question without a button keeps the file as No does.
    modals->answer(ModalResult::None);
    expectCompletion();
    clickWav();
    ASSERT_EQ(modals->messages.size(), 3u);
    // Seconds at most, however busy the machine, and nothing else to say.
    const QString& said = modals->messages[2].text;
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^Extract is complete\\.\nExtract time: 0:00:0\\d$"))
            .match(said)
            .hasMatch())
        << said.toStdString();
    EXPECT_EQ(contents(out + "01_Track01.wav"), "one");
    EXPECT_EQ(contents(out + "02_Track02.wav"), "two");
    EXPECT_EQ(selectedRows(), std::vector<int>({0, 1}));
    expectWindowGivenBack();
}

TEST_F(Batch, SameTitlesWithoutNumbersWriteDistinctFiles) {
    start(2, 100);
    toggleOption(ui.CheckBox_AddNum2FName);
    editTitle(1, QStringLiteral("Track01"));
    selectRows({0, 1});
    chooseFolder(out);
    expectCompletion();
    clickWav();
    ASSERT_EQ(modals->messages.size(), 1u) << "no question about a file of this batch";
    EXPECT_EQ(trackFilesIn(out), QStringList({"Track01 (2).wav", "Track01.wav"}));
}

TEST_F(Batch, HiddenWindowsComeBackBeforeAQuestionAndTheEnd) {
    start(2, 300);
    writeFile(out + "02_Track02.wav", "old");
    selectRows({0, 1});
    chooseFolder(out);
    atProgress(0, 50, [this] { QTest::mouseClick(progress().Btn_Hide, Qt::LeftButton); });
    modals->messageAnswers.emplace_back([this](const ShownMessage&) {
        EXPECT_FALSE(form->isMinimized());
        EXPECT_FALSE(progress().isMinimized());
        QTest::mouseClick(progress().Btn_Hide, Qt::LeftButton);
        return ModalResult::No;
    });
    modals->messageAnswers.emplace_back([this](const ShownMessage&) {
        EXPECT_FALSE(form->isMinimized());
        EXPECT_FALSE(progress().isMinimized());
        return ModalResult::Ok;
    });
    clickWav();
    ASSERT_EQ(modals->messages.size(), 2u);
    // The question and the completion over the progress window, which stays
    // on top: neither opens over a minimised window or under one.
    for (const ShownMessage& shown : modals->messages) {
        EXPECT_EQ(shown.ownerState.window, &progress()) << shown.text.toStdString();
        EXPECT_TRUE(shown.ownerState.visible) << shown.text.toStdString();
        EXPECT_FALSE(shown.ownerState.minimized) << shown.text.toStdString();
        EXPECT_TRUE(shown.ownerState.staysOnTop) << shown.text.toStdString();
    }
    expectWindowGivenBack();
}

TEST_F(Batch, Mp3EstimatesUseTheChosenBitrates) {
    // 52,920,000 bytes, five minutes of CD audio, in two tracks.
    start(2, 11251);
    selectRows({0, 1});
    ASSERT_EQ(statusText(PANEL_TRACKS), "Tracks:2, selected:2 (52.92 MB)");
    int64_t freeBytes = 0;
    form->FreeSpaceQuery = [&](const QString&) {
        return freeBytes;
    };

    freeBytes = 4800680 + 2 * 64000;
    startMp3Dialog();
    chooseFolder(out);
    modals->answer(ModalResult::Ok);
    clickMp3();
    ASSERT_EQ(modals->messages.size(), 1u);
    EXPECT_TRUE(modals->messages[0].text.endsWith("to write selected tracks!"));

    // One byte more passes the batch test; the first track then needs
    // (26460000 div 1411) x 128 + 64000 and finds exactly that.
    int calls = 0;
    form->FreeSpaceQuery = [&](const QString&) {
        return ++calls == 1 ? 4800680 + 2 * 64000 + 1 : int64_t{18752 * 128 + 64000};
    };
    startMp3Dialog();
    chooseFolder(out);
    modals->answer(ModalResult::Ok);
    modals->answer(ModalResult::Ok);
    modals->answer(ModalResult::Ok);
    clickMp3();
    ASSERT_EQ(modals->messages.size(), 4u);
    EXPECT_TRUE(modals->messages[1].text.endsWith("to write \"01_Track01.mp3\"!"));
    EXPECT_TRUE(modals->messages[2].text.endsWith("to write \"02_Track02.mp3\"!"));

    // With VBR up to 320 the batch needs 6,000,850 bytes and the files.
    EXPECT_TRUE(selectedRows().empty()) << "rows that did not fit count as dealt with";
    selectRows({0, 1});
    form->FreeSpaceQuery = [&](const QString&) {
        return int64_t{6000850 + 2 * 64000};
    };
    startMp3Dialog([](TMP3Dlg& dialog) { dialog.CheckBox_VBR->setChecked(true); });
    chooseFolder(out);
    modals->answer(ModalResult::Ok);
    clickMp3();
    ASSERT_EQ(modals->messages.size(), 5u);
    EXPECT_TRUE(modals->messages[4].text.endsWith("to write selected tracks!"));
    EXPECT_TRUE(QDir(out).isEmpty());
}

TEST_F(Batch, Mp3DialogChoicesReachTheEncoderAndTheEngine) {
    start(1, 100);
    selectRows({0});
    startMp3Dialog([this](TMP3Dlg& dialog) {
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(dialog.Label_CompSize->text(), "0.02 MB"); // 232848 / 1411 x 128
        dialog.ComboBox_Bitrate->setCurrentIndex(3);
        dialog.ComboBox_Mode->setCurrentIndex(TMP3Dlg::ModeMono);
        dialog.ComboBox_MixMode->setCurrentIndex(2);
        dialog.ComboBox_Quality->setCurrentIndex(2);
        dialog.CheckBox_VBR->setChecked(true);
        dialog.ComboBox_MaxBitrate->setCurrentIndex(1);
        EXPECT_EQ(form->engine().Encode(), true);
    });
    chooseFolder(out);
    expectCompletion();
    clickMp3();
    EXPECT_EQ(form->encoder().Bitrate(), 192u);
    EXPECT_EQ(form->encoder().MaxBitrate(), 256u);
    EXPECT_TRUE(form->encoder().EnableVBR());
    EXPECT_EQ(form->encoder().Mode(), MONO);
    EXPECT_EQ(form->encoder().Quality(), HIGH_QUALITY);
    EXPECT_EQ(form->engine().MonoDownMixType(), 2);
    EXPECT_EQ(trackFilesIn(out), QStringList({"01_Track01.mp3"}));
    EXPECT_FALSE(mp3Dlg().isVisible());
}

TEST_F(Batch, RejectedBitratesEndTheBatchBeforeTheFolderDialog) {
    start(1, 100);
    selectRows({0});
    startMp3Dialog([](TMP3Dlg& dialog) { dialog.ComboBox_Bitrate->setCurrentIndex(-1); });
    modals->answer(ModalResult::Ok);
    clickMp3();
    startMp3Dialog([](TMP3Dlg& dialog) {
        dialog.ComboBox_Bitrate->setCurrentIndex(6);
        dialog.CheckBox_VBR->setChecked(true);
        dialog.ComboBox_MaxBitrate->setCurrentIndex(-1);
    });
    modals->answer(ModalResult::Ok);
    clickMp3();
    ASSERT_EQ(modals->messages.size(), 2u);
    EXPECT_EQ(modals->messages[0].text, "Wrong Bitrate value!");
    EXPECT_EQ(modals->messages[0].type, MsgDlgType::Error);
    EXPECT_EQ(modals->messages[0].owner, form);
    EXPECT_EQ(modals->messages[1].text, "Wrong Max Bitrate value!");
    EXPECT_EQ(form->encoder().Bitrate(), 128u);
    EXPECT_EQ(form->encoder().MaxBitrate(), 320u);
    EXPECT_TRUE(modals->saveRequests.empty());
    expectWindowGivenBack();
}

TEST_F(Batch, Mp3DialogHintsFollowTheMainWindow) {
    start(1, 100);
    EXPECT_TRUE(mp3Dlg().ShowHints());
    ui.PageControl1->setCurrentIndex(1);
    clickBox(ui.CheckBox_Hints);
    EXPECT_FALSE(mp3Dlg().ShowHints());
    EXPECT_EQ(mp3Dlg().parentWidget(), form);
    EXPECT_EQ(mp3Dlg().HelpFile(), form->helpFile());
}
