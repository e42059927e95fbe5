// The extraction batch driven from the tool buttons: the dialogs it runs, the
// files it writes, the questions it asks, the rows it leaves selected, and
// what the engine's events show while it runs.
#include "DiskSpace.h"
#include "ShellTestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <filesystem>
#include <functional>
#include <limits>
#include <sys/stat.h>
#include <system_error>

using namespace varrow;
using namespace varrow::testing;

namespace {

constexpr int64_t Plenty = std::numeric_limits<int64_t>::max() / 4;
// 100 chunks of 26 sectors: the library's percentage moves by exactly one
// per chunk.
constexpr int32_t TrackSectors = 2600;
constexpr int64_t TrackBytes = int64_t{TrackSectors} * 2352;

class Batch : public ShellTest {
protected:
    std::shared_ptr<cdlib::VirtualDrive> drive;
    QString out;

    void SetUp() override {
        ShellTest::SetUp();
        ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("out")));
        out = folder.filePath(QStringLiteral("out")) + QLatin1Char('/');
    }

    void start(int tracks, int32_t sectors = TrackSectors) {
        std::vector<cdlib::VirtualTrack> disc(static_cast<size_t>(tracks), audio(sectors));
        drive = addDrive("VIRTUAL Batch", discOf(disc));
        createWindow();
        form->FreeSpaceQuery = [](const QString&) {
            return Plenty;
        };
    }

    void selectRows(std::initializer_list<int> rows) {
        for (const int row : rows)
            clickRow(row, Qt::ControlModifier);
    }

    // The "Size (Bytes)" column: one sector less than the track's range.
    int64_t rowSize(int row) const {
        return form->ListView1->item(row, COL_SIZE)->text().toLongLong();
    }

    std::vector<int> selectedRows() const {
        std::vector<int> rows;
        for (int row = 0; row < form->ListView1->rowCount(); ++row) {
            if (form->isRowSelected(row))
                rows.push_back(row);
        }
        return rows;
    }

    void chooseFolder(const QString& chosenFolder) {
        modals->saveAnswers.emplace_back(chosenFolder +
                                         QStringLiteral("filenames will be as a tracks names"));
    }

    void startMp3Dialog(std::function<void(TMP3Dlg&)> choose = {}) {
        modals->dialogAnswers.emplace_back([choose](QDialog& dialog) {
            if (choose)
                choose(static_cast<TMP3Dlg&>(dialog));
            return int{QDialog::Accepted};
        });
    }

    void expectCompletion() { modals->answer(ModalResult::Ok); }

    // Clicks an option of the Options tab and comes back to the track list.
    void toggleOption(QCheckBox* box) {
        form->PageControl1->setCurrentIndex(1);
        clickBox(box);
        form->PageControl1->setCurrentIndex(0);
    }

    void clickWav() { QTest::mouseClick(form->ToolButton_RipWav, Qt::LeftButton); }
    void clickMp3() { QTest::mouseClick(form->ToolButton_RipMP3, Qt::LeftButton); }

    // Runs `action` once, the first time a progress event of row
    // `batchIndex` reaches `percent`, after the window has handled it.
    void atProgress(int batchIndex, int percent, std::function<void()> action) {
        auto handled = std::make_shared<bool>(false);
        ProgressTrackEvent original = form->CDRIP1.OnProgress;
        form->CDRIP1.OnProgress = [this, original, batchIndex, percent, handled,
                                   action](TCDRIP& sender, uint16_t complete, int64_t errors,
                                           long double speed) {
            original(sender, complete, errors, speed);
            if (!*handled && form->BatchTrackIndex == batchIndex && complete >= percent) {
                *handled = true;
                action();
            }
        };
    }

    static QByteArray contents(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static void writeFile(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    // The main window as it must be after every batch, however it ended.
    void expectWindowGivenBack() {
        EXPECT_FALSE(form->IsRipping);
        EXPECT_TRUE(form->PageControl1->isEnabled());
        EXPECT_TRUE(form->isEnabled());
        EXPECT_TRUE(form->isVisible());
        EXPECT_FALSE(form->isMinimized());
        EXPECT_EQ(form->windowTitle(), "Varrow");
        EXPECT_EQ(form->CurrentCaption, "Varrow");
        EXPECT_TRUE(form->Timer1->isActive());
        EXPECT_TRUE(form->Timer2->isActive());
        EXPECT_FALSE(progress().isVisible());
        EXPECT_FALSE(drive->locked());
    }

    // Runs `action` from the application's event loop with the last window's
    // close quitting the program, as the program runs. The loop ends when the
    // program quits, or after `action` when the main window is still open.
    void runAsTheProgram(const std::function<void()>& action) {
        QApplication::setQuitOnLastWindowClosed(true);
        QTimer::singleShot(0, form, [this, &action] {
            action();
            if (form->isVisible())
                QCoreApplication::exit();
        });
        // Ends a loop that would otherwise never end; no timing is measured.
        bool stuck = false;
        QTimer stopper;
        stopper.setSingleShot(true);
        QObject::connect(&stopper, &QTimer::timeout, [&stuck] {
            stuck = true;
            QCoreApplication::exit();
        });
        stopper.start(std::chrono::seconds(30));
        QApplication::exec();
        QApplication::setQuitOnLastWindowClosed(false);
        EXPECT_FALSE(stuck) << "the program neither quit nor kept its window";
    }

    static QString overwriteQuestion(const QString& path) {
        return "File \"" + path + "\" already exists!\nOverwrite?";
    }
};

} // namespace

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
    form->IsPlaying = true;
    clickWav();
    form->IsPlaying = false;
    form->IsRipping = true;
    clickMp3();
    EXPECT_TRUE(modals->messages.empty());
    EXPECT_TRUE(modals->saveRequests.empty());
    EXPECT_EQ(modals->dialogsRun, 0);
    EXPECT_FALSE(drive->locked());
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
        EXPECT_TRUE(form->IsRipping);
        EXPECT_FALSE(form->PageControl1->isEnabled());
        EXPECT_FALSE(form->Timer1->isActive());
        EXPECT_FALSE(form->Timer2->isActive());
        EXPECT_TRUE(drive->locked());
        return int{QDialog::Rejected};
    });
    clickMp3();
    expectWindowGivenBack();
}

TEST_F(Batch, FolderDialogAsksForAFolderAndCancellingKeepsTheTarget) {
    start(1);
    selectRows({0});
    form->TargetFolder = out;
    modals->saveAnswers.emplace_back(std::nullopt);
    clickWav();
    ASSERT_EQ(modals->saveRequests.size(), 1u);
    const SaveDialogRequest& request = modals->saveRequests[0];
    EXPECT_EQ(request.title, "Select Folder to save WAV files:");
    EXPECT_EQ(request.filter, "all files (*.*)|*.*|audio (*.wav;*.mp3;*.pcm;*.faw;*.wma)|"
                              "*.wav;*.mp3;*.pcm;*.faw;*.wma");
    EXPECT_EQ(request.fileNameText, "filenames will be as a tracks names");
    EXPECT_EQ(request.directory, out);
    EXPECT_EQ(form->TargetFolder, out);
    EXPECT_TRUE(modals->messages.empty());
    EXPECT_TRUE(QDir(out).isEmpty());
    expectWindowGivenBack();

    startMp3Dialog();
    modals->saveAnswers.emplace_back(std::nullopt);
    clickMp3();
    ASSERT_EQ(modals->saveRequests.size(), 2u);
    EXPECT_EQ(modals->saveRequests[1].title, "Select Folder to save MP3 files:");
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
    form->TargetFolder.clear();
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
    EXPECT_EQ(form->TargetFolder, missing);
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
        EXPECT_TRUE(progress().Label_RipTime->text().startsWith("Extract Time: 0:00:0"));
        EXPECT_EQ(form->windowTitle(), "Varrow - 100%");
        return ModalResult::Ok;
    });
    clickWav();
    ASSERT_EQ(modals->messages.size(), 1u);
    EXPECT_TRUE(modals->messages[0].text.startsWith("Extract is complete.\nExtract time: 0:00:0"));
    EXPECT_EQ(modals->messages[0].type, MsgDlgType::Information);
    EXPECT_EQ(modals->messages[0].owner, &progress());
    EXPECT_EQ(QDir(out).entryList(QDir::Files), QStringList({"01_Track01.wav", "03_Track03.wav"}));
    EXPECT_EQ(QFileInfo(out + "01_Track01.wav").size(), 44 + 300 * 2352);
    EXPECT_TRUE(selectedRows().empty());
    EXPECT_EQ(form->TargetFolder, out);
    expectWindowGivenBack();
}

TEST_F(Batch, TitlesAreUsedAsShownAndNumberingFollowsItsOption) {
    start(2, 100);
    form->ListView1->item(0, COL_TITLE)->setText(QStringLiteral("Intro: *part 1*"));
    toggleOption(form->CheckBox_AddNum2FName);
    selectRows({0, 1});
    chooseFolder(out);
    expectCompletion();
    clickWav();
    EXPECT_EQ(QDir(out).entryList(QDir::Files),
              QStringList({"Intro: *part 1*.wav", "Track02.wav"}));
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
        EXPECT_EQ(question.owner, form);
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
    EXPECT_EQ(modals->messages[2].text, "Extract is complete.\nExtract time: 0:00:00");
    EXPECT_EQ(contents(out + "01_Track01.wav"), "one");
    EXPECT_EQ(contents(out + "02_Track02.wav"), "two");
    EXPECT_EQ(selectedRows(), std::vector<int>({0, 1}));
    expectWindowGivenBack();
}

TEST_F(Batch, SameTitleWithoutNumbersMeetsItsOwnFile) {
    start(2, 100);
    toggleOption(form->CheckBox_AddNum2FName);
    form->ListView1->item(1, COL_TITLE)->setText(QStringLiteral("Track01"));
    selectRows({0, 1});
    chooseFolder(out);
    modals->answer(ModalResult::Yes);
    expectCompletion();
    clickWav();
    ASSERT_EQ(modals->messages.size(), 2u);
    EXPECT_EQ(modals->messages[0].text, overwriteQuestion(out + "Track01.wav"));
    EXPECT_EQ(QDir(out).entryList(QDir::Files), QStringList({"Track01.wav"}));
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
    EXPECT_EQ(modals->messages.size(), 2u);
    expectWindowGivenBack();
}

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
    EXPECT_EQ(modals->messages[0].text,
              "Not enough free disk space on \"" +
                  QString::fromStdString(volumeMountPoint(out.toStdString())) +
                  "\" to write selected tracks!");
    EXPECT_EQ(modals->messages[0].type, MsgDlgType::Error);
    EXPECT_EQ(queried, std::vector<QString>({out}));
    EXPECT_TRUE(QDir(out).isEmpty());
    EXPECT_FALSE(progress().isVisible());
    expectWindowGivenBack();

    freeBytes = need + 1;
    chooseFolder(out);
    expectCompletion();
    clickWav();
    EXPECT_EQ(QDir(out).entryList(QDir::Files).size(), 2);
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
    EXPECT_EQ(modals->messages[0].text,
              "Not enough free disk space on \"" +
                  QString::fromStdString(volumeMountPoint(out.toStdString())) +
                  "\" to write \"02_Track02.wav\"!");
    EXPECT_EQ(modals->messages[0].owner, form);
    EXPECT_TRUE(modals->messages[1].text.startsWith("Extract is complete."));
    EXPECT_EQ(QDir(out).entryList(QDir::Files), QStringList({"01_Track01.wav", "03_Track03.wav"}));
    EXPECT_TRUE(selectedRows().empty());
}

TEST_F(Batch, Mp3EstimatesUseTheChosenBitrates) {
    // 52,920,000 bytes, five minutes of CD audio, in two tracks.
    start(2, 11251);
    selectRows({0, 1});
    ASSERT_EQ(form->SelectedBytes, 52920000);
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
        EXPECT_EQ(form->CDRIP1.Encode(), true);
    });
    chooseFolder(out);
    expectCompletion();
    clickMp3();
    EXPECT_EQ(form->LameCoder1.Bitrate(), 192u);
    EXPECT_EQ(form->LameCoder1.MaxBitrate(), 256u);
    EXPECT_TRUE(form->LameCoder1.EnableVBR());
    EXPECT_EQ(form->LameCoder1.Mode(), MONO);
    EXPECT_EQ(form->LameCoder1.Quality(), HIGH_QUALITY);
    EXPECT_EQ(form->CDRIP1.MonoDownMixType(), 2);
    EXPECT_EQ(QDir(out).entryList(QDir::Files), QStringList({"01_Track01.mp3"}));
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
    EXPECT_EQ(form->LameCoder1.Bitrate(), 128u);
    EXPECT_EQ(form->LameCoder1.MaxBitrate(), 320u);
    EXPECT_TRUE(modals->saveRequests.empty());
    expectWindowGivenBack();
}

TEST_F(Batch, Mp3DialogHintsFollowTheMainWindow) {
    start(1, 100);
    EXPECT_TRUE(mp3Dlg().ShowHints());
    form->PageControl1->setCurrentIndex(1);
    clickBox(form->CheckBox_Hints);
    EXPECT_FALSE(mp3Dlg().ShowHints());
    EXPECT_EQ(mp3Dlg().parentWidget(), form);
    EXPECT_EQ(mp3Dlg().HelpFile(), form->HelpFile);
}

TEST_F(Batch, SkipLeavesThePartialFileAndItsRowAndGoesOn) {
    start(3);
    selectRows({0, 1, 2});
    chooseFolder(out);
    int gaugeAtEndOfSkipped = -1;
    atProgress(1, 30, [this] { QTest::mouseClick(progress().Btn_Cancel, Qt::LeftButton); });
    TProcessTrackEvent originalEnd = form->CDRIP1.OnEndTrack;
    form->CDRIP1.OnEndTrack = [&](TCDRIP& sender, uint16_t track) {
        originalEnd(sender, track);
        if (track == 2)
            gaugeAtEndOfSkipped = progress().Gauge_All->value();
    };
    expectCompletion();
    clickWav();
    EXPECT_EQ(gaugeAtEndOfSkipped, 200);
    const qint64 whole = 44 + TrackBytes;
    EXPECT_EQ(QFileInfo(out + "01_Track01.wav").size(), whole);
    const qint64 partial = QFileInfo(out + "02_Track02.wav").size();
    EXPECT_GT(partial, 44);
    EXPECT_LT(partial, whole / 2);
    EXPECT_EQ(QFileInfo(out + "03_Track03.wav").size(), whole);
    EXPECT_EQ(selectedRows(), std::vector<int>({1}));
    ASSERT_EQ(modals->messages.size(), 1u);
    EXPECT_TRUE(modals->messages[0].text.startsWith("Extract is complete."));
}

TEST_F(Batch, AbortLeavesTheRestSelectedAndStillReportsCompletion) {
    start(3);
    selectRows({0, 1, 2});
    chooseFolder(out);
    atProgress(1, 30, [this] {
        modals->messageAnswers.emplace_front([](const ShownMessage&) { return ModalResult::Yes; });
        QTest::mouseClick(progress().Btn_Abort, Qt::LeftButton);
    });
    expectCompletion();
    clickWav();
    ASSERT_EQ(modals->messages.size(), 2u);
    EXPECT_EQ(modals->messages[0].text, "Abort Extracts all tracks?");
    EXPECT_TRUE(modals->messages[1].text.startsWith("Extract is complete."));
    EXPECT_EQ(modals->messages[1].owner, &progress());
    EXPECT_TRUE(QFileInfo::exists(out + "02_Track02.wav"));
    EXPECT_FALSE(QFileInfo::exists(out + "03_Track03.wav"));
    EXPECT_EQ(selectedRows(), std::vector<int>({1, 2}));
    expectWindowGivenBack();
}

// Closing the progress window gives the main window back while the track in
// hand is still being read: a click or a disc change in that time must
// neither start a second batch nor rebuild the list under the first.
TEST_F(Batch, NothingRestartsOrRelistsWhileTheClosedBatchWindsUp) {
    start(2);
    selectRows({0, 1});
    chooseFolder(out);
    atProgress(0, 30, [this] {
        modals->messageAnswers.emplace_front([](const ShownMessage&) { return ModalResult::Yes; });
        ASSERT_TRUE(progress().close());
        ASSERT_FALSE(form->IsRipping);
        clickWav();
        form->WMDeviceChange(CR_DEVICE_ARRIVAL);
        form->ComboBoxDrive2->activated(0);
    });
    expectCompletion();
    clickWav();
    EXPECT_EQ(modals->saveRequests.size(), 1u);
    ASSERT_EQ(modals->messages.size(), 2u);
    EXPECT_EQ(modals->messages[0].text, "Abort Extracts all tracks?");
    EXPECT_TRUE(modals->messages[1].text.startsWith("Extract is complete."));
    EXPECT_EQ(selectedRows(), std::vector<int>({0, 1}));
    EXPECT_FALSE(QFileInfo::exists(out + "02_Track02.wav"));
    expectWindowGivenBack();
}

// Run from the program's event loop, where closing the last window quits and
// quitting closes every window that is still open.
TEST_F(Batch, ClosingTheMainWindowAsksOnceAndClosesItWhenTheBatchHasWoundUp) {
    start(2);
    selectRows({0, 1});
    chooseFolder(out);
    atProgress(0, 30, [this] {
        modals->messageAnswers.emplace_front([](const ShownMessage&) { return ModalResult::Yes; });
        form->close();
    });
    expectCompletion();
    runAsTheProgram([this] { clickWav(); });
    ASSERT_EQ(modals->messages.size(), 2u);
    EXPECT_EQ(modals->messages[0].text, "Abort Extracts all tracks and exit?");
    EXPECT_EQ(modals->messages[0].owner, &progress());
    EXPECT_TRUE(modals->messages[1].text.startsWith("Extract is complete."));
    EXPECT_TRUE(form->AbortAll);
    EXPECT_FALSE(QFileInfo::exists(out + "02_Track02.wav"));
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(form->IsRipping);
    EXPECT_FALSE(progress().isVisible());
    EXPECT_FALSE(drive->locked());
}

TEST_F(Batch, ClosingTheMainWindowAnsweredNoLetsTheBatchFinish) {
    start(2);
    selectRows({0, 1});
    chooseFolder(out);
    atProgress(0, 30, [this] {
        modals->messageAnswers.emplace_front([](const ShownMessage&) { return ModalResult::No; });
        EXPECT_FALSE(form->close());
    });
    expectCompletion();
    runAsTheProgram([this] { clickWav(); });
    ASSERT_EQ(modals->messages.size(), 2u);
    EXPECT_EQ(modals->messages[0].text, "Abort Extracts all tracks and exit?");
    EXPECT_TRUE(modals->messages[1].text.startsWith("Extract is complete."));
    EXPECT_FALSE(form->AbortAll);
    EXPECT_TRUE(QFileInfo::exists(out + "02_Track02.wav"));
    EXPECT_TRUE(selectedRows().empty());
    expectWindowGivenBack();
}

TEST_F(Batch, CaptionShowsTheWholeBatchPercentage) {
    start(4);
    selectRows({0, 1, 2, 3});
    chooseFolder(out);
    QString captionHalfWayThroughSecond;
    QString trackCaption;
    atProgress(1, 50, [&] {
        captionHalfWayThroughSecond = form->windowTitle();
        trackCaption = QString::number(progress().Gauge_Track->value());
    });
    expectCompletion();
    clickWav();
    EXPECT_EQ(trackCaption, "50");
    EXPECT_EQ(captionHalfWayThroughSecond, "Varrow - 37%");
}

TEST_F(Batch, ProgressShowsSpeedTimeAndJitterState) {
    start(1);
    // Read without jitter correction, which a drive has on by default.
    toggleOption(form->CheckBox_JitterCorrection);
    ASSERT_FALSE(form->CDRIP1.JitterCorrect());
    selectRows({0});
    chooseFolder(out);
    // A clock that moves 100 ms a chunk: 2.5 s for the track.
    auto clock = std::make_shared<std::chrono::steady_clock::time_point>();
    EngineHooks hooks = engineHooks();
    hooks.now = [clock] {
        return *clock += std::chrono::milliseconds(50);
    };
    setEngineHooks(hooks);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QString speedText;
    QString jitterText;
    bool jitterEnabled = true;
    atProgress(0, 60, [&] {
        speedText = progress().Label_Speed->text();
        jitterText = progress().Label_JittCount->text();
        jitterEnabled = progress().Label_JittError->isEnabled();
    });
    expectCompletion();
    clickWav();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_TRUE(speedText.startsWith('x'));
    EXPECT_TRUE(speedText.contains(',')) << speedText.toStdString();
    EXPECT_EQ(jitterText, "OFF");
    EXPECT_FALSE(jitterEnabled);
    EXPECT_TRUE(progress().Label_RipTime->text().startsWith("Extract Time: 0:00:"));
}

TEST_F(Batch, JitterErrorsPauseOnlyWhenCountedAndAsked) {
    start(2, 300);
    drive->faults().jitterSectors = {120};
    ASSERT_TRUE(form->CDRIP1.JitterCorrect()) << "a drive without settings reads securely";
    selectRows({0, 1});
    chooseFolder(out);
    QString countShown;
    QColor countColour;
    atProgress(0, 100, [&] {
        countShown = progress().Label_JittCount->text();
        countColour = progress().Label_JittCount->palette().color(QPalette::WindowText);
    });
    modals->answer(ModalResult::Ok);
    expectCompletion();
    clickWav();
    EXPECT_EQ(countShown, "1");
    EXPECT_EQ(countColour, QColor(Qt::red));
    ASSERT_EQ(modals->messages.size(), 2u);
    EXPECT_EQ(modals->messages[0].text,
              "01_Track01.wav: 1 synchronization (jitter) errors are possible!");
    EXPECT_EQ(modals->messages[0].type, MsgDlgType::Warning);
    EXPECT_EQ(modals->messages[0].owner, &progress());
    EXPECT_TRUE(modals->messages[1].text.startsWith("Extract is complete."));

    // Without the option the batch does not stop.
    toggleOption(form->CheckBox_ONErrPause);
    selectRows({0, 1});
    chooseFolder(out);
    modals->answer(ModalResult::YesToAll);
    expectCompletion();
    clickWav();
    ASSERT_EQ(modals->messages.size(), 4u);
    EXPECT_TRUE(modals->messages[3].text.startsWith("Extract is complete."));

    // The pause depends on the count, not on jitter correction.
    toggleOption(form->CheckBox_ONErrPause);
    toggleOption(form->CheckBox_JitterCorrection);
    ASSERT_FALSE(form->CDRIP1.JitterCorrect());
    selectRows({0});
    chooseFolder(out);
    modals->answer(ModalResult::Yes);
    modals->answer(ModalResult::Ok);
    expectCompletion();
    clickWav();
    ASSERT_EQ(modals->messages.size(), 7u);
    EXPECT_EQ(modals->messages[5].text,
              "01_Track01.wav: 1 synchronization (jitter) errors are possible!");
    EXPECT_EQ(progress().Label_JittCount->text(), "OFF");
}

TEST_F(Batch, EngineErrorEndsTheBatchAndGivesTheWindowBack) {
    start(3, 100);
    form->ListView1->item(1, COL_TITLE)->setText(QStringLiteral("AC/DC"));
    selectRows({0, 1, 2});
    chooseFolder(out);
    modals->answer(ModalResult::Ok);
    clickWav();
    ASSERT_EQ(modals->messages.size(), 1u);
    EXPECT_EQ(modals->messages[0].text, "Cannot create file " + out + "02_AC/DC.wav");
    EXPECT_EQ(modals->messages[0].type, MsgDlgType::Error);
    EXPECT_EQ(QDir(out).entryList(QDir::Files), QStringList({"01_Track01.wav"}));
    EXPECT_FALSE(QFileInfo::exists(folder.filePath(QStringLiteral("out/02_AC"))));
    EXPECT_EQ(selectedRows(), std::vector<int>({1, 2}));
    expectWindowGivenBack();
}

TEST_F(Batch, RowLostUnderTheBatchIsAnInternalError) {
    start(2, 300);
    selectRows({0, 1});
    chooseFolder(out);
    atProgress(0, 50, [this] { form->ListView1->setRowCount(0); });
    modals->answer(ModalResult::Ok);
    expectCompletion();
    clickWav();
    ASSERT_EQ(modals->messages.size(), 2u);
    EXPECT_EQ(modals->messages[0].text, "Varrow: Internal error 1");
    EXPECT_EQ(modals->messages[0].type, MsgDlgType::Error);
    EXPECT_EQ(modals->messages[0].owner, &progress());
    EXPECT_TRUE(modals->messages[1].text.startsWith("Extract is complete."));
    EXPECT_EQ(QDir(out).entryList(QDir::Files), QStringList({"01_Track01.wav"}));
    expectWindowGivenBack();
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
