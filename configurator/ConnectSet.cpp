#include "ConnectSet.h"

#include "ComPorts.h"
#include "NumberText.h"
#include "WindowParts.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr int kSpeeds[] = {9600, 19200, 38400, 57600, 115200};
constexpr int kFieldLeft = 96;
constexpr int kFieldWidth = 113;
constexpr int kFieldHeight = 21;
// Where right-aligned labels end, and the least room between a label and its field.
constexpr int kLabelRight = 88;
constexpr int kLabelGap = 4;

struct TRange {
    int32_t Min;
    int32_t Max;
};
constexpr TRange kScanRateRange{20, 10000};
constexpr TRange kTimeOutRange{10, 1000};
constexpr TRange kAddressRange{0, 254};

QLabel* MakeLabel(const QString& text, QWidget* parent, int x, int y, bool rightAligned) {
    auto* label = new QLabel(text, parent);
    label->adjustSize();
    // A font wider than the layout's would run the text under the fields: the label then
    // moves left, and a right-aligned one always ends at the column's edge.
    const int left = rightAligned ? kLabelRight - label->width()
                                  : std::min(x, kFieldLeft - kLabelGap - label->width());
    label->move(std::max(left, 2), y);
    return label;
}

QComboBox* MakeList(QWidget* parent, int y) {
    auto* box = new QComboBox(parent);
    box->setEditable(false);
    box->setGeometry(kFieldLeft, y, kFieldWidth, kFieldHeight);
    return box;
}

QLineEdit* MakeEdit(QWidget* parent, int y) {
    auto* edit = new QLineEdit(parent);
    edit->setGeometry(kFieldLeft, y, kFieldWidth, kFieldHeight);
    return edit;
}

QPushButton* MakeButton(const QString& text, QWidget* parent, int x) {
    auto* button = new QPushButton(text, parent);
    button->setGeometry(x, 184, 75, 25);
    // Neither button is the dialog's default, not even after it has had the focus; Enter
    // on a focused button is passed to the dialog, which presses it.
    button->setAutoDefault(false);
    return button;
}

// The number after "COM" in a port entry, or nothing.
std::optional<int32_t> EntryNumber(const QString& entry) {
    return platform::ParseIntegerText(QStringView(entry).mid(3));
}

// The field's text as a whole number; -1, which no range admits, when it is not one.
int32_t WholeNumber(const QLineEdit* field) {
    return platform::ParseIntegerText(field->text()).value_or(-1);
}

bool InRange(int32_t value, TRange range) {
    return value >= range.Min && value <= range.Max;
}

} // namespace

TConSetForm::TConSetForm(TConSetOwner& owner, QWidget* parent) : QDialog(parent), Owner(owner) {
    setWindowTitle("Настройки связи");
    setFixedSize(224, 218);
    SetLayoutFont(this);

    Label1 = MakeLabel("Порт", this, 64, 32, false);
    Label2 = MakeLabel("Скорость", this, 40, 64, true);
    Label3 = MakeLabel("Период опроса", this, 11, 96, true);
    Label5 = MakeLabel("TimeOut", this, 48, 128, false);
    Label4 = MakeLabel("Сетевой адрес", this, 16, 160, false);

    PortComboBox = MakeList(this, 24);
    SpeedComboBox = MakeList(this, 56);
    ScanRateEdit = MakeEdit(this, 88);
    AddrEdit = MakeEdit(this, 152);
    CancelButton = MakeButton("Отмена", this, 136);
    YesButton = MakeButton("Да", this, 56);
    TimeOutEdit = MakeEdit(this, 120);

    for (int port : platform::ComPortList())
        PortComboBox->addItem(QStringLiteral("COM%1").arg(port));
    PortComboBox->setCurrentIndex(PortComboBox->count() > 0 ? 0 : -1);
    for (int speed : kSpeeds)
        SpeedComboBox->addItem(QString::number(speed));

    // The tab order of the layout, the time-out field last.
    QWidget* const order[] = {PortComboBox, SpeedComboBox, ScanRateEdit, AddrEdit,
                              CancelButton, YesButton,     TimeOutEdit};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
    for (QWidget* field :
         {static_cast<QWidget*>(PortComboBox), static_cast<QWidget*>(SpeedComboBox),
          static_cast<QWidget*>(ScanRateEdit), static_cast<QWidget*>(AddrEdit),
          static_cast<QWidget*>(TimeOutEdit)})
        field->installEventFilter(this);

    connect(YesButton, &QPushButton::clicked, this, &TConSetForm::YesButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &TConSetForm::CancelButtonClick);
}

void TConSetForm::FillFields() {
    const TLinkValues values = Owner.LinkValues();
    TimeOutEdit->setText(QString::number(values.TimeOut));
    ScanRateEdit->setText(QString::number(values.ScanRate));

    // A stored port that is no longer listed shows the first entry.
    PortComboBox->setCurrentIndex(-1);
    for (int i = 0; i < PortComboBox->count(); ++i) {
        if (EntryNumber(PortComboBox->itemText(i)) == values.Port) {
            PortComboBox->setCurrentIndex(i);
            break;
        }
    }
    if (PortComboBox->currentIndex() < 0 && PortComboBox->count() > 0)
        PortComboBox->setCurrentIndex(0);

    const int speed = SpeedComboBox->findText(QString::number(values.PortSpeed));
    SpeedComboBox->setCurrentIndex(speed >= 0 ? speed : 0);

    if (const TProjectAddress* project = Owner.ProjectAddress()) {
        AddrEdit->setEnabled(true);
        AddrEdit->setText(QString::number(project->Address()));
    } else {
        AddrEdit->setEnabled(false);
        AddrEdit->setText(NoDeviceText);
    }
}

void TConSetForm::ShowSettings() {
    FillFields();
    PortComboBox->setFocus();
    move(716, 447);
    exec();
}

void TConSetForm::Refuse(QLineEdit* field) {
    field->setFocus();
    field->selectAll();
}

void TConSetForm::YesButtonClick() {
    const int32_t period = WholeNumber(ScanRateEdit);
    if (!InRange(period, kScanRateRange))
        return Refuse(ScanRateEdit);
    const int32_t timeOut = WholeNumber(TimeOutEdit);
    if (!InRange(timeOut, kTimeOutRange))
        return Refuse(TimeOutEdit);
    if (AddrEdit->isEnabled()) {
        const int32_t address = WholeNumber(AddrEdit);
        if (!InRange(address, kAddressRange))
            return Refuse(AddrEdit);
        if (TProjectAddress* project = Owner.ProjectAddress())
            project->SetAddress(static_cast<uint8_t>(address));
    }

    TLinkValues values = Owner.LinkValues();
    // No port listed, or an entry without a number: the port stays as it was.
    if (PortComboBox->currentIndex() >= 0)
        values.Port = EntryNumber(PortComboBox->currentText()).value_or(values.Port);
    values.ScanRate = period;
    values.TimeOut = timeOut;
    if (SpeedComboBox->currentIndex() >= 0)
        values.PortSpeed = SpeedComboBox->currentText().toInt();
    Owner.SetLinkValues(values);
    Owner.SaveSettings();
    accept();
}

void TConSetForm::CancelButtonClick() {
    reject();
}

bool TConSetForm::FormKeyDown(int key) {
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        YesButtonClick();
        return true;
    case Qt::Key_Escape:
        CancelButtonClick();
        return true;
    default:
        return false;
    }
}

bool TConSetForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && FormKeyDown(static_cast<QKeyEvent*>(event)->key()))
        return true;
    return QDialog::eventFilter(watched, event);
}

void TConSetForm::keyPressEvent(QKeyEvent* event) {
    // The dialog's keys are not the buttons': a focused button presses on Enter, and Esc
    // there does nothing, as neither button is the dialog's cancel button.
    if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
        switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            button->click();
            return;
        case Qt::Key_Escape:
            return;
        default:
            return QDialog::keyPressEvent(event);
        }
    }
    if (!FormKeyDown(event->key()))
        QDialog::keyPressEvent(event);
}
