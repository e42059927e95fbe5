#include "UnitRipProgress.h"

#include "Hints.h"
#include "Modals.h"
#include "TimeText.h"
#include "UnitMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

using namespace varrow;

namespace {

constexpr QSize ClientSize{312, 213};

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& text, QRect place,
                  Qt::Alignment alignment) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setGeometry(place);
    label->setAlignment(alignment);
    return label;
}

QProgressBar* makeGauge(QWidget* parent, const QString& name, QRect place, QColor colour,
                        const QString& hint) {
    auto* gauge = new QProgressBar(parent);
    gauge->setObjectName(name);
    gauge->setGeometry(place);
    gauge->setRange(0, 100);
    gauge->setValue(0);
    gauge->setTextVisible(false);
    QPalette palette = gauge->palette();
    palette.setColor(QPalette::Highlight, colour);
    gauge->setPalette(palette);
    gauge->setToolTip(hint);
    return gauge;
}

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& caption, QRect place,
                        const QString& hint) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setGeometry(place);
    button->setToolTip(hint);
    button->setCursor(Qt::PointingHandCursor);
    button->setAutoDefault(false);
    return button;
}

} // namespace

TDlg_RipProgress::TDlg_RipProgress(TForm1& mainForm)
    : QWidget(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowCloseButtonHint |
                           Qt::WindowTitleHint)
    , mainForm_(mainForm) {
    setObjectName(QStringLiteral("Dlg_RipProgress"));
    // Only the main window keeps the program running.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(QStringLiteral("Extraction"));
    setFixedSize(ClientSize);
    createControls();
    FormCreate();
}

void TDlg_RipProgress::createControls() {
    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setGeometry(5, 8, 300, 168);
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);

    Label_Track = makeLabel(this, QStringLiteral("Label_Track"), QStringLiteral("Track Progress"),
                            {16, 16, 281, 28}, Qt::AlignHCenter | Qt::AlignTop);
    Label_Track->setWordWrap(true);
    Gauge_Track = makeGauge(this, QStringLiteral("Gauge_Track"), {16, 48, 280, 16},
                            QColor(0, 255, 0), QStringLiteral("current track extraction progress"));
    Label_All = makeLabel(this, QStringLiteral("Label_All"), QStringLiteral("All Tracks Progress"),
                          {16, 78, 281, 13}, Qt::AlignHCenter | Qt::AlignVCenter);
    Gauge_All = makeGauge(this, QStringLiteral("Gauge_All"), {16, 98, 280, 16}, QColor(0, 0, 255),
                          QStringLiteral("all tracks extraction progress"));

    const Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
    const Qt::Alignment left = Qt::AlignLeft | Qt::AlignVCenter;
    Label_JittError =
        makeLabel(this, QStringLiteral("Label_JittError"),
                  QStringLiteral("Synchronization (jitter) errors:"), {12, 122, 140, 13}, right);
    Label_JittCount = makeLabel(this, QStringLiteral("Label_JittCount"), QStringLiteral("0"),
                                {156, 122, 80, 13}, left);
    Label_SpeedTitle =
        makeLabel(this, QStringLiteral("Label_SpeedTitle"),
                  QStringLiteral("Average Extract Speed:"), {12, 138, 140, 13}, right);
    Label_Speed = makeLabel(this, QStringLiteral("Label_Speed"), QStringLiteral("0"),
                            {156, 138, 140, 13}, left);
    Label_RipTimeTitle = makeLabel(this, QStringLiteral("Label_RipTimeTitle"),
                                   QStringLiteral("Extract Time:"), {12, 154, 140, 13}, right);
    Label_RipTime =
        makeLabel(this, QStringLiteral("Label_RipTime"),
                  longTimeText(std::chrono::milliseconds::zero()), {156, 154, 140, 13}, left);

    Btn_Cancel = makeButton(this, QStringLiteral("Btn_Cancel"), QStringLiteral("Skip Track"),
                            {70, 184, 75, 25}, QStringLiteral("skip current track extraction"));
    Btn_Abort = makeButton(this, QStringLiteral("Btn_Abort"), QStringLiteral("Abort"),
                           {164, 184, 75, 25}, QStringLiteral("abort all tracks extraction"));
    Btn_Hide = makeButton(this, QStringLiteral("Btn_Hide"), QStringLiteral("Hide"),
                          {248, 184, 58, 25}, QStringLiteral("hide program windows"));
    setTabOrder(Btn_Cancel, Btn_Abort);
    setTabOrder(Btn_Abort, Btn_Hide);

    connect(Btn_Cancel, &QPushButton::clicked, this, [this] { SkipBtnClick(); });
    connect(Btn_Abort, &QPushButton::clicked, this, [this] { Btn_AbortClick(); });
    connect(Btn_Hide, &QPushButton::clicked, this, [this] { Btn_HideClick(); });
}

void TDlg_RipProgress::FormCreate() {
    setWindowTitle(mainForm_.BaseCaption + QStringLiteral(" - Extraction..."));
    HelpFile = mainForm_.HelpFile;
}

void TDlg_RipProgress::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    FormShow();
}

void TDlg_RipProgress::FormShow() {
    setWindowHints(this, windowHints(&mainForm_));
    const QRect main = mainForm_.frameGeometry();
    const CentredPosition at = centreOver(main.left(), main.top(), main.width(), main.height(),
                                          frameGeometry().width(), frameGeometry().height());
    move(at.left, at.top);
    Btn_Abort->setFocus();
}

void TDlg_RipProgress::keyPressEvent(QKeyEvent* event) {
    if (FormKeyDown(*event))
        return;
    QWidget::keyPressEvent(event);
}

bool TDlg_RipProgress::FormKeyDown(const QKeyEvent& event) {
    if (event.key() == Qt::Key_F1) {
        if (QFileInfo::exists(HelpFile))
            modals().openHelp(HelpFile + HelpTopic);
        else
            MessageDlgCentered(this,
                               QStringLiteral("The help file ") + HelpFile +
                                   QStringLiteral(" is not found!"),
                               MsgDlgType::Error, MsgButtons::Ok);
        return true;
    }
    // Escape answers the Abort button, as a dialog's cancel key does.
    if (event.key() == Qt::Key_Escape) {
        Btn_Abort->click();
        return true;
    }
    return false;
}

bool TDlg_RipProgress::confirmAbort() {
    return MessageDlgCentered(this, QStringLiteral("Abort Extracts all tracks?"),
                              MsgDlgType::Confirmation, MsgButtons::YesNo) == ModalResult::Yes;
}

void TDlg_RipProgress::SkipBtnClick() {
    mainForm_.SkipTrack = true;
    mainForm_.CDRIP1.AbortRip();
}

void TDlg_RipProgress::Btn_AbortClick() {
    if (!confirmAbort())
        return;
    mainForm_.AbortAll = true;
    mainForm_.CDRIP1.AbortRip();
}

void TDlg_RipProgress::Btn_HideClick() {
    // Linux desktops have no "minimise the application": every window of the
    // program is minimised instead.
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible())
            window->showMinimized();
    }
}

void TDlg_RipProgress::closeEvent(QCloseEvent* event) {
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

bool TDlg_RipProgress::FormCloseQuery() {
    if (!mainForm_.IsRipping)
        return true;
    if (!confirmAbort())
        return false;
    mainForm_.AbortAll = true;
    mainForm_.CDRIP1.AbortRip();
    return true;
}

void TDlg_RipProgress::FormClose() {
    mainForm_.IsRipping = false;
    mainForm_.PageControl1->setEnabled(true);
    mainForm_.setEnabled(true);
    mainForm_.showNormal();
    mainForm_.CurrentCaption = mainForm_.BaseCaption;
    mainForm_.showCaption(mainForm_.CurrentCaption);
    mainForm_.Timer1->start();
    mainForm_.Timer2->start();
}
