// SPDX-License-Identifier: GPL-3.0-or-later
#include "UnitMP3Dlg.h"

#include "Application.h"
#include "Help.h"
#include "Hints.h"
#include "Modals.h"
#include "NumberText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QShowEvent>
#include <QStringList>
#include <algorithm>
#include <climits>
#include <cmath>
#include <initializer_list>
#include <utility>
#include <vector>

namespace {

using varrow::MsgButtons;
using varrow::MsgDlgType;

constexpr int ClientWidth = 312;
constexpr int ClientHeight = 233;
// Rows are 25 to 27 pixels apart; a taller list would overlap the next row.
constexpr int ListHeight = 23;
constexpr int VisibleListRows = 18;

// Bytes per second of CD audio divided by 1000: S / 1411 x kbit/s gives bytes.
constexpr long double CdAudioKbps = 1411.0L;
// Share of the way from the basic to the maximum bitrate that a VBR stream
// takes on average.
constexpr long double VbrShare = 0.18L;

const QStringList& bitrateItems() {
    static const QStringList items{
        QStringLiteral("320 - excellent sound quality - like CD"),
        QStringLiteral("256 - high sound quality / big file size"),
        QStringLiteral("224"),
        QStringLiteral("192 - good balance of sound quality and file size"),
        QStringLiteral("160"),
        QStringLiteral("144"),
        QStringLiteral("128 - good sound quality / small file size"),
        QStringLiteral("112"),
        QStringLiteral("96"),
        QStringLiteral("80"),
        QStringLiteral("64 - for demonstration / small file size"),
        QStringLiteral("56"),
        QStringLiteral("48"),
        QStringLiteral("40"),
        QStringLiteral("32 - for speech / very small file size"),
        QStringLiteral("24"),
        QStringLiteral("16"),
        QStringLiteral("8 - for internet, speech / smallest file size"),
    };
    return items;
}

const QStringList& maxBitrateItems() {
    static const QStringList items{
        QStringLiteral("320"), QStringLiteral("256"), QStringLiteral("224"), QStringLiteral("192"),
        QStringLiteral("160"), QStringLiteral("144"), QStringLiteral("128"), QStringLiteral("112"),
        QStringLiteral("96"),  QStringLiteral("80"),  QStringLiteral("64"),  QStringLiteral("56"),
        QStringLiteral("48"),  QStringLiteral("40"),  QStringLiteral("32"),  QStringLiteral("24"),
        QStringLiteral("16"),  QStringLiteral("8"),
    };
    return items;
}

// Whole bytes, to nearest with ties to even; 0 when the figure is not a
// number a file could have.
int64_t roundToBytes(long double size) {
    if (!std::isfinite(size) || std::fabs(size) >= 9.2e18L)
        return 0;
    return static_cast<int64_t>(std::nearbyint(size));
}

} // namespace

TMP3Dlg::TMP3Dlg(QWidget* mainWindow, const QString& caption)
    // No window button: X11 window managers take the functions a window
    // offers (minimise, close) from the buttons it asks for, and offer them
    // all to a window that asks for none. It asks for the maximise button
    // alone, which no window manager gives a window of fixed size.
    : QDialog(mainWindow, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowMaximizeButtonHint)
    , Bevel1(new QFrame(this))
    , Label1(new QLabel(QStringLiteral("MP3 Compression Options"), this))
    , Label_Bitrate(new QLabel(QStringLiteral("Bitrate"), this))
    , ComboBox_Bitrate(new QComboBox(this))
    , Bevel2(new QFrame(this))
    , CheckBox_VBR(new QCheckBox(QStringLiteral("Use Variable Bitrate"), this))
    , Label_MaxBitrate(new QLabel(QStringLiteral("Max Bitrate"), this))
    , ComboBox_MaxBitrate(new QComboBox(this))
    , Label_Mode(new QLabel(QStringLiteral("Mode"), this))
    , ComboBox_Mode(new QComboBox(this))
    , ComboBox_MixMode(new QComboBox(this))
    , Label_Quality(new QLabel(QStringLiteral("Quality"), this))
    , ComboBox_Quality(new QComboBox(this))
    , Label_Size(new QLabel(QStringLiteral("Approximate MP3 files size:"), this))
    , Label_CompSize(new QLabel(QStringLiteral("-"), this))
    , OKBtn(new QPushButton(QStringLiteral("Start"), this))
    , CancelBtn(new QPushButton(QStringLiteral("Cancel"), this)) {
    setObjectName(QStringLiteral("MP3Dlg"));
    setWindowTitle(caption);
    setModal(true);
    // Controls are laid out on a 312 x 233 design grid. Every text must show
    // whole: when the desktop's font needs more room than the grid gives, the
    // whole arrangement grows by one factor, keeping its rows and proportions.
    struct DesignRect {
        QWidget* widget;
        QRect rect;
        bool textMustFit;
    };
    std::vector<DesignRect> design;
    const auto place = [&design](QWidget* widget, int left, int top, int width, int height,
                                 bool textMustFit = true) {
        design.push_back({widget, QRect(left, top, width, height), textMustFit});
    };
    const auto placeText = [&place](QWidget* widget, int left, int top, int width) {
        place(widget, left, top, width, widget->sizeHint().height());
    };

    for (QFrame* frame : {Bevel1, Bevel2})
        frame->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    place(Bevel1, 8, 8, 296, 186, false);
    place(Bevel2, 16, 60, 280, 50, false);

    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);
    Label1->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    placeText(Label1, 16, 14, 281);

    placeText(Label_Bitrate, 16, 39, 46);
    ComboBox_Bitrate->addItems(bitrateItems());
    ComboBox_Bitrate->setMaxVisibleItems(VisibleListRows);
    // Wide enough for its longest description: the layout grows for it.
    ComboBox_Bitrate->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    place(ComboBox_Bitrate, 62, 35, 234, ListHeight);

    placeText(CheckBox_VBR, 22, 64, 160);
    placeText(Label_MaxBitrate, 22, 89, 68);
    ComboBox_MaxBitrate->addItems(maxBitrateItems());
    ComboBox_MaxBitrate->setMaxVisibleItems(VisibleListRows);
    place(ComboBox_MaxBitrate, 92, 85, 110, ListHeight);

    placeText(Label_Mode, 16, 119, 48);
    ComboBox_Mode->addItems({QStringLiteral("STEREO"), QStringLiteral("JOINT STEREO"),
                             QStringLiteral("DUAL CHANNEL"), QStringLiteral("MONO")});
    place(ComboBox_Mode, 68, 115, 110, ListHeight);
    ComboBox_MixMode->addItems({QStringLiteral("MIX Channels"), QStringLiteral("LEFT Channel"),
                                QStringLiteral("RIGHT Channel")});
    place(ComboBox_MixMode, 186, 115, 110, ListHeight);

    placeText(Label_Quality, 16, 146, 48);
    ComboBox_Quality->addItems({QStringLiteral("NORMAL"), QStringLiteral("LOW Quality"),
                                QStringLiteral("HIGH Quality"),
                                QStringLiteral("VOICE Quality (\"Mode\" must be \"MONO\")")});
    place(ComboBox_Quality, 68, 142, 228, ListHeight);

    Label_Size->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    placeText(Label_Size, 12, 174, 144);
    // Wide enough for "wrong value of Max Bitrate", the longest it shows.
    Label_CompSize->setText(QStringLiteral("wrong value of Max Bitrate"));
    placeText(Label_CompSize, 160, 174, 140);

    OKBtn->setDefault(true);
    place(OKBtn, 79, 200, 75, 25);
    place(CancelBtn, 159, 200, 75, 25);

    layoutScale_ = 1.0;
    for (const DesignRect& item : design) {
        if (item.textMustFit)
            layoutScale_ =
                std::max(layoutScale_,
                         static_cast<double>(item.widget->sizeHint().width()) / item.rect.width());
    }
    const auto scaled = [this](int length) {
        return static_cast<int>(std::lround(length * layoutScale_));
    };
    for (const DesignRect& item : design) {
        const QRect& at = item.rect;
        item.widget->setGeometry(scaled(at.left()), scaled(at.top()), scaled(at.width()),
                                 scaled(at.height()));
    }
    setFixedSize(scaled(ClientWidth), scaled(ClientHeight));
    Label_CompSize->setText(QStringLiteral("-"));

    const std::pair<QWidget*, QString> hints[] = {
        {ComboBox_Bitrate,
         QStringLiteral("basic Bitrate: 128..192 - normal  quality, 224..320 - hi quality")},
        {CheckBox_VBR, QStringLiteral("check on to use Variable BitRate")},
        {ComboBox_MaxBitrate, QStringLiteral("Max Bitrate: must exceed basic Bitrate")},
        {ComboBox_Mode, QStringLiteral("channel mode, recommended: for bitrate up to 192 - JOINT "
                                       "STEREO, 192 and above - STEREO")},
        {ComboBox_MixMode, QStringLiteral("mono mix mode from a stereo source")},
        {ComboBox_Quality, QStringLiteral("encode quality, NORMAL is recommended (also affects "
                                          "encoding speed)")},
    };
    for (const auto& [widget, hint] : hints)
        widget->setToolTip(hint);
    varrow::setHintDuration(this, varrow::HintDurationMs);
    setShowHints(true);

    // Tab order as the user works through the dialog: the buttons first.
    QWidget::setTabOrder(OKBtn, CancelBtn);
    QWidget::setTabOrder(CancelBtn, ComboBox_Bitrate);
    QWidget::setTabOrder(ComboBox_Bitrate, CheckBox_VBR);
    QWidget::setTabOrder(CheckBox_VBR, ComboBox_MaxBitrate);
    QWidget::setTabOrder(ComboBox_MaxBitrate, ComboBox_Mode);
    QWidget::setTabOrder(ComboBox_Mode, ComboBox_MixMode);
    QWidget::setTabOrder(ComboBox_MixMode, ComboBox_Quality);
    for (QWidget* passive :
         std::initializer_list<QWidget*>{Bevel1, Bevel2, Label1, Label_Bitrate, Label_MaxBitrate,
                                         Label_Mode, Label_Quality, Label_Size, Label_CompSize})
        passive->setFocusPolicy(Qt::NoFocus);

    FormCreate();

    // `activated` comes only from the user; selections made in code (by the
    // rules themselves or when the choices are restored) run no list rule.
    using varrow::handlerCalling;
    connect(ComboBox_Bitrate, &QComboBox::activated, this,
            handlerCalling(this, &TMP3Dlg::ComboBox_BitrateChange));
    connect(ComboBox_MaxBitrate, &QComboBox::activated, this,
            handlerCalling(this, &TMP3Dlg::ComboBox_MaxBitrateChange));
    connect(ComboBox_Mode, &QComboBox::activated, this,
            handlerCalling(this, &TMP3Dlg::ComboBox_ModeChange));
    connect(ComboBox_Quality, &QComboBox::activated, this,
            handlerCalling(this, &TMP3Dlg::ComboBox_QualityChange));
    connect(CheckBox_VBR, &QCheckBox::toggled, this,
            handlerCalling(this, &TMP3Dlg::CheckBox_VBRClick));
    connect(OKBtn, &QPushButton::clicked, this, handlerCalling(this, &TMP3Dlg::OKBtnClick));
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

void TMP3Dlg::FormCreate() {
    ComboBox_Bitrate->setCurrentIndex(DefaultBitrate);
    ComboBox_MaxBitrate->setCurrentIndex(0);
    CheckBox_VBR->setChecked(false);
    ComboBox_MaxBitrate->setEnabled(false);
    Label_MaxBitrate->setEnabled(false);
    ComboBox_Mode->setCurrentIndex(DefaultMode);
    ComboBox_MixMode->setCurrentIndex(0);
    ComboBox_Quality->setCurrentIndex(QualityNormal);
    OKBtn->setFocus();
}

void TMP3Dlg::setShowHints(bool show) {
    varrow::setWindowHints(this, show);
}

bool TMP3Dlg::ShowHints() const {
    return varrow::windowHints(this);
}

void TMP3Dlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A window the user restores is not being shown anew.
    if (!event->spontaneous())
        varrow::runHandler([this] { FormShow(); });
}

void TMP3Dlg::FormShow() {
    if (hintsSource_)
        setShowHints(hintsSource_());

    if (const QWidget* mainWindow = parentWidget() ? parentWidget()->window() : nullptr)
        varrow::moveCentredOver(*this, *mainWindow);

    ComboBox_MixMode->setEnabled(ComboBox_Mode->currentIndex() == ModeMono);
    UpdateSizeEstimate(currentSelectionTotal());
    OKBtn->setFocus();
}

int64_t TMP3Dlg::currentSelectionTotal() const {
    return selectionTotalSource_ ? selectionTotalSource_() : 0;
}

void TMP3Dlg::warn(const QString& text) {
    varrow::MessageDlgCentered(this, text, MsgDlgType::Warning, MsgButtons::Ok);
}

void TMP3Dlg::ComboBox_BitrateChange() {
    const int bitrate = ComboBox_Bitrate->currentIndex();
    const bool highBitrate = bitrate >= 0 && bitrate <= LastStereoBitrate;
    ComboBox_Mode->setCurrentIndex(highBitrate ? 0 : DefaultMode);
    ComboBox_MixMode->setEnabled(false);
    ComboBox_Quality->setCurrentIndex(QualityNormal);
    UpdateSizeEstimate(currentSelectionTotal());
}

void TMP3Dlg::ComboBox_MaxBitrateChange() {
    CheckMaxBitrate();
    UpdateSizeEstimate(currentSelectionTotal());
}

void TMP3Dlg::CheckBox_VBRClick() {
    const bool checked = CheckBox_VBR->isChecked();
    ComboBox_MaxBitrate->setEnabled(checked);
    Label_MaxBitrate->setEnabled(checked);
    // Restoring the choices while hidden must not greet the user with a box.
    if (checked && isVisible())
        CheckMaxBitrate();
    UpdateSizeEstimate(currentSelectionTotal());
}

void TMP3Dlg::ComboBox_ModeChange() {
    if (ComboBox_Mode->currentIndex() == ModeMono) {
        ComboBox_MixMode->setEnabled(true);
    } else if (ComboBox_Quality->currentIndex() == QualityVoice) {
        warn(QStringLiteral("For \"VOICE\" Quality only \"MONO\" Mode is allowed!"));
        ComboBox_Mode->setCurrentIndex(ModeMono);
        ComboBox_MixMode->setEnabled(true);
    } else {
        ComboBox_MixMode->setEnabled(false);
    }
}

void TMP3Dlg::ComboBox_QualityChange() {
    if (ComboBox_Quality->currentIndex() == QualityVoice &&
        ComboBox_Mode->currentIndex() != ModeMono) {
        warn(QStringLiteral("For \"VOICE\" Quality the Mode must be is \"MONO\"!"));
        ComboBox_Quality->setCurrentIndex(QualityNormal);
    }
}

bool TMP3Dlg::CheckMaxBitrate() {
    // Both lists run from the highest bitrate down, so a higher bitrate has
    // the smaller index.
    if (ComboBox_MaxBitrate->currentIndex() < ComboBox_Bitrate->currentIndex())
        return true;
    warn(QStringLiteral("Max Bitrate must have more value than the basic Bitrate!"));
    return false;
}

void TMP3Dlg::OKBtnClick() {
    if (!CheckBox_VBR->isChecked()) {
        accept();
        return;
    }
    if (!CheckMaxBitrate()) {
        ComboBox_MaxBitrate->setFocus();
        return;
    }
    if (ComboBox_Quality->currentIndex() == QualityVoice &&
        ComboBox_Mode->currentIndex() != ModeMono) {
        warn(QStringLiteral("For \"VOICE\" Quality the Mode must be is \"MONO\"!"));
        ComboBox_Quality->setFocus();
        return;
    }
    accept();
}

int TMP3Dlg::BitrateFromText(const QString& text) {
    int value = 0;
    qsizetype digits = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            break;
        const int digit = c.unicode() - '0';
        value = value > (INT_MAX - digit) / 10 ? INT_MAX : value * 10 + digit;
        ++digits;
    }
    return digits == 0 ? 1 : value;
}

void TMP3Dlg::UpdateSizeEstimate(int64_t selectedBytes) {
    const bool vbr = CheckBox_VBR->isChecked();
    if (vbr && ComboBox_MaxBitrate->currentIndex() >= ComboBox_Bitrate->currentIndex()) {
        Label_CompSize->setText(QStringLiteral("wrong value of Max Bitrate"));
        QPalette red = Label_CompSize->palette();
        red.setColor(QPalette::WindowText, Qt::red);
        Label_CompSize->setPalette(red);
        return;
    }

    const long double bitrate = BitrateFromText(ComboBox_Bitrate->currentText());
    const long double perKbps = static_cast<long double>(selectedBytes) / CdAudioKbps;
    long double size = 0;
    if (vbr) {
        const long double maxBitrate = BitrateFromText(ComboBox_MaxBitrate->currentText());
        size = (bitrate + (maxBitrate - bitrate) * VbrShare) * perKbps;
        Label_Size->setText(QStringLiteral("Approximate MP3 files size:"));
    } else {
        size = perKbps * bitrate;
        Label_Size->setText(QStringLiteral("MP3 files size:"));
    }

    Label_CompSize->setText(varrow::megabytesText(roundToBytes(size)));
    Label_CompSize->setPalette(QPalette());
}

void TMP3Dlg::keyPressEvent(QKeyEvent* event) {
    // The controls leave F1 alone, so it reaches the dialog whatever has the
    // focus; Enter and Escape go on to the default and cancel handling.
    if (event->key() == Qt::Key_F1) {
        varrow::runHandler([this] { ShowHelp(); });
        return;
    }
    QDialog::keyPressEvent(event);
}

void TMP3Dlg::ShowHelp() {
    varrow::showHelpTopic(this, helpFile_, HelpTopic);
}

QString TMP3Dlg::ApplyTo(TLameCoder& coder, uint8_t& monoDownMixType) const {
    constexpr int LowestBitrate = 8;
    if (CheckBox_VBR->isChecked()) {
        coder.setEnableVBR(true);
        coder.setWriteVBRHeader(true);
        const int maxBitrate = BitrateFromText(ComboBox_MaxBitrate->currentText());
        if (maxBitrate < LowestBitrate) {
            coder.setMaxBitrate(320);
            return QStringLiteral("Wrong Max Bitrate value!");
        }
        coder.setMaxBitrate(static_cast<uint32_t>(maxBitrate));
    } else {
        coder.setEnableVBR(false);
        coder.setWriteVBRHeader(false);
    }

    const int bitrate = BitrateFromText(ComboBox_Bitrate->currentText());
    if (bitrate < LowestBitrate) {
        coder.setBitrate(128);
        return QStringLiteral("Wrong Bitrate value!");
    }
    coder.setBitrate(static_cast<uint32_t>(bitrate));

    // A list left without a selection (an unknown value in the settings
    // file) keeps the setting as it was rather than passing on a bogus code.
    coder.setMode(ComboBox_Mode->currentIndex());
    const int mix = ComboBox_MixMode->currentIndex();
    if (mix >= 0 && mix < ComboBox_MixMode->count())
        monoDownMixType = static_cast<uint8_t>(mix);
    const int quality = ComboBox_Quality->currentIndex();
    if (quality >= 0 && quality < ComboBox_Quality->count())
        coder.setQuality(static_cast<MPEG_QUALITY>(quality));
    return {};
}
