// SPDX-License-Identifier: GPL-3.0-or-later
#include "UnitRipProgress.h"

#include "Application.h"
#include "Help.h"
#include "Hints.h"
#include "Modals.h"
#include "NumberText.h"
#include "TimeText.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <initializer_list>
#include <limits>
#include <utility>

using namespace varrow;

namespace {

constexpr QSize ClientSize{312, 213};

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& text,
                  Qt::Alignment alignment) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setAlignment(alignment);
    // A whole line high, so that the fixed window never squeezes a text.
    const QFontMetrics metrics = label->fontMetrics();
    const QRect line = metrics.boundingRect(QRect(0, 0, QWIDGETSIZE_MAX, QWIDGETSIZE_MAX),
                                            int(alignment), QStringLiteral("Xg"));
    label->setMinimumHeight(std::max(metrics.height(), line.height()));
    return label;
}

QProgressBar* makeGauge(QWidget* parent, const QString& name, QColor colour, const QString& hint) {
    auto* gauge = new QProgressBar(parent);
    gauge->setObjectName(name);
    gauge->setMinimumWidth(280);
    gauge->setFixedHeight(16);
    gauge->setRange(0, 100);
    gauge->setValue(0);
    gauge->setTextVisible(false);
    QPalette palette = gauge->palette();
    palette.setColor(QPalette::Highlight, colour);
    gauge->setPalette(palette);
    gauge->setToolTip(hint);
    return gauge;
}

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& caption, int width,
                        const QString& hint) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setMinimumSize(width, 25);
    button->setToolTip(hint);
    button->setCursor(Qt::PointingHandCursor);
    button->setAutoDefault(false);
    return button;
}

// `text` with every digit replaced by the font's widest one: the widest a
// figure written that way can be.
QString widestDigits(const QString& text, const QFontMetrics& metrics) {
    QChar widest = QLatin1Char('0');
    for (char digit = '1'; digit <= '9'; ++digit) {
        if (metrics.horizontalAdvance(QLatin1Char(digit)) > metrics.horizontalAdvance(widest))
            widest = QLatin1Char(digit);
    }
    QString result = text;
    for (QChar& c : result) {
        if (c.isDigit())
            c = widest;
    }
    return result;
}

// Room for the widest of `texts` on one line.
void fitWidest(QLabel* label, std::initializer_list<QString> texts) {
    const QFontMetrics metrics = label->fontMetrics();
    int widest = label->minimumWidth();
    for (const QString& text : texts)
        widest = std::max(widest, metrics.horizontalAdvance(widestDigits(text, metrics)) + 2);
    label->setMinimumWidth(widest);
}

// Whether `text` wrapped at `width` fits into `height` without running over.
bool wrappedTextFits(const QFontMetrics& metrics, const QString& text, int width, int height) {
    const QRect needed =
        metrics.boundingRect(QRect(0, 0, width, std::numeric_limits<int>::max() / 2),
                             Qt::TextWordWrap | Qt::AlignHCenter, text);
    return needed.height() <= height && needed.width() <= width;
}

} // namespace

TDlg_RipProgress::TDlg_RipProgress(QWidget& mainWindow, const QString& baseCaption,
                                   const QString& helpFile)
    : QWidget(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowCloseButtonHint |
                           Qt::WindowTitleHint)
    , mainWindow_(mainWindow) {
    setObjectName(QStringLiteral("Dlg_RipProgress"));
    // Only the main window keeps the program running.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(QStringLiteral("Extraction"));
    createControls();
    setHintDuration(this, HintDurationMs);
    FormCreate(baseCaption, helpFile);
}

void TDlg_RipProgress::setRippingSource(std::function<bool()> source) {
    rippingSource_ = std::move(source);
}

void TDlg_RipProgress::showTrackResult(const QString& result) {
    // The window never grows: a long result is cut, and whole in the tip.
    const int width =
        std::max(Label_TrackResult->contentsRect().width(), Label_TrackResult->minimumWidth());
    Label_TrackResult->setText(
        Label_TrackResult->fontMetrics().elidedText(result, Qt::ElideRight, width));
    Label_TrackResult->setToolTip(result);
}

void TDlg_RipProgress::createControls() {
    // The controls keep the arrangement of the 312 x 213 design; a layout
    // places them so that a larger desktop font widens the window instead of
    // cutting the texts.
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(5, 8, 6, 4);
    layout->setSpacing(8);

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    auto* inside = new QVBoxLayout(Bevel1);
    inside->setContentsMargins(10, 8, 10, 8);
    inside->setSpacing(4);

    Label_Track = makeLabel(Bevel1, QStringLiteral("Label_Track"), QStringLiteral("Track Progress"),
                            Qt::AlignHCenter | Qt::AlignTop);
    Label_Track->setWordWrap(true);
    Label_Track->setFixedHeight(2 * Label_Track->fontMetrics().lineSpacing());
    Label_Track->setMinimumWidth(281);
    inside->addWidget(Label_Track);
    Gauge_Track = makeGauge(Bevel1, QStringLiteral("Gauge_Track"), QColor(0, 255, 0),
                            QStringLiteral("current track extraction progress"));
    inside->addWidget(Gauge_Track);
    inside->addSpacing(6);
    Label_All =
        makeLabel(Bevel1, QStringLiteral("Label_All"), QStringLiteral("All Tracks Progress"),
                  Qt::AlignHCenter | Qt::AlignVCenter);
    inside->addWidget(Label_All);
    Gauge_All = makeGauge(Bevel1, QStringLiteral("Gauge_All"), QColor(0, 0, 255),
                          QStringLiteral("all tracks extraction progress"));
    inside->addWidget(Gauge_All);
    inside->addSpacing(4);

    auto* figures = new QGridLayout;
    figures->setHorizontalSpacing(4);
    figures->setVerticalSpacing(2);
    const Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
    const Qt::Alignment left = Qt::AlignLeft | Qt::AlignVCenter;
    Label_JittError = makeLabel(Bevel1, QStringLiteral("Label_JittError"),
                                QStringLiteral("Synchronization (jitter) errors:"), right);
    Label_JittCount =
        makeLabel(Bevel1, QStringLiteral("Label_JittCount"), QStringLiteral("0"), left);
    Label_SpeedTitle = makeLabel(Bevel1, QStringLiteral("Label_SpeedTitle"),
                                 QStringLiteral("Average Extract Speed:"), right);
    Label_Speed = makeLabel(Bevel1, QStringLiteral("Label_Speed"), QStringLiteral("0"), left);
    Label_RipTimeTitle = makeLabel(Bevel1, QStringLiteral("Label_RipTimeTitle"),
                                   QStringLiteral("Extract Time:"), right);
    Label_RipTime = makeLabel(Bevel1, QStringLiteral("Label_RipTime"),
                              longTimeText(std::chrono::milliseconds::zero()), left);
    Label_TrackResultTitle = makeLabel(Bevel1, QStringLiteral("Label_TrackResultTitle"),
                                       QStringLiteral("Last Track:"), right);
    Label_TrackResult = makeLabel(Bevel1, QStringLiteral("Label_TrackResult"), QString(), left);
    const std::pair<QLabel*, QLabel*> rows[] = {{Label_JittError, Label_JittCount},
                                                {Label_SpeedTitle, Label_Speed},
                                                {Label_RipTimeTitle, Label_RipTime},
                                                {Label_TrackResultTitle, Label_TrackResult}};
    int row = 0;
    for (const auto& [title, value] : rows) {
        title->setMinimumWidth(140);
        value->setMinimumWidth(80);
        figures->addWidget(title, row, 0);
        figures->addWidget(value, row, 1);
        ++row;
    }
    // Each figure has room for the widest text it can show: the window is
    // laid out once and never grows.
    constexpr auto longestDay = std::chrono::hours(24) - std::chrono::seconds(1);
    fitWidest(Label_JittCount, {QStringLiteral("OFF"), QString::number(MostJitterErrors)});
    fitWidest(Label_Speed, {QStringLiteral("x") + groupedNumberText(FastestSpeedShown, 1)});
    fitWidest(Label_RipTime, {longTimeText(longestDay)});
    // The line of a track without a title of its own is never shortened.
    fitWidest(Label_Track,
              {QStringLiteral("Exctract and Encode \"Track00\" to \"00_Track00.mp3\"")});
    figures->setColumnStretch(1, 1);
    inside->addLayout(figures);
    layout->addWidget(Bevel1);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(12);
    buttons->addStretch(1);
    Btn_Cancel = makeButton(this, QStringLiteral("Btn_Cancel"), QStringLiteral("Skip Track"), 75,
                            QStringLiteral("skip current track extraction"));
    Btn_Abort = makeButton(this, QStringLiteral("Btn_Abort"), QStringLiteral("Abort"), 75,
                           QStringLiteral("abort all tracks extraction"));
    Btn_Hide = makeButton(this, QStringLiteral("Btn_Hide"), QStringLiteral("Hide"), 58,
                          QStringLiteral("hide program windows"));
    for (QPushButton* button : {Btn_Cancel, Btn_Abort, Btn_Hide})
        buttons->addWidget(button);
    layout->addLayout(buttons);
    setTabOrder(Btn_Cancel, Btn_Abort);
    setTabOrder(Btn_Abort, Btn_Hide);

    connect(Btn_Cancel, &QPushButton::clicked, this,
            handlerCalling(this, &TDlg_RipProgress::SkipBtnClick));
    connect(Btn_Abort, &QPushButton::clicked, this,
            handlerCalling(this, &TDlg_RipProgress::Btn_AbortClick));
    connect(Btn_Hide, &QPushButton::clicked, this,
            handlerCalling(this, &TDlg_RipProgress::Btn_HideClick));
    setFixedSize(layout->sizeHint().expandedTo(ClientSize));
}

void TDlg_RipProgress::showTrack(const QString& format, const QString& title,
                                 const QString& fileName) {
    // Long titles and names lose their middles, never their ends, until the
    // text fits the label's two lines.
    const QFontMetrics metrics = Label_Track->fontMetrics();
    const int width = std::max(Label_Track->contentsRect().width(), Label_Track->minimumWidth());
    const int height = Label_Track->height();
    const auto text = [&](int budget) {
        if (budget < 0)
            return format.arg(title, fileName);
        return format.arg(metrics.elidedText(title, Qt::ElideMiddle, budget),
                          metrics.elidedText(fileName, Qt::ElideMiddle, budget));
    };
    if (wrappedTextFits(metrics, text(-1), width, height)) {
        Label_Track->setText(text(-1));
        return;
    }
    int fits = 0;
    int tooWide = std::max(metrics.horizontalAdvance(title), metrics.horizontalAdvance(fileName));
    while (tooWide - fits > 1) {
        const int budget = fits + (tooWide - fits) / 2;
        if (wrappedTextFits(metrics, text(budget), width, height))
            fits = budget;
        else
            tooWide = budget;
    }
    Label_Track->setText(text(fits));
}

void TDlg_RipProgress::FormCreate(const QString& baseCaption, const QString& helpFile) {
    setWindowTitle(baseCaption + QStringLiteral(" - Extraction..."));
    HelpFile = helpFile;
}

void TDlg_RipProgress::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // A window the user restores is not being shown anew.
    if (!event->spontaneous())
        runHandler([this] { FormShow(); });
}

void TDlg_RipProgress::FormShow() {
    setWindowHints(this, windowHints(&mainWindow_));
    moveCentredOver(*this, mainWindow_);
    Btn_Abort->setFocus();
}

void TDlg_RipProgress::keyPressEvent(QKeyEvent* event) {
    bool handled = true;
    runHandler([&] { handled = FormKeyDown(*event); });
    if (!handled)
        QWidget::keyPressEvent(event);
}

bool TDlg_RipProgress::FormKeyDown(const QKeyEvent& event) {
    if (event.key() == Qt::Key_F1) {
        showHelpTopic(this, HelpFile, HelpTopic);
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
    Q_EMIT SkipTrackClicked();
}

void TDlg_RipProgress::Btn_AbortClick() {
    if (confirmAbort())
        Q_EMIT AbortAllConfirmed();
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
    // A question that failed is no confirmation: the window stays open.
    bool mayClose = false;
    runHandler([&] { mayClose = FormCloseQuery(); });
    if (!mayClose) {
        event->ignore();
        return;
    }
    runHandler([this] { FormClose(); });
    event->accept();
}

bool TDlg_RipProgress::FormCloseQuery() {
    if (!rippingSource_ || !rippingSource_())
        return true;
    if (!confirmAbort())
        return false;
    Q_EMIT AbortAllConfirmed();
    return true;
}

void TDlg_RipProgress::FormClose() {
    Q_EMIT Closed();
}
