// SPDX-License-Identifier: GPL-3.0-or-later
// The batch's boxes on a real X server with a window manager: a box asked
// during a batch is the topmost window, above the progress window that stays
// on top, and has the keyboard. The run's main starts the server and the
// window manager; without them the test says so and is skipped.
#include "BatchTestSupport.h"
#include "X11Session.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

using namespace varrow;
using namespace varrow::testing;

namespace {

bool onTopWithTheKeyboard(unsigned long window) {
    const std::vector<unsigned long> stacking = x11::stackingOrder();
    return !stacking.empty() && stacking.back() == window && x11::activeWindow() == window;
}

// Real boxes on the screen; the folder dialog answers at once with the
// folder given. Each box is looked at once the window manager has stacked
// it, then answered with No (or OK).
class OnScreenModals final : public Modals {
public:
    OnScreenModals(QString folderAnswer, std::function<void(QMessageBox&)> look)
        : real_(makeScreenModals())
        , folderAnswer_(std::move(folderAnswer))
        , look_(std::move(look)) {}

    int boxes = 0;

    ModalResult message(QWidget* owner, const QString& text, MsgDlgType type,
                        MsgButtons buttons) override {
        ++boxes;
        QTimer poll;
        poll.setInterval(50);
        int attempts = 0;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || !box->isVisible())
                return;
            // Give the window manager time to map, raise and focus it: on a
            // busy machine a box is listed some moments before it is raised
            // and given the keyboard. A box that never gets there is looked
            // at all the same after five seconds, and fails.
            if (!onTopWithTheKeyboard(box->winId()) && ++attempts < 100)
                return;
            poll.stop();
            look_(*box);
            QAbstractButton* answer = box->button(QMessageBox::No);
            if (answer == nullptr)
                answer = box->button(QMessageBox::Ok);
            answer->click();
        });
        poll.start();
        return real_->message(owner, text, type, buttons);
    }
    void plainMessage(const QString&) override {}
    std::optional<QString> saveFileName(QWidget*, const SaveDialogRequest&) override {
        return folderAnswer_;
    }
    int exec(QDialog&) override { return QDialog::Rejected; }
    void openHelp(const QString&) override {}

private:
    std::unique_ptr<Modals> real_;
    QString folderAnswer_;
    std::function<void(QMessageBox&)> look_;
};

} // namespace

TEST_F(Batch, OverwriteQuestionIsTheTopmostWindowUnderAWindowManager) {
    if (!x11::sessionRunning())
        GTEST_SKIP() << x11::sessionProblem().toStdString();
    start(1, 100);
    writeFile(out + "01_Track01.wav", "old");
    selectRows({0});
    bool looked = false;
    auto onScreen = std::make_unique<OnScreenModals>(out, [&](QMessageBox& box) {
        if (!box.text().endsWith("Overwrite?"))
            return;
        looked = true;
        const std::vector<unsigned long> stacking = x11::stackingOrder();
        ASSERT_FALSE(stacking.empty());
        EXPECT_EQ(stacking.back(), box.winId()) << "the question is not the topmost window";
        const auto progressAt = std::find(stacking.begin(), stacking.end(), progress().winId());
        const auto boxAt = std::find(stacking.begin(), stacking.end(), box.winId());
        EXPECT_NE(progressAt, stacking.end()) << "the progress window is not shown";
        EXPECT_GT(boxAt, progressAt);
        EXPECT_EQ(x11::activeWindow(), box.winId()) << "the question does not have the keyboard";
    });
    OnScreenModals& boxes = *onScreen;
    std::unique_ptr<Modals> scripted = setModals(std::move(onScreen));
    clickWav();
    // The on-screen boxes stay alive until their count has been read.
    const std::unique_ptr<Modals> shown = setModals(std::move(scripted));
    EXPECT_TRUE(looked);
    EXPECT_EQ(boxes.boxes, 2); // the question and the completion box
    EXPECT_EQ(contents(out + "01_Track01.wav"), "old");
}
