// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's controls, built by hand: the three tabs, the tool bars,
// the track list, the options and the status bar. Names, captions and hints
// are those the handlers and the user see; behaviour lives in UnitMain*.cpp.
#include "FlacEncoder.h"
#include "Hints.h"
#include "Icons.h"
#include "PositionSlider.h"
#include "TrackList.h"
#include "UnitMain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <utility>

using namespace varrow;

namespace {

constexpr QSize MinimumWindowSize{420, 360};
constexpr QSize ExtractButtonSize{51, 36};

const char* const DriveTypeNames[] = {"GENERIC",
                                      "TOSHIBA",
                                      "TOSHIBANEW",
                                      "IBM",
                                      "NEC",
                                      "DEC",
                                      "IMS",
                                      "KODAK",
                                      "RICOH",
                                      "HP",
                                      "PHILIPS",
                                      "PLASMON",
                                      "GRUNDIGCDR100IPW",
                                      "MITSUMICDR",
                                      "PLEXTOR",
                                      "SONY",
                                      "YAMAHA",
                                      "NRC",
                                      "IMSCDD5",
                                      "CUSTOMDRIVE"};

const char* const ReadMethodNames[] = {"READMMC",  "READ10", "READNEC", "READSONY", "READMMC2",
                                       "READMMC3", "READC1", "READC2",  "READC3",   "READMMC4"};

QToolButton* makeToolButton(QToolBar* bar, const QString& name, const QString& caption,
                            const QString& hint, const QIcon& icon) {
    auto* button = new QToolButton(bar);
    button->setObjectName(name);
    button->setText(caption);
    button->setToolTip(hint);
    button->setIcon(icon);
    button->setCursor(Qt::PointingHandCursor);
    // Tool bar buttons are clicked, not focused: Tab goes from control to
    // control, and Space or Enter on a button could not act a second time
    // beside their shortcuts.
    button->setFocusPolicy(Qt::NoFocus);
    bar->addWidget(button);
    return button;
}

QCheckBox* makeCheckBox(QWidget* parent, const QString& name, const QString& caption,
                        const QString& hint) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    box->setToolTip(hint);
    box->setChecked(true);
    box->setCursor(Qt::PointingHandCursor);
    return box;
}

QComboBox* makeDropDownList(QWidget* parent, const QString& name, const QString& hint) {
    auto* list = new QComboBox(parent);
    list->setObjectName(name);
    list->setEditable(false);
    list->setToolTip(hint);
    list->setCursor(Qt::PointingHandCursor);
    return list;
}

// A framed group whose title is bold and centred while its contents keep the
// normal font.
QGroupBox* makeGroup(QWidget* parent, const QString& name, const QString& title) {
    auto* group = new QGroupBox(title, parent);
    group->setObjectName(name);
    group->setAlignment(Qt::AlignHCenter);
    QFont bold = group->font();
    bold.setBold(true);
    group->setFont(bold);
    return group;
}

void keepNormalFont(QGroupBox* group) {
    QFont normal = group->font();
    normal.setBold(false);
    for (QWidget* child : group->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        child->setFont(normal);
}

QLabel* labelAbove(QWidget* parent, const QString& text, QWidget* buddy) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

} // namespace

void TForm1::createControls() {
    setWindowTitle(QStringLiteral("Varrow"));

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    TabSheet_CDExtract = createExtractTab();
    TabSheet_Options = createOptionsTab();
    TabSheet_About = createAboutTab();
    PageControl1->addTab(TabSheet_CDExtract, QStringLiteral("CD Extract"));
    PageControl1->addTab(TabSheet_Options, QStringLiteral("Options   "));
    PageControl1->addTab(TabSheet_About, QStringLiteral("About     "));
    setCentralWidget(PageControl1);

    createStatusBar();

    // The desktop's font may need more room than 420 x 360 for the options:
    // the window then opens as large as they need, so that none scrolls at
    // first, and can still be made as small as 420 x 360.
    auto* options = static_cast<QScrollArea*>(TabSheet_Options);
    options->setMinimumSize(options->widget()->minimumSizeHint());
    const QSize natural = minimumSizeHint();
    options->setMinimumSize(0, 0);
    setMinimumSize(MinimumWindowSize);
    resize(natural.expandedTo(MinimumWindowSize));

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(500);
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(1000);
    Timer2->start();
    Timer_PlayTime = new QTimer(this);
    Timer_PlayTime->setObjectName(QStringLiteral("Timer_PlayTime"));
    Timer_PlayTime->setSingleShot(true);
    Timer_PlayTime->setTimerType(Qt::PreciseTimer);
}

QWidget* TForm1::createExtractTab() {
    auto* tab = new QWidget(PageControl1);
    tab->setObjectName(QStringLiteral("TabSheet_CDExtract"));
    auto* layout = new QVBoxLayout(tab);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);

    ToolBar_CDPlay = new QToolBar(tab);
    ToolBar_CDPlay->setObjectName(QStringLiteral("ToolBar_CDPlay"));
    ToolBar_CDPlay->setIconSize(PlayButtonImageSize);
    ToolBar_CDPlay->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolBar_CDPlay->setMovable(false);

    Panel_PlayTime = new QLabel(QStringLiteral("--:--:--"), ToolBar_CDPlay);
    Panel_PlayTime->setObjectName(QStringLiteral("Panel_PlayTime"));
    Panel_PlayTime->setFixedWidth(56);
    Panel_PlayTime->setAlignment(Qt::AlignCenter);
    Panel_PlayTime->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel_PlayTime->setAutoFillBackground(true);
    Panel_PlayTime->setToolTip(QStringLiteral("track play time"));
    Panel_PlayTime->setCursor(Qt::PointingHandCursor);
    ToolBar_CDPlay->addWidget(Panel_PlayTime);
    // A tool bar paints its widgets in the button colour; the time panel
    // keeps its own.
    Panel_PlayTime->setBackgroundRole(QPalette::Window);
    Panel_PlayTime->setForegroundRole(QPalette::WindowText);
    ToolBar_CDPlay->addSeparator();

    ToolButton_Eject = makeToolButton(ToolBar_CDPlay, QStringLiteral("ToolButton_Eject"), QString(),
                                      QStringLiteral("eject cd tray"),
                                      artwork(QStringLiteral("eject"), PlayButtonImageSize));
    ToolButton_Prev =
        makeToolButton(ToolBar_CDPlay, QStringLiteral("ToolButton_Prev"), QStringLiteral("Prev"),
                       QStringLiteral("go to previous track (P)"),
                       artwork(QStringLiteral("prev"), PlayButtonImageSize));
    ToolButton_Next = makeToolButton(ToolBar_CDPlay, QStringLiteral("ToolButton_Next"),
                                     QStringLiteral("Next"), QStringLiteral("go to next track (N)"),
                                     artwork(QStringLiteral("next"), PlayButtonImageSize));
    ToolButton_Pause = makeToolButton(ToolBar_CDPlay, QStringLiteral("ToolButton_Pause"),
                                      QStringLiteral("Pause"), QStringLiteral("pause (Space)"),
                                      artwork(QStringLiteral("pause"), PlayButtonImageSize));
    ToolButton_Pause->setCheckable(true);
    ToolButton_Stop = makeToolButton(ToolBar_CDPlay, QStringLiteral("ToolButton_Stop"),
                                     QStringLiteral("Stop"), QStringLiteral("stop (Enter)"),
                                     artwork(QStringLiteral("stop"), PlayButtonImageSize));
    ToolButton_Play = makeToolButton(ToolBar_CDPlay, QStringLiteral("ToolButton_Play"),
                                     QStringLiteral("Play"), QStringLiteral("play (Enter)"),
                                     artwork(QStringLiteral("play"), PlayButtonImageSize));
    ToolBar_CDPlay->addSeparator();

    ComboBoxDrive = makeDropDownList(ToolBar_CDPlay, QStringLiteral("ComboBoxDrive"),
                                     QStringLiteral("select cd drive"));
    ComboBoxDrive->setMinimumWidth(192);
    ComboBoxDrive->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    ComboBoxDrive->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    ToolBar_CDPlay->addWidget(ComboBoxDrive);
    layout->addWidget(ToolBar_CDPlay);

    TrackBar1 = new PositionSlider(tab);
    TrackBar1->setObjectName(QStringLiteral("TrackBar1"));
    // Playback gives the slider its range and ticks when a disc is listed.
    TrackBar1->setRange(0, 0);
    TrackBar1->setValue(0);
    TrackBar1->setToolTip(QStringLiteral("CD play position"));
    layout->addWidget(TrackBar1);

    ToolBar_CDRip = new QToolBar(tab);
    ToolBar_CDRip->setObjectName(QStringLiteral("ToolBar_CDRip"));
    ToolBar_CDRip->setIconSize(ExtractButtonImageSize);
    ToolBar_CDRip->setMovable(false);
    ToolButton_RipMP3 =
        makeToolButton(ToolBar_CDRip, QStringLiteral("ToolButton_RipMP3"), QStringLiteral("To MP3"),
                       QStringLiteral("extract & encode to MP3 selected tracks (F6)"),
                       artwork(QStringLiteral("rip-mp3"), ExtractButtonImageSize));
    ToolButton_RipWav =
        makeToolButton(ToolBar_CDRip, QStringLiteral("ToolButton_RipWav"), QStringLiteral("To Wav"),
                       QStringLiteral("extract to WAV selected tracks (F7)"),
                       artwork(QStringLiteral("rip-wav"), ExtractButtonImageSize));
    ToolButton_RipFlac = makeToolButton(
        ToolBar_CDRip, QStringLiteral("ToolButton_RipFlac"), QStringLiteral("To FLAC"),
        QStringLiteral("extract to FLAC selected tracks (F8)"),
        artwork(QStringLiteral("rip-flac"), ExtractButtonImageSize));
    ToolBar_CDRip->addSeparator();
    ToolButton_RefreshTracks =
        makeToolButton(ToolBar_CDRip, QStringLiteral("ToolButton_RefreshTracks"),
                       QStringLiteral("Refresh "), QStringLiteral("refresh track list (F5)"),
                       artwork(QStringLiteral("refresh"), ExtractButtonImageSize));
    ToolButton_SelectAll =
        makeToolButton(ToolBar_CDRip, QStringLiteral("ToolButton_SelectAll"),
                       QStringLiteral("Select All"), QStringLiteral("select all tracks (Ctrl-A)"),
                       artwork(QStringLiteral("select-all"), ExtractButtonImageSize));
    ToolButton_ClearAll =
        makeToolButton(ToolBar_CDRip, QStringLiteral("ToolButton_ClearAll"),
                       QStringLiteral("Clear All"), QStringLiteral("unselect all tracks (Alt-A)"),
                       artwork(QStringLiteral("clear-all"), ExtractButtonImageSize));
    ToolBar_CDRip->addSeparator();
    ToolButton_Help = makeToolButton(ToolBar_CDRip, QStringLiteral("ToolButton_Help"),
                                     QStringLiteral("Help"), QStringLiteral("help (F1)"),
                                     artwork(QStringLiteral("help"), ExtractButtonImageSize));
    ToolButton_Exit =
        makeToolButton(ToolBar_CDRip, QStringLiteral("ToolButton_Exit"), QStringLiteral("Exit"),
                       QStringLiteral("exit from program (Alt-F4)"),
                       artwork(QStringLiteral("exit"), ExtractButtonImageSize));
    for (QToolButton* button : extractButtons())
        button->setMinimumSize(ExtractButtonSize);
    layout->addWidget(ToolBar_CDRip);

    ListView1 = new TTrackList(tab);
    ListView1->keyTakenByWindow = [this](const QKeyEvent& event) {
        return keyTakenByShortcut(event);
    };
    ListView1->setObjectName(QStringLiteral("ListView1"));
    trackModel_ = new TrackTableModel(ListView1);
    trackModel_->setStateImages(artwork(QStringLiteral("track-audio"), TrackStateImageSize),
                                artwork(QStringLiteral("track-data"), TrackStateImageSize));
    ListView1->setModel(trackModel_);
    ListView1->setShowGrid(true);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // A click on the title of the row that already has the focus edits it.
    ListView1->setEditTriggers(QAbstractItemView::SelectedClicked);
    ListView1->setWordWrap(false);
    ListView1->setIconSize(TrackStateImageSize);
    ListView1->setToolTip(QStringLiteral("hold down Ctrl or Shift key to select multiple tracks"));
    ListView1->viewport()->setCursor(Qt::PointingHandCursor);
    ListView1->verticalHeader()->hide();
    ListView1->verticalHeader()->setDefaultSectionSize(ListView1->fontMetrics().height() + 4);
    QHeaderView* header = ListView1->horizontalHeader();
    header->setSectionsClickable(false);
    header->setHighlightSections(false);
    header->setMinimumSectionSize(10);
    // The title takes whatever width the other columns leave, scroll bar
    // included.
    header->setSectionResizeMode(COL_TITLE, QHeaderView::Stretch);
    const std::pair<int, int> widths[] = {
        {COL_TRACK, 44}, {COL_TYPE, 60}, {COL_PLAYTIME, 62}, {COL_SIZE, 80}};
    for (const auto& [column, width] : widths)
        ListView1->setColumnWidth(column, width);
    ListView1->setColumnHidden(COL_STARTSECTOR, true);
    ListView1->setColumnHidden(COL_ENDSECTOR, true);
    // The selection stays visible while the list does not have the focus.
    QPalette palette = ListView1->palette();
    for (const QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    ListView1->setPalette(palette);
    ListView1->viewport()->installEventFilter(this);
    layout->addWidget(ListView1, 1);

    Label_Names = new QLabel(tab);
    Label_Names->setObjectName(QStringLiteral("Label_Names"));
    Label_Names->setWordWrap(true);
    Label_Names->setTextFormat(Qt::RichText);
    // The link that adds an unknown disc opens in the desktop's browser.
    Label_Names->setOpenExternalLinks(true);
    Label_Names->setTextInteractionFlags(Qt::TextBrowserInteraction);
    Label_Names->hide();
    layout->addWidget(Label_Names);
    return tab;
}

QWidget* TForm1::createOptionsTab() {
    // At the window's smallest size the options may need more room than the
    // tab has: they scroll then, and no text is cut.
    auto* page = new QScrollArea(PageControl1);
    page->setObjectName(QStringLiteral("TabSheet_Options"));
    page->setWidgetResizable(true);
    page->setFrameShape(QFrame::NoFrame);
    auto* tab = new QWidget(page);
    auto* layout = new QVBoxLayout(tab);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);

    GroupBox_Interface =
        makeGroup(tab, QStringLiteral("GroupBox_Interface"), QStringLiteral("Interface"));
    auto* interfaceLayout = new QVBoxLayout(GroupBox_Interface);
    interfaceLayout->setSpacing(1);
    CheckBox_Hints = makeCheckBox(GroupBox_Interface, QStringLiteral("CheckBox_Hints"),
                                  QStringLiteral("show hints (small pop up help)"),
                                  QStringLiteral("show/hide small popup help, like this"));
    setHintAlwaysShown(CheckBox_Hints);
    CheckBox_Captions = makeCheckBox(GroupBox_Interface, QStringLiteral("CheckBox_Captions"),
                                     QStringLiteral("show extract panel buttons captions"),
                                     QStringLiteral("show/hide captions on cd rip tool bar"));
    CheckBox_ONErrPause = makeCheckBox(
        GroupBox_Interface, QStringLiteral("CheckBox_ONErrPause"),
        QStringLiteral("pause after each track extraction, if synchronization errors occurs"),
        QString());
    CheckBox_AddNum2FName =
        makeCheckBox(GroupBox_Interface, QStringLiteral("CheckBox_AddNum2FName"),
                     QStringLiteral("add number of track before filename"),
                     QStringLiteral("add number of track before filename"));
    for (QCheckBox* box :
         {CheckBox_Hints, CheckBox_Captions, CheckBox_ONErrPause, CheckBox_AddNum2FName})
        interfaceLayout->addWidget(box);
    keepNormalFont(GroupBox_Interface);
    layout->addWidget(GroupBox_Interface);
    layout->addWidget(createEncodingGroup(tab));

    GroupBox_DriveParameters = makeGroup(tab, QStringLiteral("GroupBox_DriveParameters"),
                                         QStringLiteral("Advanced CD-ROM Drive Parameters"));
    auto* driveLayout = new QVBoxLayout(GroupBox_DriveParameters);
    driveLayout->setSpacing(2);
    ComboBoxDrive2 = makeDropDownList(GroupBox_DriveParameters, QStringLiteral("ComboBoxDrive2"),
                                      QStringLiteral("select cd drive"));
    ComboBoxDrive2->setFixedWidth(250);
    driveLayout->addWidget(ComboBoxDrive2, 0, Qt::AlignHCenter);

    auto* driveFrame = new QFrame(GroupBox_DriveParameters);
    driveFrame->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    auto* frameLayout = new QGridLayout(driveFrame);
    frameLayout->setContentsMargins(6, 2, 6, 4);
    frameLayout->setVerticalSpacing(1);
    ComboBox_DriveType = makeDropDownList(driveFrame, QStringLiteral("ComboBox_DriveType"),
                                          QStringLiteral("by default: GENERIC"));
    for (const char* name : DriveTypeNames)
        ComboBox_DriveType->addItem(QString::fromLatin1(name));
    ComboBox_ReadMethod = makeDropDownList(driveFrame, QStringLiteral("ComboBox_ReadMethod"),
                                           QStringLiteral("by default: READMMC"));
    for (const char* name : ReadMethodNames)
        ComboBox_ReadMethod->addItem(QString::fromLatin1(name));
    LabeledEdit_RipSpeed = new QLineEdit(driveFrame);
    LabeledEdit_RipSpeed->setObjectName(QStringLiteral("LabeledEdit_RipSpeed"));
    LabeledEdit_RipSpeed->setMaxLength(2);
    LabeledEdit_RipSpeed->setFixedWidth(40);
    LabeledEdit_RipSpeed->setToolTip(QStringLiteral("CD extraction speed (0 - default)"));
    LabeledEdit_RipSpeed->installEventFilter(this);
    frameLayout->addWidget(
        labelAbove(driveFrame, QStringLiteral("CD-ROM DriveType"), ComboBox_DriveType), 0, 0);
    frameLayout->addWidget(ComboBox_DriveType, 1, 0);
    frameLayout->addWidget(
        labelAbove(driveFrame, QStringLiteral("Read Method"), ComboBox_ReadMethod), 0, 1);
    frameLayout->addWidget(ComboBox_ReadMethod, 1, 1);
    frameLayout->addWidget(
        labelAbove(driveFrame, QStringLiteral("Extraction Speed"), LabeledEdit_RipSpeed), 0, 2);
    frameLayout->addWidget(LabeledEdit_RipSpeed, 1, 2);
    SpinEdit_ReadOffset = new QSpinBox(driveFrame);
    SpinEdit_ReadOffset->setObjectName(QStringLiteral("SpinEdit_ReadOffset"));
    SpinEdit_ReadOffset->setRange(-CR_MAX_READ_OFFSET, CR_MAX_READ_OFFSET);
    // The offset is applied when the edit is done, not at every digit.
    SpinEdit_ReadOffset->setKeyboardTracking(false);
    SpinEdit_ReadOffset->setToolTip(
        QStringLiteral("the drive's read offset in samples (0 - none; a positive offset reads "
                       "later)"));
    frameLayout->addWidget(
        labelAbove(driveFrame, QStringLiteral("Read Offset"), SpinEdit_ReadOffset), 0, 3);
    frameLayout->addWidget(SpinEdit_ReadOffset, 1, 3);
    Button_DetectOffset = new QPushButton(QStringLiteral("Detect\u2026"), driveFrame);
    Button_DetectOffset->setObjectName(QStringLiteral("Button_DetectOffset"));
    Button_DetectOffset->setToolTip(
        QStringLiteral("find the drive's read offset with a disc the AccurateRip database knows"));
    frameLayout->addWidget(Button_DetectOffset, 1, 4);
    driveLayout->addWidget(driveFrame);

    CheckBox_JitterCorrection = makeCheckBox(
        GroupBox_DriveParameters, QStringLiteral("CheckBox_JitterCorrection"),
        QStringLiteral("use jitter correction (to prevent click/plops in files on some drives)"),
        QStringLiteral("if enabled may slow down extraction of tracks considerably!"));
    driveLayout->addWidget(CheckBox_JitterCorrection);
    CheckBox_SecureMode = makeCheckBox(
        GroupBox_DriveParameters, QStringLiteral("CheckBox_SecureMode"),
        QStringLiteral("secure (read again with jitter correction what AccurateRip does not "
                       "confirm)"),
        QStringLiteral("each track is read at full speed and checked against the AccurateRip "
                       "database; only a track it does not confirm is read a second time"));
    driveLayout->addWidget(CheckBox_SecureMode);
    CheckBox_Overread = makeCheckBox(
        GroupBox_DriveParameters, QStringLiteral("CheckBox_Overread"),
        QStringLiteral("read into the lead-in and lead-out where the read offset reaches"),
        QStringLiteral("only drives that can read there; elsewhere the samples are silence"));
    driveLayout->addWidget(CheckBox_Overread);
    CheckBox_TransportLayer =
        makeCheckBox(GroupBox_DriveParameters, QStringLiteral("CheckBox_TransportLayer"),
                     QStringLiteral("use SPTI (native CD-ROM interface for Windows NT/2000/XP )"),
                     QStringLiteral("if enabled may slow down extraction of tracks considerably!"));
    driveLayout->addWidget(CheckBox_TransportLayer);
    keepNormalFont(GroupBox_DriveParameters);
    layout->addWidget(GroupBox_DriveParameters);

    BitBtn_SetDefault = new QPushButton(artwork(QStringLiteral("set-default"), {16, 16}),
                                        QStringLiteral("Set All Default"), tab);
    BitBtn_SetDefault->setObjectName(QStringLiteral("BitBtn_SetDefault"));
    BitBtn_SetDefault->setToolTip(QStringLiteral("set all options by default"));
    BitBtn_SetDefault->setCursor(Qt::PointingHandCursor);
    layout->addWidget(BitBtn_SetDefault, 0, Qt::AlignHCenter);
    layout->addStretch(1);
    page->setWidget(tab);
    return page;
}

QGroupBox* TForm1::createEncodingGroup(QWidget* tab) {
    GroupBox_Encoding =
        makeGroup(tab, QStringLiteral("GroupBox_Encoding"), QStringLiteral("FLAC and ReplayGain"));
    auto* encodingLayout = new QGridLayout(GroupBox_Encoding);
    encodingLayout->setVerticalSpacing(1);
    SpinBox_FlacCompression = new QSpinBox(GroupBox_Encoding);
    SpinBox_FlacCompression->setObjectName(QStringLiteral("SpinBox_FlacCompression"));
    SpinBox_FlacCompression->setRange(0, static_cast<int>(FLAC_MOST_COMPRESSION));
    SpinBox_FlacCompression->setValue(static_cast<int>(FLAC_DEFAULT_COMPRESSION));
    SpinBox_FlacCompression->setToolTip(
        QStringLiteral("0 - fastest, 8 - smallest files; every level is lossless (default 5)"));
    auto* levelLabel = new QLabel(QStringLiteral("FLAC compression level"), GroupBox_Encoding);
    levelLabel->setBuddy(SpinBox_FlacCompression);
    encodingLayout->addWidget(levelLabel, 0, 0);
    encodingLayout->addWidget(SpinBox_FlacCompression, 0, 1, Qt::AlignLeft);
    encodingLayout->setColumnStretch(1, 1);
    CheckBox_ReplayGain = makeCheckBox(
        GroupBox_Encoding, QStringLiteral("CheckBox_ReplayGain"),
        QStringLiteral("write ReplayGain tags (track and album) to FLAC and MP3 files"),
        QStringLiteral("players can then play every track and album at one loudness"));
    encodingLayout->addWidget(CheckBox_ReplayGain, 1, 0, 1, 2);
    keepNormalFont(GroupBox_Encoding);
    return GroupBox_Encoding;
}

QWidget* TForm1::createAboutTab() {
    auto* tab = new QWidget(PageControl1);
    tab->setObjectName(QStringLiteral("TabSheet_About"));
    auto* layout = new QVBoxLayout(tab);
    layout->addStretch(1);
    Label_PRGName = new QLabel(QStringLiteral("Varrow"), tab);
    Label_PRGName->setObjectName(QStringLiteral("Label_PRGName"));
    Label_PRGName->setAlignment(Qt::AlignCenter);
    QFont titleFont = Label_PRGName->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 2.0);
    Label_PRGName->setFont(titleFont);
    layout->addWidget(Label_PRGName);
    Label_Version = new QLabel(QStringLiteral("Version"), tab);
    Label_Version->setObjectName(QStringLiteral("Label_Version"));
    Label_Version->setAlignment(Qt::AlignCenter);
    layout->addWidget(Label_Version);
    layout->addSpacing(16);
    Label_LameVer = new QLabel(QStringLiteral("Lame version:"), tab);
    Label_LameVer->setObjectName(QStringLiteral("Label_LameVer"));
    Label_LameVer->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    layout->addWidget(Label_LameVer);
    layout->addSpacing(16);
    Label_DriveAccess = new QLabel(
        QStringLiteral("No CD drive is listed. A drive is listed when your user may read its "
                       "device: on most systems, as a member of the group \"cdrom\" (log in "
                       "again after joining it). Disc images (BIN/CUE, TOC, NRG) are listed as "
                       "drives when their paths are given in VARROW_CD_IMAGES, separated by "
                       "':'; start the program again after either."),
        tab);
    Label_DriveAccess->setObjectName(QStringLiteral("Label_DriveAccess"));
    Label_DriveAccess->setWordWrap(true);
    Label_DriveAccess->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Label_DriveAccess->hide();
    layout->addWidget(Label_DriveAccess);
    layout->addStretch(2);
    return tab;
}

void TForm1::createStatusBar() {
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    const struct {
        int width;
        Qt::Alignment alignment;
    } panels[STATUS_PANELS] = {
        {60, Qt::AlignCenter}, {100, Qt::AlignCenter}, {0, Qt::AlignLeft | Qt::AlignVCenter}};
    for (int panel = 0; panel < STATUS_PANELS; ++panel) {
        auto* label = new QLabel(StatusBar1);
        label->setObjectName(QStringLiteral("StatusPanel%1").arg(panel));
        label->setAlignment(panels[panel].alignment);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        if (panels[panel].width > 0)
            label->setFixedWidth(panels[panel].width);
        StatusBar1->addWidget(label, panels[panel].width > 0 ? 0 : 1);
        statusPanels_[panel] = label;
    }
    setStatusBar(StatusBar1);
}
