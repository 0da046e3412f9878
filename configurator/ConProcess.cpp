#include "ConProcess.h"

#include "ConfiguratorImages.h"
#include "WindowParts.h"

#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>

namespace {

constexpr int32_t kFindFolder = 1;

} // namespace

TAnimate::TAnimate(QWidget* parent) : QWidget(parent) {
    Timer.setInterval(FrameMs);
    connect(&Timer, &QTimer::timeout, this, &TAnimate::Step);
}

void TAnimate::SetCommonAVI(int32_t anim) {
    Stop();
    Anim = anim;
    Frames = anim == kFindFolder ? configurator::SearchFrames() : QList<QImage>();
    FrameIndex = 0;
    update();
}

void TAnimate::Play() {
    if (Frames.isEmpty())
        return;
    FrameIndex = 0;
    Timer.start();
    update();
}

void TAnimate::Stop() {
    Timer.stop();
}

void TAnimate::Step() {
    if (Frames.isEmpty())
        return;
    FrameIndex = (FrameIndex + 1) % Frames.size();
    update();
}

void TAnimate::paintEvent(QPaintEvent*) {
    if (Frames.isEmpty())
        return;
    QPainter painter(this);
    painter.drawImage(0, 0, Frames[FrameIndex]);
}

TConnectProcessForm::TConnectProcessForm(TConnectProcessOwner& owner, QWidget* mainWindow)
    : QDialog(mainWindow), Owner(owner), MainWindow(mainWindow), Posting(this) {
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setFixedSize(309, 181);
    SetLayoutFont(this);

    Panel1 = new QFrame(this);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setGeometry(rect());

    Animate1 = new TAnimate(Panel1);
    Animate1->setGeometry(16, 16, 272, 60);
    Animate1->SetCommonAVI(kFindFolder);

    ErrStaticText = new QLabel(Panel1);
    ErrStaticText->setGeometry(16, 16, 273, 65);
    ErrStaticText->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    ErrStaticText->setWordWrap(true);
    ErrStaticText->setTextFormat(Qt::PlainText);
    QFont bold = ErrStaticText->font();
    bold.setBold(true);
    ErrStaticText->setFont(bold);
    ErrStaticText->setStyleSheet("color: black");
    ErrStaticText->hide();

    MesageLabel = new QLabel(Panel1);
    MesageLabel->setTextFormat(Qt::PlainText);
    MesageLabel->setGeometry(16, 96, 273, MesageLabel->sizeHint().height());

    ProgressBar1 = new QProgressBar(Panel1);
    ProgressBar1->setGeometry(16, 112, 273, 17);
    ProgressBar1->setTextVisible(false);
    SetProgress(0, 100, 0);

    CancelButton = new QPushButton("Отмена", Panel1);
    CancelButton->setGeometry(216, 144, 75, 25);
    connect(CancelButton, &QPushButton::clicked, this, &TConnectProcessForm::CancelButtonClick);
}

bool TConnectProcessForm::event(QEvent* event) {
    if (event->type() == WM_CONNECTSTAGE) {
        const auto* stage = static_cast<TConnectStageEvent*>(event);
        SetStage(stage->Text, stage->Anim);
        return true;
    }
    if (event->type() == WM_CONNECTPROGRESS) {
        WMConnectProgress(static_cast<TConnectProgressEvent*>(event)->Progress);
        return true;
    }
    return QDialog::event(event);
}

void TConnectProcessForm::SetStage(const QString& text, int32_t anim) {
    ShowStatus(text);
    ErrStaticText->hide();
    Animate1->show();
    Animate1->SetCommonAVI(anim);
}

void TConnectProcessForm::WMConnectProgress(const TConnectProgress& progress) {
    MessageText = progress.MessageText;
    ErrorText = progress.ErrorText;
    ProgressMin = progress.ProgressMin;
    ProgressMax = progress.ProgressMax;
    ProgressPos = progress.ProgressPos;

    switch (progress.Code) {
    case lnkShow:
        // A second show while up would stack a modal loop on the first.
        if (!isVisible())
            exec();
        break;
    case lnkRequest:
        Owner.CountRequest();
        SetProgressPosition(Owner.RequestCount() % 100);
        repaint();
        break;
    case lnkReply:
        Owner.CountAnswer();
        break;
    case lnkStatus:
        ShowStatus(MessageText);
        repaint();
        break;
    case lnkMismatch:
        ShowStatus(MessageText);
        Animate1->SetCommonAVI(0);
        Animate1->hide();
        ErrStaticText->setText(DisplayLines(ErrorText));
        ErrStaticText->show();
        repaint();
        break;
    case lnkProgress:
        ShowStatus(MessageText + QString::number(progress.LParam));
        SetProgress(ProgressMin, ProgressMax, ProgressPos);
        repaint();
        break;
    case lnkDone:
        if (isVisible())
            done(QDialog::Accepted);
        break;
    case lnkCycle:
        if (TConnectProject* project = Owner.OpenProject())
            project->RefreshView();
        break;
    default:
        break;
    }
}

void TConnectProcessForm::CancelButtonClick() {
    done(QDialog::Rejected);
    Animate1->Stop();
    if (TConnectProject* project = Owner.OpenProject())
        project->Disconnect();
}

void TConnectProcessForm::reject() {
    CancelButtonClick();
}

void TConnectProcessForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TConnectProcessForm::hideEvent(QHideEvent* event) {
    // Closed, it has nothing to show until the next showing starts it again; hidden by
    // the window system (minimized with the main window), it plays on for the restore.
    if (!event->spontaneous())
        Animate1->Stop();
    QDialog::hideEvent(event);
}

void TConnectProcessForm::FormShow() {
    if (MainWindow)
        CentreOn(this, MainWindow);
    Animate1->Play();
    ProgressPos = 0;
}

void TConnectProcessForm::ShowStatus(const QString& text) {
    MesageLabel->setText(text);
}

void TConnectProcessForm::SetProgress(int32_t min, int32_t max, int32_t pos) {
    BarMin = min;
    BarMax = max;
    SetProgressPosition(pos);
}

void TConnectProcessForm::SetProgressPosition(int32_t pos) {
    if (BarMax <= BarMin) {
        ProgressBar1->setRange(0, 1);
        ProgressBar1->setValue(0);
        return;
    }
    ProgressBar1->setRange(BarMin, BarMax);
    ProgressBar1->setValue(std::clamp(pos, BarMin, BarMax));
}
