// SPDX-License-Identifier: GPL-3.0-or-later
// The program's own folder dialog, confirmed from the keyboard as a user
// does: with the file-name text it was given, and with a folder typed in.
#include "Modals.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

using namespace varrow;

namespace {

const QString NameText = QStringLiteral("filenames will be as a tracks names");

class FolderDialog : public ::testing::Test {
protected:
    QTemporaryDir folder;
    std::unique_ptr<Modals> real;

    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("mp3b")));
        real = makeScreenModals();
    }

    // Opens the dialog and, once it has the keyboard, runs `typing` on its
    // file-name field; gives up on a dialog that never opens.
    std::optional<QString> answer(const std::function<void(QLineEdit&)>& typing) {
        bool typed = false;
        QTimer poll;
        poll.setInterval(20);
        int attempts = 0;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            auto* field = qobject_cast<QLineEdit*>(QApplication::focusWidget());
            if (dialog != nullptr && field != nullptr && !typed) {
                typed = true;
                typing(*field);
            } else if (++attempts > 500 && dialog != nullptr) {
                dialog->reject();
            }
        });
        poll.start();
        const SaveDialogRequest request{QStringLiteral("Select Folder to save WAV files:"),
                                        QStringLiteral("all files (*.*)|*.*"), NameText,
                                        folder.path()};
        std::optional<QString> chosen = real->saveFileName(nullptr, request);
        EXPECT_TRUE(typed) << "the dialog never took the keyboard";
        return chosen;
    }
};

} // namespace

TEST_F(FolderDialog, EnterConfirmsTheGivenFileNameText) {
    const std::optional<QString> chosen =
        answer([](QLineEdit& field) { QTest::keyClick(&field, Qt::Key_Return); });
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, folder.path() + "/" + NameText);
}

TEST_F(FolderDialog, AFolderTypedAndConfirmedIsTheAnswer) {
    const QString typed = folder.filePath(QStringLiteral("mp3b"));
    const std::optional<QString> chosen = answer([&typed](QLineEdit& field) {
        field.setText(typed);
        QTest::keyClick(&field, Qt::Key_Return);
    });
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(QDir(*chosen).canonicalPath(), QDir(typed).canonicalPath());
}
