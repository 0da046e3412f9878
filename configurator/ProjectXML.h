#pragma once
// The open project: the parsed project file, the packets, registers, channels and view
// tree built from it, the write queue, the list and detail panel that show it, and the
// polling master that talks to the instrument.
//
// The file: Device (Name, Version, ReportID, NetAddr) with Packet, Chanal and Screen
// children in any order; Screen (Width1, Width2, Style, dll) holds the root VItems. A
// save writes back only the register values, the folders' styles, NetAddr, Width1,
// Width2 and Style; everything else of the document stays as it was read.
//
// The browser shows one level of the view tree at a time (or, in card mode, a folder of
// the instrument's memory card), flags the shown channels' registers for polling, hands
// the selection to the detail panel, opens folders, the card item, card folders and card
// files, goes back, turns typed values into queued writes, and starts and stops the link.
//
// Window thread only. The port thread reads the packets, the registers and the write
// queue while the link runs; the destructor stops it before it frees any of them.
#include "Chanal.h"
#include "ConProcess.h"
#include "DataMaster.h"
#include "Packets.h"
#include "RegistersMB.h"
#include "VItem.h"
#include "WriteQueue.h"
#include "XmlDocument.h"

#include <QPointer>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

class QWidget;
class TBoxHandOver;
class TCardProgress;
class TPanelDetal;
class TProjectListView;
class TRetryPrompt;
class TWaitHook;

// What the project needs of the main window. Window thread only.
class TProjectHost {
public:
    virtual ~TProjectHost() = default;

    // The parents of the list (MainPanel) and of the detail panel (ServisePanel).
    virtual QWidget* MainPanel() = 0;
    virtual QWidget* ServisePanel() = 0;
    // Panel 0 of the status bar: the project's name, "Нет устройства" once it is gone.
    virtual void SetDevicePanelText(const QString& text) = 0;
    // BackToolButton and MI_ViewBack.
    virtual void EnableBack() = 0;
    virtual void DisableBack() = 0;
    // The folder downloaded card files go to.
    virtual QString TempDir() const = 0;
    // A card file's download to path begins, and has ended, written or not: the window
    // knows the files that its own downloads wrote in a folder that it may share.
    virtual void DownloadStarts(const QString& /*path*/) {}
    virtual void DownloadEnded(const QString& /*path*/) {}
    // QeldCoolBar and the menus MI_File, MI_Conect, MI_View and MI_Help, all at once;
    // off while a card file downloads (the progress panel's Cancel stays usable).
    virtual void SetCommandsEnabled(bool enabled) = 0;

    // What the polling master talks to: the main window's link settings and connected
    // states, the connection-progress dialog, and the hand-over of the port thread's
    // message boxes (nullptr: none). All must outlive the project.
    virtual TMainWindowLink& MainWindowLink() = 0;
    virtual TConnectProcessLink& ConnectProcessLink() = 0;
    virtual TBoxHandOver* BoxHandOver() = 0;
    // What the window does while the link waits for its port thread (nullptr: nothing);
    // must outlive the project.
    virtual TWaitHook* WaitHook() { return nullptr; }
    // What the card reader talks to: the busy cursor and the download's progress panel
    // with its cancel flag, and the exchange-error dialog (nullptr: none).
    virtual TCardProgress* CardProgress() = 0;
    virtual TRetryPrompt* RetryPrompt() = 0;

    // Opens a downloaded file with the desktop's program for its type; the program binds
    // OpenWithDesktop, tests record the call.
    virtual void OpenDocument(const QString& path) = 0;
};

// The desktop's default action on a local file (QDesktopServices); false when none ran.
bool OpenWithDesktop(const QString& path);

// How the polling master is built; tests give a virtual clock and fake serial lines.
struct TProjectLinkParts {
    platform::Clock* Clock = nullptr;     // the port thread's; nullptr: the system clock
    TPortThread::TLineFactory MakeLine;   // empty: the system's serial devices
    platform::Clock* CardClock = nullptr; // the card reader's pauses; nullptr: Clock
};

// The connection-progress dialog reaches it as its TConnectProject.
class TXMLProject : public TConnectProject {
public:
    // The texts the project shows.
    static const QString LoadFailedText; // "Не получилось загрузать файл, возможно фаил поврежден!"
    static const QString NoDeviceText; // "Не найдено описание проекта, возможно фаил поврежден!"
    static const QString BadAddressText; // "Ошибка в извлечении сетевого адреса. Адрес будет 210!"
    static const QString CaptionText; // "Внимание"
    static const QString WriteFailedText; // "Неудалось записать фаил" (the path follows)
    static const QString WriteFailedCaption; // "Ошибка."
    static const QString NoProjectText;      // "Нет устройства"
    static const QString FolderText;         // "<Папка>"

    // Create: empty lists, address 210, the list in the host's MainPanel (columns "Имя"
    // 200 and "Значение" 100), the detail panel in its ServisePanel, the polling master.
    explicit TXMLProject(TProjectHost& host, TProjectLinkParts parts = {});
    // Destroy: stops the polling master (the port thread has ended when that returns),
    // then frees registers, packets, writes, channels and items, the list and the detail
    // panel, and shows "Нет устройства" in the status bar. The icon library stays loaded.
    ~TXMLProject() override;
    TXMLProject(const TXMLProject&) = delete;
    TXMLProject& operator=(const TXMLProject&) = delete;

    // --- The file ---

    // Loads the project file and shows its root level. False, after a message box, when
    // the file cannot be read or parsed, holds no Device, or holds something the project
    // cannot be built from (a packet without registers, a column width, Case Value or
    // Icon that is not an integer): the project is then empty again, and the caller
    // destroys it.
    bool LoadFromFile(const QString& path);
    // The steps of the load; false (with *error saying what failed) when the element
    // cannot be taken. `registers` indexes Registers once every packet is loaded.
    bool LoadPacket(const platform::XmlElement& node, QString* error = nullptr);
    bool LoadChanal(const platform::XmlElement& node, const TIdIndex<TRegisterMB>& registers,
                    QString* error = nullptr);
    bool LoadScreen(const platform::XmlElement& node, QString* error = nullptr);

    // Writes the register values, the folders' styles, NetAddr, Width1, Width2 and Style
    // into the document and the document into FileName, replacing the file only once all
    // of it is written. False after "Неудалось записать фаил" + path (caption "Ошибка.");
    // the old file is then as it was.
    bool Save();
    // Saves under path, with ".xml" added when its last component has no "."; asks before
    // replacing a file that only the added ".xml" names. FileName becomes the new name
    // only when that save succeeded. False when refused or not written.
    bool SaveAs(const QString& path);
    // The name SaveAs writes for path.
    static QString SaveAsName(const QString& path);
    // The question SaveAs asks before it replaces the file at path.
    static QString ReplaceQuestion(const QString& path);

    // --- The browser ---

    // Shows the current level (or card folder), rewriting only the value texts that
    // changed; flags the shown channels' registers for polling.
    void RefreshView() override;
    void ActivateVisibleRegisters();
    void DeactivateVisibleRegisters();
    // Hands the selected item (or a card entry) to the detail panel.
    void ShowSelectedDetail();
    // Opens the selected folder, card item, card folder or card file.
    void OpenSelected();
    // One level up; above the card's root folder it leaves card mode.
    void GoBack();
    // The card view's order: 1 when the first entry comes after the second (folders
    // before files, each group by the bytes of its caption), else 0.
    static int32_t CompareCardEntries(const TCardEntry& first, const TCardEntry& second);
    // "1 234 567 ": each group of three digits, the last too, followed by a blank.
    static QString FormatSize(uint32_t size);
    // The detail panel's "Записать!": the channel's writer for its format; a write is
    // stamped with Address and queued, a refused input gets the focus back.
    void WriteValue();
    // 0 icons, 1 table, for the shown level (the root, a folder, or the card view).
    void SetViewStyle(uint8_t style);
    // Starts the polling master with Address, DeviceId, the packets and the write queue.
    void Connect();
    // Stops it; a shown card view is left for the level that holds the card item.
    void Disconnect() override;
    // Ends the polling master's port thread for good, the window served meanwhile: the
    // main window's first step in freeing the project, taken while the project is whole.
    void EndLink() { DataMaster->EndLink(); }
    // The list's font by 2 points, within 8 to 28.
    void ZoomIn();
    void ZoomOut();
    // The commands and the list, off around a card file download.
    void DisableUI();
    void EnableUI();

    // The list shows card entries.
    bool InCardView() const { return cardView_; }
    // A card file download runs (its progress panel is up); the main window must not
    // destroy the project meanwhile, only ask for Cancel.
    bool Downloading() const { return downloading_; }
    // The card view's own copies of the entries, in shown order.
    const std::vector<TCardEntry>& CardEntries() const { return cardEntries_; }
    // The view item shown in a row of a view level; nullptr in the card view.
    TVItem* ShownItem(int row) const;

    // --- Fields ---

    std::vector<std::unique_ptr<TRegisterMB>> Registers; // every register, document order
    std::vector<std::unique_ptr<TPacket>> Packets;       // lent to the master at Connect
    TWriteQueue Writes;                                  // lent to the master at Connect
    std::vector<std::unique_ptr<TChanal>> Chanals;
    std::vector<std::unique_ptr<TVItem>> Items; // the root items (VItems of Screen)
    platform::XmlDocument Document;
    QString ProjectName;    // Device Name
    QString ProjectVersion; // Device Version; not used, not written
    uint8_t Address = 210;  // Device NetAddr; the link-settings dialog may change it
    uint16_t RegisterCounter = 1;
    QPointer<TProjectListView> ListView;
    uint8_t ViewStyle = 0; // of the root level: 0 icons, 1 table
    QPointer<TPanelDetal> Detail;
    std::vector<TVItem*> NavStack; // folders entered, and the card item on top in card mode
    QString FileName;
    std::unique_ptr<TDataMaster> DataMaster;
    QString DeviceId; // Device ReportID
    platform::XmlElement ScreenNode;

private:
    bool Fail(const QString& detail);
    void FreeLoaded();
    void RefreshCardView();
    void RefreshLevel();
    void OpenCardEntry(const TCardEntry& entry);
    void DownloadAndOpen(const TCardEntry& entry);
    void OpenItem(TVItem& item);
    void EnterCard(TVItem& card);
    void LeaveCardMode();
    void PopLevel();
    TVItem* CardItem() const;
    void ForShownItems(void (TVItem::*action)());
    bool MasterInCard() const;

    TProjectHost& host_;
    std::vector<TVItem*> shownItems_;     // row -> view item, at a view level
    bool enteringCard_ = false;           // inside EnterCardMode: no refresh meanwhile
    std::vector<TCardEntry> cardEntries_; // row -> entry, in the card view
    std::unique_ptr<TVItem> detailItem_;  // the card entry the detail panel shows
    bool cardView_ = false;
    bool downloading_ = false;
};
