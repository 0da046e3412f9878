#include "ConnectSet.h"
#include "MemorySettings.h"
#include "PtyPair.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

namespace {

// The main window and its project as the dialog sees them; saving writes a settings
// record to a store in memory.
class RecordingOwner : public TConSetOwner, public TProjectAddress {
public:
    TLinkValues LinkValues() const override { return Settings.Link; }
    void SetLinkValues(const TLinkValues& values) override {
        Settings.Link = values;
        Calls.append("link");
    }
    TProjectAddress* ProjectAddress() override { return HasProject ? this : nullptr; }
    uint8_t Address() const override { return ProjectAddr; }
    void SetAddress(uint8_t address) override {
        ProjectAddr = address;
        Calls.append("address");
    }
    void SaveSettings() override {
        Settings.Save(Store);
        Calls.append("save");
    }

    TQeldSettings Settings;
    MemorySettings Store;
    bool HasProject = true;
    uint8_t ProjectAddr = 210;
    QStringList Calls;
};

// A ports folder with three pseudo-terminals linked as COM120, COM7 and COM150, and the
// dialog built over it with valid values shown.
class ConSetDialog : public ::testing::Test {
public:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(a.Valid() && b.Valid() && c.Valid());
        savedPorts = qgetenv("VENDRILL_PORTS_DIR");
        qputenv("VENDRILL_PORTS_DIR", dir.path().toUtf8());
        ASSERT_TRUE(QFile::link(a.SlavePath(), dir.path() + "/COM120"));
        ASSERT_TRUE(QFile::link(b.SlavePath(), dir.path() + "/COM7"));
        ASSERT_TRUE(QFile::link(c.SlavePath(), dir.path() + "/COM150"));
        ASSERT_TRUE(QFile::link(dir.path() + "/nowhere", dir.path() + "/COM98"));
        owner.Settings.Link = {7, 19200, 500, 200};
        form = std::make_unique<TConSetForm>(owner);
        Show();
    }
    void TearDown() override {
        form.reset();
        if (savedPorts.isNull())
            qunsetenv("VENDRILL_PORTS_DIR");
        else
            qputenv("VENDRILL_PORTS_DIR", savedPorts);
    }
    // What ShowSettings does, without the modal loop.
    void Show() {
        form->setResult(-1);
        form->FillFields();
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        form->PortComboBox->setFocus();
    }
    QStringList PortEntries() const {
        QStringList entries;
        for (int i = 0; i < form->PortComboBox->count(); ++i)
            entries.append(form->PortComboBox->itemText(i));
        return entries;
    }
    void Choose(QComboBox* box, const QString& text) {
        const int i = box->findText(text);
        ASSERT_GE(i, 0) << text.toStdString();
        box->setCurrentIndex(i);
    }
    bool Closed(int result) const { return !form->isVisible() && form->result() == result; }

    QTemporaryDir dir;
    PtyPair a, b, c;
    QByteArray savedPorts;
    RecordingOwner owner;
    std::unique_ptr<TConSetForm> form;
};

TEST_F(ConSetDialog, LayoutAndPortList) {
    EXPECT_EQ(form->windowTitle(), "Настройки связи");
    EXPECT_EQ(form->size(), QSize(224, 218));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    const QList<std::pair<QLabel*, const char*>> labels = {{form->Label1, "Порт"},
                                                           {form->Label2, "Скорость"},
                                                           {form->Label3, "Период опроса"},
                                                           {form->Label5, "TimeOut"},
                                                           {form->Label4, "Сетевой адрес"}};
    for (const auto& [label, text] : labels)
        EXPECT_EQ(label->text(), text);
    EXPECT_EQ(form->YesButton->text(), "Да");
    EXPECT_EQ(form->CancelButton->text(), "Отмена");
    EXPECT_FALSE(form->PortComboBox->isEditable());
    EXPECT_FALSE(form->SpeedComboBox->isEditable());

    QStringList speeds;
    for (int i = 0; i < form->SpeedComboBox->count(); ++i)
        speeds.append(form->SpeedComboBox->itemText(i));
    EXPECT_EQ(speeds, QStringList({"9600", "19200", "38400", "57600", "115200"}));

    // Every entry is a COMn with a device; ours come in number order, the dangling link
    // is left out. Ports of the machine itself may be listed too.
    const QStringList entries = PortEntries();
    QList<int> numbers;
    for (const QString& entry : entries) {
        ASSERT_TRUE(entry.startsWith("COM")) << entry.toStdString();
        numbers.append(entry.mid(3).toInt());
    }
    EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end()));
    EXPECT_TRUE(entries.contains("COM7") && entries.contains("COM120") &&
                entries.contains("COM150"));
    EXPECT_FALSE(entries.contains("COM98"));
}

TEST_F(ConSetDialog, TabOrder) {
    QStringList order;
    const QList<std::pair<QWidget*, const char*>> named = {
        {form->PortComboBox, "port"},   {form->SpeedComboBox, "speed"},
        {form->ScanRateEdit, "period"}, {form->AddrEdit, "address"},
        {form->CancelButton, "cancel"}, {form->YesButton, "yes"},
        {form->TimeOutEdit, "timeout"}};
    QWidget* w = form->PortComboBox;
    for (int i = 0; i < 40 && order.size() < 7; ++i, w = w->nextInFocusChain()) {
        for (const auto& [widget, name] : named) {
            if (widget == w && !order.contains(name))
                order.append(name);
        }
    }
    EXPECT_EQ(order,
              QStringList({"port", "speed", "period", "address", "cancel", "yes", "timeout"}));
}

TEST_F(ConSetDialog, ShowsTheStoredValues) {
    EXPECT_EQ(form->PortComboBox->currentText(), "COM7");
    EXPECT_EQ(form->SpeedComboBox->currentText(), "19200");
    EXPECT_EQ(form->ScanRateEdit->text(), "500");
    EXPECT_EQ(form->TimeOutEdit->text(), "200");
    EXPECT_TRUE(form->AddrEdit->isEnabled());
    EXPECT_EQ(form->AddrEdit->text(), "210");

    // An unplugged port and a speed typed into the settings show the first entries.
    owner.Settings.Link = {99, 12345, 20, 10};
    owner.HasProject = false;
    form->FillFields();
    EXPECT_EQ(form->PortComboBox->currentIndex(), 0);
    EXPECT_EQ(form->SpeedComboBox->currentText(), "9600");
    EXPECT_FALSE(form->AddrEdit->isEnabled());
    EXPECT_EQ(form->AddrEdit->text(), "Нет устройства");
}

TEST_F(ConSetDialog, OkWritesTheValuesAndSavesThemAtOnce) {
    Choose(form->PortComboBox, "COM150");
    Choose(form->SpeedComboBox, "57600");
    form->ScanRateEdit->setText("250");
    form->TimeOutEdit->setText("300");
    form->AddrEdit->setText("17");
    form->YesButton->click();

    EXPECT_TRUE(Closed(QDialog::Accepted));
    EXPECT_EQ(owner.Settings.Link, (TLinkValues{150, 57600, 250, 300}));
    EXPECT_EQ(owner.ProjectAddr, 17);
    EXPECT_EQ(owner.Calls, QStringList({"address", "link", "save"}));
    const QList<std::pair<const char*, const char*>> stored = {
        {"Port", "150"},    {"PortSpeed", "57600"}, {"ScanRate", "250"},
        {"TimeOut", "300"}, {"Width", "600"},       {"WinState", "0"}};
    for (const auto& [name, text] : stored)
        EXPECT_EQ(owner.Store.Text("Morlavin_V1", name), text) << name;
}

TEST_F(ConSetDialog, OkAfterAnUnlistedPortOrSpeedStoresTheFirstEntries) {
    owner.Settings.Link = {99, 12345, 1000, 100};
    form->FillFields();
    const int firstPort = form->PortComboBox->itemText(0).mid(3).toInt();
    form->YesButton->click();
    EXPECT_TRUE(Closed(QDialog::Accepted));
    EXPECT_EQ(owner.Settings.Link, (TLinkValues{firstPort, 9600, 1000, 100}));
}

TEST_F(ConSetDialog, PortStaysWithoutAUsableEntry) {
    // No port listed at all, and an entry whose name has no number after "COM".
    for (const char* entry : {"", "COMX"}) {
        owner.Settings.Link.Port = 42;
        owner.Calls.clear();
        form->PortComboBox->clear();
        if (*entry)
            form->PortComboBox->addItem(entry);
        Show();
        form->YesButton->click();
        EXPECT_TRUE(Closed(QDialog::Accepted)) << entry;
        EXPECT_EQ(owner.Settings.Link.Port, 42) << entry;
    }
}

TEST_F(ConSetDialog, WithoutAProjectNoAddressIsCheckedOrStored) {
    owner.HasProject = false;
    Show();
    form->YesButton->click();
    EXPECT_TRUE(Closed(QDialog::Accepted));
    EXPECT_EQ(owner.Calls, QStringList({"link", "save"}));
}

TEST_F(ConSetDialog, RangesAndTheFocusOnTheFirstBadField) {
    const struct {
        QLineEdit* TConSetForm::*field;
        const char* text;
        bool accepted;
    } cases[] = {
        {&TConSetForm::ScanRateEdit, "20", true},     {&TConSetForm::ScanRateEdit, "10000", true},
        {&TConSetForm::ScanRateEdit, "$14", true},    {&TConSetForm::ScanRateEdit, "19", false},
        {&TConSetForm::ScanRateEdit, "10001", false}, {&TConSetForm::ScanRateEdit, "abc", false},
        {&TConSetForm::ScanRateEdit, "", false},      {&TConSetForm::ScanRateEdit, "50 ", false},
        {&TConSetForm::TimeOutEdit, "10", true},      {&TConSetForm::TimeOutEdit, "1000", true},
        {&TConSetForm::TimeOutEdit, "9", false},      {&TConSetForm::TimeOutEdit, "1001", false},
        {&TConSetForm::TimeOutEdit, "abc", false},    {&TConSetForm::AddrEdit, "0", true},
        {&TConSetForm::AddrEdit, "254", true},        {&TConSetForm::AddrEdit, "255", false},
        {&TConSetForm::AddrEdit, "-1", false},        {&TConSetForm::AddrEdit, "abc", false},
    };
    for (const auto& c : cases) {
        owner.Settings.Link = {7, 19200, 500, 200};
        owner.ProjectAddr = 210;
        owner.Calls.clear();
        Show();
        QLineEdit* field = (*form).*(c.field);
        field->setText(c.text);
        form->YesButton->click();
        if (c.accepted) {
            EXPECT_TRUE(Closed(QDialog::Accepted)) << c.text;
            continue;
        }
        EXPECT_TRUE(form->isVisible()) << c.text;
        EXPECT_EQ(QApplication::focusWidget(), field) << c.text;
        EXPECT_EQ(field->selectedText(), c.text) << c.text;
        EXPECT_TRUE(owner.Calls.isEmpty()) << c.text;
        EXPECT_EQ(owner.Settings.Link, (TLinkValues{7, 19200, 500, 200})) << c.text;
        EXPECT_EQ(owner.ProjectAddr, 210) << c.text;
    }
}

TEST_F(ConSetDialog, TwoBadFieldsAreRefusedOneAtATime) {
    form->ScanRateEdit->setText("5");
    form->TimeOutEdit->setText("5");
    form->AddrEdit->setText("300");
    const QList<std::pair<QLineEdit*, const char*>> steps = {
        {form->ScanRateEdit, "40"}, {form->TimeOutEdit, "40"}, {form->AddrEdit, "40"}};
    for (const auto& [field, fix] : steps) {
        form->YesButton->click();
        ASSERT_EQ(QApplication::focusWidget(), field);
        field->setText(fix);
    }
    form->YesButton->click();
    EXPECT_TRUE(Closed(QDialog::Accepted));
    EXPECT_EQ(owner.ProjectAddr, 40);
}

TEST_F(ConSetDialog, EnterAndEscInTheFields) {
    const QList<QWidget*> fields = {form->PortComboBox, form->SpeedComboBox, form->ScanRateEdit,
                                    form->AddrEdit, form->TimeOutEdit};
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int result;
    } keys[] = {{Qt::Key_Return, Qt::NoModifier, QDialog::Accepted},
                {Qt::Key_Enter, Qt::KeypadModifier, QDialog::Accepted},
                {Qt::Key_Return, Qt::ShiftModifier, QDialog::Accepted},
                {Qt::Key_Escape, Qt::NoModifier, QDialog::Rejected},
                {Qt::Key_Escape, Qt::ControlModifier, QDialog::Rejected}};
    for (QWidget* field : fields) {
        for (const auto& k : keys) {
            owner.Calls.clear();
            Show();
            field->setFocus();
            QTest::keyClick(field, k.key, k.modifiers);
            EXPECT_TRUE(Closed(k.result)) << field->metaObject()->className() << " " << k.key;
            EXPECT_EQ(owner.Calls.contains("save"), k.result == QDialog::Accepted);
        }
    }

    // Enter on a bad field refuses it like the button does.
    Show();
    form->TimeOutEdit->setText("1");
    QTest::keyClick(form->PortComboBox, Qt::Key_Return);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(QApplication::focusWidget(), form->TimeOutEdit);
}

TEST_F(ConSetDialog, EnterOnAFocusedButtonPressesThatButtonAndEscDoesNothing) {
    for (const auto& [button, result] : {std::pair{form->CancelButton, int(QDialog::Rejected)},
                                         std::pair{form->YesButton, int(QDialog::Accepted)}}) {
        owner.Calls.clear();
        Show();
        button->setFocus();
        QTest::keyClick(button, Qt::Key_Escape);
        EXPECT_TRUE(form->isVisible()) << button->text().toStdString();
        EXPECT_EQ(form->result(), -1);
        QTest::keyClick(button, Qt::Key_Return);
        EXPECT_TRUE(Closed(result)) << button->text().toStdString();
        EXPECT_EQ(owner.Calls.contains("save"), result == QDialog::Accepted);
    }
}

TEST_F(ConSetDialog, NeitherButtonIsTheDialogsDefault) {
    // Only a focused button takes Enter; none stands as the default of the fields.
    EXPECT_FALSE(form->CancelButton->isDefault());
    EXPECT_FALSE(form->YesButton->isDefault());
    form->YesButton->setFocus();
    form->ScanRateEdit->setFocus();
    EXPECT_FALSE(form->CancelButton->isDefault());
    EXPECT_FALSE(form->YesButton->isDefault());
}

TEST_F(ConSetDialog, ShowSettingsRunsModallyAtItsPlace) {
    form->hide();
    owner.Settings.Link = {150, 38400, 700, 70};
    bool modal = false;
    QPoint place;
    QString shownPort;
    QTimer::singleShot(0, form.get(), [&] {
        modal = QApplication::activeModalWidget() == form.get();
        place = form->pos();
        shownPort = form->PortComboBox->currentText();
        form->YesButton->click();
    });
    form->ShowSettings();
    EXPECT_TRUE(modal);
    EXPECT_EQ(place, QPoint(716, 447));
    EXPECT_EQ(shownPort, "COM150");
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_EQ(owner.Calls, QStringList({"address", "link", "save"}));
}

} // namespace
