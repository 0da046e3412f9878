// The main window without a link: its layout, its three states, the counters, the
// settings it reads at creation and writes at its end, the view-style entries, the
// temporary folder, the download's progress panel and the real file dialogs' entries.
#include "Main.h"
#include "MemorySettings.h"
#include "QeldDialogs.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <memory>

namespace {

const QString kSection = QStringLiteral("Morlavin_V1");

class MainWindow : public ::testing::Test {
protected:
    std::unique_ptr<TQeldForm> MakeForm() {
        return std::make_unique<TQeldForm>(TQeldFormSetup{&store, dir.path()});
    }
    void Store(const QString& name, const QString& value) {
        store.Values[{kSection, name}] = value;
    }
    QString Stored(const QString& name) const { return store.Text(kSection, name); }

    QTemporaryDir dir;
    MemorySettings store;
};

// Every control whose state the three states set, with its enabled flag.
QString EnabledControls(const TQeldForm& f) {
    QString flags;
    const auto put = [&flags](bool enabled) { flags += enabled ? '1' : '0'; };
    for (const QToolButton* b :
         {f.OpenToolButton, f.CloseToolButton, f.SaveToolButton, f.GoToolButton, f.StopToolButton,
          f.SetToolButton, f.ViewToolButton, f.BackToolButton, f.AboutToolButton})
        put(b->isEnabled());
    flags += ' ';
    for (const QAction* a : {f.MI_FileOpen, f.MI_FileClose, f.MI_FileSave, f.MI_FileSaveAs,
                             f.MI_FileExit, f.MI_ConectGo, f.MI_ConectStop, f.MI_ConectSet,
                             f.MI_ViewIcon, f.MI_ViewTab, f.MI_ViewBack, f.MI_HelpAbout})
        put(a->isEnabled());
    return flags;
}

QStringList PanelTexts(const TQeldForm& f) {
    QStringList texts;
    for (int i = 0; i < 5; ++i)
        texts << f.StatusText(i);
    return texts;
}

TEST_F(MainWindow, StartsWithoutProjectAndWithTheDefaults) {
    const auto form = MakeForm();
    EXPECT_EQ(form->windowTitle(), "Конфигуратор");
    EXPECT_EQ(form->size(), QSize(600, 400));
    EXPECT_EQ(form->pos(), QPoint(463, 299));
    EXPECT_EQ(form->windowState(), Qt::WindowNoState);
    EXPECT_EQ(form->Port(), 1);
    EXPECT_EQ(form->PortSpeed(), 9600);
    EXPECT_EQ(form->TimeOut(), 100);
    EXPECT_EQ(form->ScanRate(), 1000);
    EXPECT_EQ(form->Project(), nullptr);
    // Buttons: open, close, save, go, stop, set, view, back, about; then the menu entries.
    EXPECT_EQ(EnabledControls(*form), "100001001 100010010001");
    EXPECT_EQ(PanelTexts(*form),
              (QStringList{"Нет устройства", "Отключено", "Запросов 0", "Ответов 0", ""}));
    EXPECT_TRUE(form->ProgressPanel->isHidden());
    EXPECT_TRUE(form->MI_ViewIcon->isChecked());
    EXPECT_TRUE(form->PMI_ViewIcon->isChecked());
    EXPECT_EQ(form->RequestCount(), 0);
    EXPECT_EQ(form->AnswerCount(), 0);
}

TEST_F(MainWindow, ToolBarButtonsMenusAndStatusBar) {
    const auto form = MakeForm();
    const QList<QToolButton*> buttons = {
        form->OpenToolButton, form->CloseToolButton, form->SaveToolButton,
        form->GoToolButton,   form->StopToolButton,  form->SetToolButton,
        form->ViewToolButton, form->BackToolButton,  form->AboutToolButton};
    const QStringList hints = {"Открыть",
                               "Закрыть",
                               "Сохранить",
                               "Запуск соединения",
                               "Останов соединения",
                               "Настройка соединения",
                               "Вид",
                               "Назад",
                               "О программе"};
    for (int i = 0; i < buttons.size(); ++i) {
        EXPECT_EQ(buttons[i]->toolTip(), hints[i]);
        EXPECT_EQ(buttons[i]->iconSize(), QSize(48, 48));
        EXPECT_FALSE(buttons[i]->icon().pixmap(48, 48).isNull()) << i;
        EXPECT_EQ(buttons[i]->height(), 54);
    }
    EXPECT_EQ(form->ViewToolButton->menu(), form->ViewPopupMenu);
    EXPECT_EQ(form->ViewToolButton->popupMode(), QToolButton::MenuButtonPopup);
    EXPECT_FALSE(form->PMI_ViewIcon->icon().isNull());
    EXPECT_FALSE(form->PMI_ViewTab->icon().isNull());
    EXPECT_EQ(form->PMI_ViewIcon->text(), "Иконки");
    EXPECT_EQ(form->PMI_ViewTab->text(), "Таблица");

    QStringList menus;
    for (const QMenu* menu : {form->MI_File, form->MI_Conect, form->MI_View, form->MI_Help}) {
        QString line = menu->title() + ":";
        for (const QAction* a : menu->actions())
            line += " " + (a->isSeparator() ? QString("-") : a->text());
        menus << line;
    }
    EXPECT_EQ(menus, (QStringList{"Фаил: Открыть Закрыть Сохранить Сохранить как - Выход",
                                  "Связь: Запуск Останов Настройка", "Вид: Иконки Таблица - Назад",
                                  "Помощь: О программе"}));
    for (const QAction* a : form->findChildren<QAction*>())
        EXPECT_TRUE(a->shortcut().isEmpty()) << a->text().toStdString();

    QList<int> widths;
    for (const QLabel* panel : form->StatusPanels)
        widths << panel->width();
    EXPECT_EQ(widths, (QList<int>{100, 100, 100, 100, 50}));
    EXPECT_EQ(form->ServisePanel->width(), 200);
    EXPECT_EQ(form->CancelLoadButton->text(), "Отмена");
}

TEST_F(MainWindow, ThreeStates) {
    const auto form = MakeForm();
    form->SetProjectUI();
    EXPECT_EQ(EnabledControls(*form), "011101101 011111011101");
    EXPECT_EQ(form->StatusText(1), "Отключено");
    form->EnableBack();
    EXPECT_EQ(EnabledControls(*form), "011101111 011111011111");
    form->SetConnectedUI();
    EXPECT_EQ(EnabledControls(*form), "011011111 011110111111");
    EXPECT_EQ(form->StatusText(1), "Работа");
    form->SetDisconnectedUI();
    EXPECT_EQ(EnabledControls(*form), "011101111 011111011111");
    form->DisableBack();
    EXPECT_EQ(EnabledControls(*form), "011101101 011111011101");
    form->SetConnectedUI();
    form->SetNoProjectUI();
    EXPECT_EQ(EnabledControls(*form), "100001001 100010010001");
    // Closing leaves the link panel to whoever set it last.
    EXPECT_EQ(form->StatusText(1), "Работа");
}

TEST_F(MainWindow, CountersKeepCountingOverStopAndGoAndResetWithoutProject) {
    const auto form = MakeForm();
    form->SetProjectUI();
    for (int cycle = 0; cycle < 2; ++cycle) {
        form->SetConnectedUI();
        form->CountRequest();
        form->CountRequest();
        form->CountAnswer();
        form->SetDisconnectedUI();
    }
    EXPECT_EQ(form->StatusText(2), "Запросов 4");
    EXPECT_EQ(form->StatusText(3), "Ответов 2");
    EXPECT_EQ(form->RequestCount(), 4);
    form->SetNoProjectUI();
    EXPECT_EQ(form->StatusText(2), "Запросов 0");
    EXPECT_EQ(form->StatusText(3), "Ответов 0");
    EXPECT_EQ(form->AnswerCount(), 0);
}

TEST_F(MainWindow, CommandsAreOffWhileADownloadRuns) {
    const auto form = MakeForm();
    form->SetUIEnabled(false);
    EXPECT_FALSE(form->QeldCoolBar->isEnabled());
    EXPECT_FALSE(form->OpenToolButton->isEnabled());
    for (const QMenu* menu : {form->MI_File, form->MI_Conect, form->MI_View, form->MI_Help})
        EXPECT_FALSE(menu->menuAction()->isEnabled());
    EXPECT_TRUE(form->CancelLoadButton->isEnabled());
    form->SetUIEnabled(true);
    EXPECT_TRUE(form->OpenToolButton->isEnabled());
    EXPECT_TRUE(form->MI_Help->menuAction()->isEnabled());
}

TEST_F(MainWindow, ViewDropDownShowsItsPicturesAtFullSize) {
    const auto form = MakeForm();
    QMenu* menu = form->ViewPopupMenu;
    // The size the menu's style gives its entries' pictures, and the room they get.
    EXPECT_EQ(menu->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, menu), 48);
    for (QAction* entry : {form->PMI_ViewIcon, form->PMI_ViewTab})
        EXPECT_GE(menu->actionGeometry(entry).height(), 48) << entry->text().toStdString();
    // The main menu's entries keep the usual small size.
    EXPECT_LT(form->MI_View->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, form->MI_View),
              48);
}

// Runs one of the real dialogs; while it is up, lists what each of its filter entries shows
// in the start folder, then cancels it.
QStringList EntriesAndFiles(TQtQeldFileDialogs& dialogs, bool save, const QString& folder) {
    QStringList seen;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog) {
            ADD_FAILURE() << "no file dialog";
            if (modal)
                modal->close();
            return;
        }
        auto* model = dialog->findChild<QFileSystemModel*>();
        auto* entries = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        for (int i = 0; model && entries && i < entries->count(); ++i) {
            dialog->selectNameFilter(dialog->nameFilters().value(i));
            QStringList files;
            const auto list = [&] {
                files.clear();
                const QModelIndex parent = model->index(folder);
                for (int row = 0; row < model->rowCount(parent); ++row)
                    files << model->fileName(model->index(row, 0, parent));
                files.sort();
                return files.size() == (i == 0 ? 1 : 3);
            };
            (void)QTest::qWaitFor(list, 30000); // the listing is read in the background
            seen << entries->itemText(i) + ": " + files.join(' ');
        }
        dialog->reject();
    });
    EXPECT_EQ(save ? dialogs.RunSaveDialog() : dialogs.RunOpenDialog(), QString());
    return seen;
}

TEST(QeldFileDialogs, TheEveryFileEntryListsNamesWithoutAFullStopToo) {
    QTemporaryDir dir;
    for (const char* name : {"device.xml", "notes.txt", "README"}) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    TQtQeldFileDialogs dialogs(nullptr);
    dialogs.SetInitialDir(dir.path());
    for (const bool save : {false, true})
        EXPECT_EQ(
            EntriesAndFiles(dialogs, save, dir.path()),
            (QStringList{"XMLки (*.xml): device.xml", "Всё (*.*): README device.xml notes.txt"}))
            << (save ? "save" : "open");
}

TEST_F(MainWindow, ViewStyleEntriesFollowEachOther) {
    const auto form = MakeForm();
    form->PMI_ViewTab->trigger();
    EXPECT_TRUE(form->MI_ViewTab->isChecked());
    EXPECT_FALSE(form->MI_ViewIcon->isChecked());
    EXPECT_TRUE(form->PMI_ViewTab->isChecked());
    form->SetProjectUI();
    form->MI_ViewIcon->trigger();
    EXPECT_TRUE(form->PMI_ViewIcon->isChecked());
    EXPECT_FALSE(form->PMI_ViewTab->isChecked());
    EXPECT_TRUE(form->MI_ViewIcon->isChecked());
}

TEST_F(MainWindow, SettingsAreReadAtCreationAndWrittenAtTheEnd) {
    Store("Width", "700");
    Store("Height", "480");
    Store("Left", "12");
    Store("Top", "34");
    Store("WinState", "0");
    Store("Port", "3");
    Store("PortSpeed", "115200");
    Store("TimeOut", "250");
    Store("ScanRate", "500");
    auto form = MakeForm();
    EXPECT_EQ(form->size(), QSize(700, 480));
    EXPECT_EQ(form->pos(), QPoint(12, 34));
    EXPECT_EQ(form->LinkValues(), (TLinkValues{3, 115200, 500, 250}));

    form->SetLinkValues({7, 19200, 2000, 50});
    form->resize(640, 420);
    form->move(40, 50);
    store.Values.clear();
    form.reset();
    EXPECT_EQ(Stored("Width"), "640");
    EXPECT_EQ(Stored("Height"), "420");
    EXPECT_EQ(Stored("Left"), "40");
    EXPECT_EQ(Stored("Top"), "50");
    EXPECT_EQ(Stored("WinState"), "0");
    EXPECT_EQ(Stored("Port"), "7");
    EXPECT_EQ(Stored("PortSpeed"), "19200");
    EXPECT_EQ(Stored("TimeOut"), "50");
    EXPECT_EQ(Stored("ScanRate"), "2000");

    // Written as it was read.
    form = MakeForm();
    EXPECT_EQ(form->size(), QSize(640, 420));
    EXPECT_EQ(form->LinkValues(), (TLinkValues{7, 19200, 2000, 50}));
}

TEST_F(MainWindow, AValueThatIsNoNumberGivesItsDefaultAndTheOthersAreRead) {
    Store("Width", "abc");
    Store("Height", "450");
    Store("Port", "x5");
    Store("ScanRate", "$64");
    Store("WinState", "7"); // never written so: a normal window
    const auto form = MakeForm();
    EXPECT_EQ(form->size(), QSize(600, 450));
    EXPECT_EQ(form->Port(), 5);
    EXPECT_EQ(form->ScanRate(), 100);
    EXPECT_EQ(form->windowState(), Qt::WindowNoState);
}

TEST_F(MainWindow, AMaximizedWindowKeepsTheStoredGeometry) {
    Store("Width", "640");
    Store("Height", "420");
    Store("WinState", "2");
    auto form = MakeForm();
    EXPECT_TRUE(form->windowState() & Qt::WindowMaximized);
    EXPECT_EQ(form->normalGeometry().size(), QSize(640, 420));
    store.Values.clear();
    form.reset();
    EXPECT_EQ(Stored("WinState"), "2");
    EXPECT_EQ(Stored("Port"), "1");
    for (const char* name : {"Width", "Height", "Left", "Top"})
        EXPECT_FALSE(store.Values.contains({kSection, name})) << name;
}

TEST_F(MainWindow, TemporaryFolderLivesAsLongAsTheWindow) {
    const QString temp = QDir(dir.path()).filePath("Temp");
    QDir().mkpath(temp);
    QFile old(temp + "/old.txt");
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.close();
    auto form = MakeForm();
    EXPECT_EQ(form->TempDir(), QDir::toNativeSeparators(temp));
    EXPECT_TRUE(QFile::exists(temp + "/old.txt")) << "an existing folder is reused";
    QFile card(temp + "/LOG.TXT");
    ASSERT_TRUE(card.open(QIODevice::WriteOnly));
    card.write("x");
    card.close();
    form.reset();
    EXPECT_FALSE(QFileInfo::exists(temp));

    form = MakeForm();
    EXPECT_TRUE(QFileInfo(temp).isDir());
}

TEST_F(MainWindow, ProgressPanelIsCentredShownAndCancelled) {
    const auto form = MakeForm();
    form->resize(777, 501);
    form->show();
    form->ClearCancel();
    form->SetProgressRange(0, 9);
    form->SetPathText("/tmp/Temp/LOG.TXT");
    form->SetSizeText("Скачено: 0 байт.");
    form->ShowPanel();
    const QRect outer = form->frameGeometry();
    EXPECT_TRUE(form->ProgressPanel->isVisible());
    EXPECT_TRUE(form->Downloading());
    EXPECT_EQ(form->ProgressPanel->width(), 300);
    EXPECT_EQ(form->LoadProgressBar->width(), 280);
    EXPECT_EQ(form->ProgressPanel->height(), 113);
    EXPECT_EQ(form->ProgressPanel->pos(),
              QPoint(outer.width() / 2 - 150, outer.height() / 2 - 113 / 2));
    EXPECT_EQ(form->CancelLoadButton->x(), 150 - 75 / 2);
    EXPECT_EQ(form->ProgresLabel->text(), "/tmp/Temp/LOG.TXT");
    EXPECT_EQ(form->LoadProgressBar->maximum(), 9);
    EXPECT_EQ(form->LoadProgressBar->value(), 0);
    EXPECT_FALSE(form->CancelRequested());
    form->SetProgressPosition(3);
    EXPECT_EQ(form->LoadProgressBar->value(), 3);
    form->CancelLoadButton->click();
    EXPECT_TRUE(form->CancelRequested());
    EXPECT_TRUE(form->CancelLoad);
    form->HidePanel();
    EXPECT_FALSE(form->ProgressPanel->isVisible());
    EXPECT_FALSE(form->Downloading());
    // A new download starts uncancelled.
    form->ClearCancel();
    EXPECT_FALSE(form->CancelRequested());
}

TEST_F(MainWindow, AWidePathWidensThePanel) {
    const auto form = MakeForm();
    const QString path = "/" + QString(200, 'W') + "/LOG.TXT";
    const int width = form->fontMetrics().horizontalAdvance(path);
    ASSERT_GT(width, 300);
    form->SetPathText(path);
    form->ShowPanel();
    EXPECT_EQ(form->ProgressPanel->width(), width + 20);
    EXPECT_EQ(form->LoadProgressBar->width(), width);
    form->HidePanel();
}

TEST_F(MainWindow, ClosingDuringADownloadCancelsItAndClosesOnceItEnded) {
    const auto form = MakeForm();
    form->show();
    form->ClearCancel();
    form->ShowPanel();
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->CancelRequested());
    EXPECT_TRUE(form->ClosePending());
    form->HidePanel();
    EXPECT_TRUE(form->isVisible()) << "not from inside the download";
    QCoreApplication::processEvents();
    EXPECT_FALSE(form->isVisible());
}

TEST_F(MainWindow, ExitAndCloseBoxEndTheWindow) {
    const auto form = MakeForm();
    form->show();
    form->MI_FileExit->trigger();
    EXPECT_FALSE(form->isVisible());
}

} // namespace
