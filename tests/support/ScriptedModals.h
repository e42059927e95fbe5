// SPDX-License-Identifier: GPL-3.0-or-later
// A Modals implementation for tests: every box, dialog and help request is
// recorded, and answered from a script the test sets up beforehand. A box
// that nobody scripted fails the test instead of blocking it.
#pragma once

#include "Modals.h"

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <vector>

namespace varrow::testing {

struct ShownMessage {
    QPointer<QWidget> owner;
    QString text;
    MsgDlgType type;
    MsgButtons buttons;
    // The owner's window as it stood when the box opened.
    OwnerState ownerState;
};

class ScriptedModals final : public Modals {
public:
    // Answers, in order, for the next message boxes. An answer may be a
    // function, run while the box "is shown" (for nested actions).
    std::deque<std::function<ModalResult(const ShownMessage&)>> messageAnswers;
    // Answers for the next save-file dialogs (nullopt = cancelled).
    std::deque<std::optional<QString>> saveAnswers;
    // Run instead of each modal dialog: may change the dialog's controls,
    // then returns QDialog::Accepted or Rejected.
    std::deque<std::function<int(QDialog&)>> dialogAnswers;

    std::vector<ShownMessage> messages;
    std::vector<QString> plainMessages;
    std::vector<SaveDialogRequest> saveRequests;
    // The owner of each save dialog as it stood when the dialog opened.
    std::vector<OwnerState> saveOwners;
    std::vector<QString> helpRequests;
    int dialogsRun = 0;
    // The parent window of each modal dialog as it stood when it opened.
    std::vector<OwnerState> dialogOwners;

    void answer(ModalResult result) {
        messageAnswers.emplace_back([result](const ShownMessage&) { return result; });
    }

    ModalResult message(QWidget* owner, const QString& text, MsgDlgType type,
                        MsgButtons buttons) override {
        messages.push_back({owner, text, type, buttons, ownerStateOf(owner)});
        if (messageAnswers.empty()) {
            ADD_FAILURE() << "unexpected message box: " << text.toStdString();
            return buttons == MsgButtons::Ok ? ModalResult::Ok : ModalResult::No;
        }
        auto next = std::move(messageAnswers.front());
        messageAnswers.pop_front();
        return next(messages.back());
    }

    void plainMessage(const QString& text) override { plainMessages.push_back(text); }

    std::optional<QString> saveFileName(QWidget* owner, const SaveDialogRequest& request) override {
        saveRequests.push_back(request);
        saveOwners.push_back(ownerStateOf(owner));
        if (saveAnswers.empty()) {
            ADD_FAILURE() << "unexpected save dialog: " << request.title.toStdString();
            return std::nullopt;
        }
        // Returned as a path or nothing, never copied as an optional: GCC
        // takes the copy of a disengaged std::optional<QString> for a read
        // of uninitialised memory.
        const bool cancelled = !saveAnswers.front().has_value();
        const QString path = cancelled ? QString() : *saveAnswers.front();
        saveAnswers.pop_front();
        if (cancelled)
            return std::nullopt;
        return path;
    }

    int exec(QDialog& dialog) override {
        ++dialogsRun;
        dialogOwners.push_back(ownerStateOf(dialog.parentWidget()));
        if (dialogAnswers.empty()) {
            ADD_FAILURE() << "unexpected modal dialog: " << dialog.objectName().toStdString();
            return QDialog::Rejected;
        }
        auto next = std::move(dialogAnswers.front());
        dialogAnswers.pop_front();
        // The real run shows the dialog; its show handler must run here too.
        dialog.show();
        const int result = next(dialog);
        dialog.hide();
        return result;
    }

    void openHelp(const QString& argument) override { helpRequests.push_back(argument); }

    std::vector<QString> texts() const {
        std::vector<QString> result;
        for (const auto& shown : messages)
            result.push_back(shown.text);
        return result;
    }
};

// Installs a ScriptedModals for the lifetime of the object and checks at the
// end that every scripted answer was used.
class ModalsScope final {
public:
    ModalsScope() {
        auto scripted = std::make_unique<ScriptedModals>();
        script_ = scripted.get();
        previous_ = setModals(std::move(scripted));
    }
    ~ModalsScope() {
        EXPECT_TRUE(script_->messageAnswers.empty()) << "scripted message answers left over";
        EXPECT_TRUE(script_->saveAnswers.empty()) << "scripted save answers left over";
        EXPECT_TRUE(script_->dialogAnswers.empty()) << "scripted dialog answers left over";
        setModals(std::move(previous_));
    }
    ModalsScope(const ModalsScope&) = delete;
    ModalsScope& operator=(const ModalsScope&) = delete;

    ScriptedModals& operator*() { return *script_; }
    ScriptedModals* operator->() { return script_; }

private:
    ScriptedModals* script_;
    std::unique_ptr<Modals> previous_;
};

} // namespace varrow::testing
