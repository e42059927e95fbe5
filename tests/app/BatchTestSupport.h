// SPDX-License-Identifier: GPL-3.0-or-later
// The fixture of the extraction batch tests: a disc of equal audio tracks in
// one virtual drive, plenty of free space, a target folder, and the steps a
// user takes (select, click, answer the dialogs) as helpers.
#pragma once

#include "ShellTestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <chrono>
#include <functional>
#include <initializer_list>
#include <limits>
#include <memory>
#include <vector>

namespace varrow::testing {

inline constexpr int64_t Plenty = std::numeric_limits<int64_t>::max() / 4;
// 100 chunks of 26 sectors: the library's percentage moves by exactly one
// per chunk.
inline constexpr int32_t TrackSectors = 2600;
inline constexpr int64_t TrackBytes = int64_t{TrackSectors} * 2352;

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
        start(discOf(disc));
    }

    void start(cdlib::VirtualDisc disc) {
        drive = addDrive("VIRTUAL Batch", std::move(disc));
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
    int64_t rowSize(int row) const { return form->tracks().size(row); }

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
    // The completion box, noting whether the batch was aborted: its state
    // ends with it.
    void expectCompletion(bool& abortAll) {
        modals->messageAnswers.emplace_back([this, &abortAll](const ShownMessage&) {
            abortAll = form->batch()->AbortAll;
            return ModalResult::Ok;
        });
    }

    // Clicks an option of the Options tab and comes back to the track list.
    void toggleOption(QCheckBox* box) {
        ui.PageControl1->setCurrentIndex(1);
        clickBox(box);
        ui.PageControl1->setCurrentIndex(0);
    }

    void clickWav() { click(ui.ToolButton_RipWav); }
    void clickMp3() { click(ui.ToolButton_RipMP3); }

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
        expectMainWindowGivenBack();
        EXPECT_FALSE(progress().isVisible());
        EXPECT_FALSE(drive->locked());
        EXPECT_EQ(form->batch(), nullptr);
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

    // A WAV batch of two rows run as the program runs it, the main window
    // closed at 30% of the first row and the question answered `answer`.
    // Whether the batch was aborted is noted when it reports its end.
    void closeTheMainWindowDuringABatch(ModalResult answer, bool& aborted) {
        start(2);
        selectRows({0, 1});
        chooseFolder(out);
        atProgress(0, 30, [this, answer] {
            modals->messageAnswers.emplace_front([answer](const ShownMessage&) { return answer; });
            form->close();
        });
        expectCompletion(aborted);
        runAsTheProgram([this] { clickWav(); });
        ASSERT_EQ(modals->messages.size(), 2u);
        EXPECT_EQ(modals->messages[0].text, "Abort Extracts all tracks and exit?");
        EXPECT_EQ(modals->messages[0].owner, &progress());
        EXPECT_TRUE(modals->messages[1].text.startsWith("Extract is complete."));
    }

    static QString overwriteQuestion(const QString& path) {
        return "File \"" + path + "\" already exists!\nOverwrite?";
    }
};

} // namespace varrow::testing
