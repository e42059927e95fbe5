// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's keyboard: the shortcut rule, keys pressed on the focused
// control (which still receives them), the track list's own keys, F2, Tab,
// F1 and the Help button.
#include "KeyMap.h"
#include "PositionSlider.h"
#include "ShellTestSupport.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSlider>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <memory>
#include <string_view>
#include <tuple>

using namespace varrow;
using namespace varrow::testing;

namespace {

struct KeyCase {
    const char* what;
    int key;
    Qt::KeyboardModifiers modifiers;
    KeyMapState state;
    KeyAction expected;
};

KeyMapState extractTab() {
    return {};
}
KeyMapState with(KeyMapState state, const std::function<void(KeyMapState&)>& change) {
    change(state);
    return state;
}

} // namespace

TEST(KeyMap, EachRowActsExactlyUnderItsCondition) {
    const KeyMapState idle = extractTab();
    const KeyMapState playing = with(idle, [](KeyMapState& s) { s.window = WindowState::Playing; });
    const KeyMapState paused = with(idle, [](KeyMapState& s) { s.window = WindowState::Paused; });
    const KeyMapState batch = with(idle, [](KeyMapState& s) { s.window = WindowState::Ripping; });
    const KeyMapState options = with(idle, [](KeyMapState& s) { s.activeTab = 1; });
    const KeyMapState about = with(idle, [](KeyMapState& s) { s.activeTab = 2; });
    const KeyMapState playingOnOptions = with(playing, [](KeyMapState& s) { s.activeTab = 1; });
    const KeyMapState listFocused = with(idle, [](KeyMapState& s) {
        s.trackListFocused = true;
        s.focusedRow = true;
    });
    const auto none = Qt::NoModifier;
    const Qt::KeyboardModifiers all = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier;
    const KeyCase cases[] = {
        {"Enter stopped plays", Qt::Key_Return, none, idle, KeyAction::Play},
        {"keypad Enter stopped plays", Qt::Key_Enter, Qt::KeypadModifier, idle, KeyAction::Play},
        {"Enter playing stops", Qt::Key_Return, all, playing, KeyAction::Stop},
        {"Enter paused resumes", Qt::Key_Return, none, paused, KeyAction::Play},
        {"Enter during a batch", Qt::Key_Return, none, batch, KeyAction::None},
        {"Enter on the options tab", Qt::Key_Return, none, options, KeyAction::None},
        {"Space playing pauses", Qt::Key_Space, Qt::ShiftModifier, playing, KeyAction::Pause},
        {"Space paused", Qt::Key_Space, none, paused, KeyAction::Pause},
        {"Space stopped", Qt::Key_Space, none, idle, KeyAction::None},
        {"Space playing on the options tab", Qt::Key_Space, none, playingOnOptions,
         KeyAction::None},
        {"Ctrl+A", Qt::Key_A, Qt::ControlModifier, idle, KeyAction::SelectAll},
        {"Ctrl+A with keypad flag", Qt::Key_A, Qt::ControlModifier | Qt::KeypadModifier, idle,
         KeyAction::SelectAll},
        {"Ctrl+Shift+A", Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier, idle, KeyAction::None},
        {"plain A", Qt::Key_A, none, idle, KeyAction::None},
        {"Ctrl+A, Select All disabled", Qt::Key_A, Qt::ControlModifier,
         with(idle, [](KeyMapState& s) { s.selectAllEnabled = false; }), KeyAction::None},
        {"Ctrl+A during a batch", Qt::Key_A, Qt::ControlModifier, batch, KeyAction::None},
        {"Ctrl+A on the about tab", Qt::Key_A, Qt::ControlModifier, about, KeyAction::None},
        {"Alt+A", Qt::Key_A, Qt::AltModifier, idle, KeyAction::ClearAll},
        {"Alt+Ctrl+A", Qt::Key_A, Qt::AltModifier | Qt::ControlModifier, idle, KeyAction::None},
        {"Alt+A, Clear All disabled", Qt::Key_A, Qt::AltModifier,
         with(idle, [](KeyMapState& s) { s.clearAllEnabled = false; }), KeyAction::None},
        {"N playing", Qt::Key_N, all, playing, KeyAction::Next},
        {"N stopped", Qt::Key_N, none, idle, KeyAction::None},
        {"N playing on the options tab", Qt::Key_N, none, playingOnOptions, KeyAction::None},
        {"P playing", Qt::Key_P, none, paused, KeyAction::Prev},
        {"P stopped", Qt::Key_P, none, idle, KeyAction::None},
        {"T playing", Qt::Key_T, none, playing, KeyAction::TimeMode},
        {"T playing on the options tab", Qt::Key_T, none, playingOnOptions, KeyAction::None},
        {"F1 on the about tab", Qt::Key_F1, none, about, KeyAction::Help},
        {"F1 during a batch", Qt::Key_F1, all, batch, KeyAction::Help},
        {"F2 on the focused list", Qt::Key_F2, none, listFocused, KeyAction::EditTitle},
        {"F2 without a focused row", Qt::Key_F2, none,
         with(listFocused, [](KeyMapState& s) { s.focusedRow = false; }), KeyAction::None},
        {"F2 with the list unfocused", Qt::Key_F2, none,
         with(listFocused, [](KeyMapState& s) { s.trackListFocused = false; }), KeyAction::None},
        {"F2 while playing", Qt::Key_F2, none,
         with(listFocused, [](KeyMapState& s) { s.window = WindowState::Playing; }),
         KeyAction::None},
        {"F2 on the options tab", Qt::Key_F2, none,
         with(listFocused, [](KeyMapState& s) { s.activeTab = 1; }), KeyAction::EditTitle},
        {"F5", Qt::Key_F5, Qt::ControlModifier, idle, KeyAction::Refresh},
        {"F5 on the options tab", Qt::Key_F5, none, options, KeyAction::None},
        {"F5 playing", Qt::Key_F5, none, playing, KeyAction::None},
        {"F6", Qt::Key_F6, none, idle, KeyAction::RipMP3},
        {"F6 during a batch", Qt::Key_F6, none, batch, KeyAction::None},
        {"F7", Qt::Key_F7, none, idle, KeyAction::RipWav},
        {"F7 playing", Qt::Key_F7, none, paused, KeyAction::None},
        {"F8", Qt::Key_F8, none, idle, KeyAction::RipFlac},
        {"F8 on the options tab", Qt::Key_F8, none, options, KeyAction::None},
        {"F3 is not used", Qt::Key_F3, none, idle, KeyAction::None},
        {"F4 is not used", Qt::Key_F4, none, idle, KeyAction::None},
    };
    for (const KeyCase& c : cases)
        EXPECT_EQ(keyAction(c.key, c.modifiers, c.state), c.expected) << c.what;
}

namespace {

// Records the key presses a control receives.
class KeyRecorder final : public QObject {
public:
    explicit KeyRecorder(QWidget* control)
        : QObject(control) {
        control->installEventFilter(this);
    }
    QList<int> keys;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::KeyPress)
            keys.append(static_cast<QKeyEvent*>(event)->key());
        return false;
    }
};

class KeysWindow : public ShellTest {
protected:
    // Three tracks, the middle one data.
    void startWithMixedDisc() {
        addDrive("VIRTUAL Mixed", discOf({audio(4253), data(750), audio(10842)}));
        createWindow();
    }

    QWidget* focused() const { return form->focusWidget() ? form->focusWidget() : form; }
    // A key pressed as the user would: at the control that has the focus.
    void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(focused(), static_cast<Qt::Key>(key), modifiers);
    }
    void focus(QWidget* control) {
        control->setFocus();
        ASSERT_EQ(form->focusWidget(), control);
    }
    // The row with the focus rectangle, the selection left as it is.
    void setFocusedRow(int row) {
        ui.ListView1->selectionModel()->setCurrentIndex(
            ui.ListView1->model()->index(row, COL_TRACK), QItemSelectionModel::NoUpdate);
    }
    QString writeHelpFile() {
        const QString path = folder.filePath(QStringLiteral("Varrow.chm"));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("ITSF");
        form->setHelpFile(path);
        return path;
    }
};

} // namespace

TEST_F(KeysWindow, ShortcutsActAndTheFocusedControlStillGetsTheKey) {
    startWithMixedDisc();
    QSignalSpy refresh(ui.ToolButton_RefreshTracks, &QToolButton::clicked);
    QSignalSpy play(ui.ToolButton_Play, &QToolButton::clicked);
    QSignalSpy pause(ui.ToolButton_Pause, &QToolButton::clicked);
    QSignalSpy next(ui.ToolButton_Next, &QToolButton::clicked);

    focus(ui.TrackBar1);
    KeyRecorder slider(ui.TrackBar1);
    press(Qt::Key_F5);
    press(Qt::Key_Return);
    EXPECT_EQ(refresh.count(), 1);
    EXPECT_EQ(play.count(), 1);
    ASSERT_EQ(form->state(), WindowState::Playing) << "Enter plays";
    press(Qt::Key_Space);
    press(Qt::Key_N);
    EXPECT_EQ(pause.count(), 1);
    EXPECT_TRUE(ui.ToolButton_Pause->isChecked());
    EXPECT_EQ(next.count(), 1);
    EXPECT_EQ(slider.keys, QList<int>({Qt::Key_F5, Qt::Key_Return, Qt::Key_Space, Qt::Key_N}));

    // A key the map has no use for also goes on: the slider moves.
    ui.TrackBar1->setRange(0, 100);
    ui.TrackBar1->setValue(50);
    press(Qt::Key_Right);
    EXPECT_GT(ui.TrackBar1->value(), 50);

    // On the options tab a digit typed into the speed field lands there, and
    // F5 refreshes nothing.
    click(ui.ToolButton_Stop);
    ASSERT_EQ(form->state(), WindowState::Idle);
    ui.PageControl1->setCurrentIndex(1);
    focus(ui.LabeledEdit_RipSpeed);
    KeyRecorder speed(ui.LabeledEdit_RipSpeed);
    ui.LabeledEdit_RipSpeed->clear();
    press(Qt::Key_F5);
    QTest::keyClicks(focused(), QStringLiteral("4"));
    EXPECT_EQ(refresh.count(), 1);
    EXPECT_EQ(ui.LabeledEdit_RipSpeed->text(), "4");
    EXPECT_EQ(speed.keys, QList<int>({Qt::Key_F5, Qt::Key_4}));
}

TEST_F(KeysWindow, EnterPlaysStopsAndResumes) {
    startWithMixedDisc();
    QSignalSpy play(ui.ToolButton_Play, &QToolButton::clicked);
    QSignalSpy stop(ui.ToolButton_Stop, &QToolButton::clicked);
    focus(ui.ListView1);
    press(Qt::Key_Return);
    EXPECT_EQ(play.count(), 1);
    ASSERT_EQ(form->state(), WindowState::Playing);
    press(Qt::Key_Space);
    ASSERT_EQ(form->state(), WindowState::Paused);
    press(Qt::Key_Return);
    EXPECT_EQ(play.count(), 2) << "Enter resumes";
    EXPECT_EQ(stop.count(), 0);
    EXPECT_EQ(form->state(), WindowState::Playing);
    press(Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(stop.count(), 1);
    EXPECT_EQ(form->state(), WindowState::Idle);
    ui.PageControl1->setCurrentIndex(2);
    press(Qt::Key_Return);
    EXPECT_EQ(play.count() + stop.count(), 3);
}

TEST_F(KeysWindow, CtrlASelectsEveryAudioRowOnceAndAltAClears) {
    startWithMixedDisc();
    QSignalSpy selectAll(ui.ToolButton_SelectAll, &QToolButton::clicked);
    QSignalSpy clearAll(ui.ToolButton_ClearAll, &QToolButton::clicked);
    QSignalSpy changes(ui.ListView1->selectionModel(), &QItemSelectionModel::selectionChanged);

    focus(ui.ComboBoxDrive);
    press(Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    press(Qt::Key_A);
    EXPECT_EQ(selectedRows(), std::vector<int>());
    EXPECT_EQ(ui.ComboBoxDrive->currentIndex(), 0);

    press(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(form->focusWidget(), ui.ListView1);
    EXPECT_EQ(selectAll.count(), 1);
    EXPECT_EQ(selectedRows(), std::vector<int>({0, 2}));
    EXPECT_EQ(statusText(PANEL_TRACKS), "Tracks:3, selected:2 (35.50 MB)");

    // On the list itself Ctrl+A is the button's alone: one selection of all
    // rows, the data row taken out again.
    changes.clear();
    ui.ListView1->clearSelection();
    changes.clear();
    press(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(selectAll.count(), 2);
    EXPECT_EQ(changes.count(), 2);
    EXPECT_EQ(selectedRows(), std::vector<int>({0, 2}));

    focus(ui.TrackBar1);
    press(Qt::Key_A, Qt::AltModifier);
    EXPECT_EQ(form->focusWidget(), ui.ListView1);
    EXPECT_EQ(clearAll.count(), 1);
    EXPECT_EQ(selectedRows(), std::vector<int>());

    // The list's own select-all stays away even when the button may not act.
    ui.ToolButton_SelectAll->setEnabled(false);
    press(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(selectedRows(), std::vector<int>());
    EXPECT_EQ(selectAll.count(), 2);
}

TEST_F(KeysWindow, SpaceOnTheListWhilePlayingPausesAndLeavesTheRows) {
    startWithMixedDisc();
    QSignalSpy pause(ui.ToolButton_Pause, &QToolButton::clicked);
    clickRow(0);
    focus(ui.ListView1);
    setFocusedRow(2);
    ASSERT_EQ(selectedRows(), std::vector<int>({0}));
    click(ui.ToolButton_Play);
    ASSERT_EQ(form->state(), WindowState::Playing);
    press(Qt::Key_Space);
    EXPECT_TRUE(ui.ToolButton_Pause->isChecked());
    EXPECT_EQ(selectedRows(), std::vector<int>({0}));
    press(Qt::Key_Space);
    EXPECT_FALSE(ui.ToolButton_Pause->isChecked());
    EXPECT_EQ(pause.count(), 2);
    EXPECT_EQ(selectedRows(), std::vector<int>({0}));
    // N, P and T are the player's too: no search jumps to "Track01".
    press(Qt::Key_T);
    EXPECT_EQ(ui.ListView1->currentIndex().row(), 2);
    EXPECT_EQ(selectedRows(), std::vector<int>({0}));

    // Stopped, Space is the list's own again (it selects the focused row)
    // and nothing pauses.
    click(ui.ToolButton_Stop);
    press(Qt::Key_Space);
    EXPECT_EQ(pause.count(), 2);
    EXPECT_EQ(selectedRows(), std::vector<int>({0, 2}));
}

TEST_F(KeysWindow, NextPrevAndTimeModeOnlyWhilePlayingOnTheExtractTab) {
    startWithMixedDisc();
    QSignalSpy next(ui.ToolButton_Next, &QToolButton::clicked);
    QSignalSpy prev(ui.ToolButton_Prev, &QToolButton::clicked);
    int timeClicks = 0;
    class ClickCounter final : public QObject {
    public:
        explicit ClickCounter(int& count)
            : count_(count) {}
        bool eventFilter(QObject*, QEvent* event) override {
            count_ += event->type() == QEvent::MouseButtonRelease ? 1 : 0;
            return false;
        }
        int& count_;
    } counter(timeClicks);
    ui.Panel_PlayTime->installEventFilter(&counter);

    focus(ui.TrackBar1);
    for (const int key : {Qt::Key_N, Qt::Key_P, Qt::Key_T})
        press(key);
    EXPECT_EQ(next.count() + prev.count() + timeClicks, 0);
    click(ui.ToolButton_Play);
    ASSERT_EQ(form->state(), WindowState::Playing);
    ui.PageControl1->setCurrentIndex(1);
    focus(ui.CheckBox_Hints);
    for (const int key : {Qt::Key_N, Qt::Key_P, Qt::Key_T})
        press(key);
    EXPECT_EQ(next.count() + prev.count() + timeClicks, 0);
    ui.PageControl1->setCurrentIndex(0);
    focus(ui.TrackBar1);
    for (const int key : {Qt::Key_N, Qt::Key_P, Qt::Key_T})
        press(key);
    EXPECT_EQ(next.count(), 1);
    EXPECT_EQ(prev.count(), 1);
    EXPECT_EQ(timeClicks, 1);
}

TEST_F(KeysWindow, F6AndF7StartTheirBatchOnlyWhenIdle) {
    startWithMixedDisc();
    focus(ui.TrackBar1);
    modals->answer(ModalResult::Ok);
    press(Qt::Key_F6);
    modals->answer(ModalResult::Ok);
    press(Qt::Key_F7);
    EXPECT_EQ(modals->texts(), std::vector<QString>(2, "Track(s) is not selected!"));
    click(ui.ToolButton_Play);
    ASSERT_EQ(form->state(), WindowState::Playing);
    press(Qt::Key_F6);
    press(Qt::Key_F7);
    EXPECT_EQ(modals->messages.size(), 2u);
}

TEST_F(KeysWindow, F2EditsTheFocusedTitleAndTypingThereIsTheTitles) {
    startWithMixedDisc();
    focus(ui.ListView1);
    ui.ListView1->selectionModel()->clearCurrentIndex();
    press(Qt::Key_F2);
    EXPECT_EQ(form->focusWidget(), ui.ListView1) << "no focused row";

    setFocusedRow(2);
    click(ui.ToolButton_Play);
    ASSERT_EQ(form->state(), WindowState::Playing);
    press(Qt::Key_F2);
    EXPECT_EQ(form->focusWidget(), ui.ListView1) << "not while playing";
    click(ui.ToolButton_Stop);

    press(Qt::Key_F2);
    auto* editor = qobject_cast<QLineEdit*>(form->focusWidget());
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), "Track03");
    // Even while a disc plays, letters typed here are the title's.
    click(ui.ToolButton_Play);
    ASSERT_EQ(form->state(), WindowState::Playing);
    QSignalSpy next(ui.ToolButton_Next, &QToolButton::clicked);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("New Song"));
    EXPECT_EQ(next.count(), 0);
    QTest::keyClick(editor, Qt::Key_Return);
    processEvents();
    EXPECT_EQ(rowTexts(2)[COL_TITLE], "New Song");
}

TEST_F(KeysWindow, TabLeavesTheTrackList) {
    startWithMixedDisc();
    focus(ui.ListView1);
    ui.ListView1->setCurrentIndex(ui.ListView1->model()->index(0, COL_TITLE));
    press(Qt::Key_Tab);
    EXPECT_NE(form->focusWidget(), ui.ListView1);
    EXPECT_EQ(ui.ListView1->currentIndex().column(), COL_TITLE);
    focus(ui.ListView1);
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_NE(form->focusWidget(), ui.ListView1);
    // Around the tab, every control that takes the focus is reached, and
    // the buttons of the tool bars are clicked, not focused.
    QSet<QWidget*> reached;
    focus(ui.ListView1);
    for (int i = 0; i < 12; ++i) {
        press(Qt::Key_Tab);
        reached.insert(form->focusWidget());
    }
    EXPECT_TRUE(reached.contains(ui.ListView1));
    EXPECT_TRUE(reached.contains(ui.ComboBoxDrive));
    EXPECT_FALSE(reached.contains(ui.ToolButton_RipMP3));
}

TEST_F(KeysWindow, F1OpensTheTopicOfEachTab) {
    startWithMixedDisc();
    const QString helpFile = writeHelpFile();
    const char* const topics[] = {"::/mainwindow.htm", "::/optionstab.htm", "::/abouttab.htm"};
    for (int tab = 0; tab < 3; ++tab) {
        ui.PageControl1->setCurrentIndex(tab);
        press(Qt::Key_F1);
        ASSERT_EQ(modals->helpRequests.size(), static_cast<size_t>(tab + 1));
        EXPECT_EQ(modals->helpRequests.back(), helpFile + QLatin1String(topics[tab]));
    }
    // The Help button opens the file at its start, whatever the tab.
    ui.ToolButton_Help->click();
    EXPECT_EQ(modals->helpRequests.back(), helpFile);
    EXPECT_TRUE(modals->messages.empty());
}

TEST_F(KeysWindow, AMissingHelpFileIsReportedByF1AndByTheHelpButton) {
    startWithMixedDisc();
    form->setHelpFile(folder.filePath(QStringLiteral("gone/Varrow.chm")));
    modals->answer(ModalResult::Ok);
    press(Qt::Key_F1);
    modals->answer(ModalResult::Ok);
    ui.ToolButton_Help->click();
    EXPECT_EQ(modals->texts(),
              std::vector<QString>({"The help file " + form->helpFile() + " is not found!",
                                    "The help file " + form->helpFile() + " is not found"}));
    EXPECT_EQ(modals->messages[0].type, MsgDlgType::Error);
    EXPECT_EQ(modals->messages[1].owner, form);
    EXPECT_TRUE(modals->helpRequests.empty());
}

namespace {

// The buttons a key may click, by their names after "ToolButton_".
const char* const KeyButtons[] = {"Play",      "Stop",     "Pause",  "Next",    "Prev",
                                  "Eject",     "RipMP3",   "RipWav", "RipFlac", "RefreshTracks",
                                  "SelectAll", "ClearAll", "Help",   "Exit"};

struct KeyPress {
    const char* name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    // The button clicked while the window is idle, plays and is paused;
    // "": none.
    const char* clicked[3];
};

const KeyPress KeyPresses[] = {
    {"Enter", Qt::Key_Return, {}, {"Play", "Stop", "Play"}},
    {"Space", Qt::Key_Space, {}, {"", "Pause", "Pause"}},
    {"N", Qt::Key_N, {}, {"", "Next", "Next"}},
    {"P", Qt::Key_P, {}, {"", "Prev", "Prev"}},
    {"T", Qt::Key_T, {}, {"", "", ""}},
    {"CtrlA", Qt::Key_A, Qt::ControlModifier, {"SelectAll", "SelectAll", "SelectAll"}},
    {"AltA", Qt::Key_A, Qt::AltModifier, {"ClearAll", "ClearAll", "ClearAll"}},
    {"F1", Qt::Key_F1, {}, {"", "", ""}},
    {"F2", Qt::Key_F2, {}, {"", "", ""}},
    {"F5", Qt::Key_F5, {}, {"RefreshTracks", "", ""}},
    {"F6", Qt::Key_F6, {}, {"RipMP3", "", ""}},
    {"F7", Qt::Key_F7, {}, {"RipWav", "", ""}},
    {"F8", Qt::Key_F8, {}, {"RipFlac", "", ""}},
};

const WindowState KeyStates[] = {WindowState::Idle, WindowState::Playing, WindowState::Paused};
const char* const KeyStateNames[] = {"Idle", "Playing", "Paused"};

// A key and the index of a state in KeyStates.
using KeyInState = std::tuple<KeyPress, std::size_t>;

class KeyClicksOneButton : public KeysWindow, public ::testing::WithParamInterface<KeyInState> {};

} // namespace

// With tracks selected, every key clicks the one button it stands for and no
// other, in each state of the window.
TEST_P(KeyClicksOneButton, OnAWindowWithTracksSelected) {
    const auto& [press, stateIndex] = GetParam();
    startWithMixedDisc();
    form->setHelpFile(folder.filePath(QStringLiteral("Varrow.chm")));
    clickRow(0);
    clickRow(2, Qt::ControlModifier);
    if (KeyStates[stateIndex] != WindowState::Idle)
        click(ui.ToolButton_Play);
    if (KeyStates[stateIndex] == WindowState::Paused)
        click(ui.ToolButton_Pause);
    ASSERT_EQ(form->state(), KeyStates[stateIndex]);
    // What the buttons open ends there: the MP3 dialog is cancelled, the
    // folder dialog too, and the missing help file is reported.
    const std::string_view expected = press.clicked[stateIndex];
    if (expected == "RipMP3")
        modals->dialogAnswers.emplace_back([](QDialog&) { return int{QDialog::Rejected}; });
    if (expected == "RipWav" || expected == "RipFlac")
        modals->saveAnswers.emplace_back(std::nullopt);
    if (press.key == Qt::Key_F1)
        modals->answer(ModalResult::Ok);

    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (const char* name : KeyButtons) {
        auto* button =
            form->findChild<QToolButton*>(QLatin1String("ToolButton_") + QLatin1String(name));
        ASSERT_NE(button, nullptr) << name;
        spies.push_back(std::make_unique<QSignalSpy>(button, &QToolButton::clicked));
    }
    focus(ui.ListView1);
    this->press(press.key, press.modifiers);
    for (std::size_t button = 0; button < std::size(KeyButtons); ++button) {
        EXPECT_EQ(spies[button]->count(), KeyButtons[button] == expected ? 1 : 0)
            << KeyButtons[button];
    }
}

INSTANTIATE_TEST_SUITE_P(KeysAndStates, KeyClicksOneButton,
                         ::testing::Combine(::testing::ValuesIn(KeyPresses),
                                            ::testing::Values(0u, 1u, 2u)),
                         [](const ::testing::TestParamInfo<KeyInState>& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    KeyStateNames[std::get<1>(info.param)];
                         });
