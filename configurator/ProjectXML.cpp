#include "ProjectXML.h"

#include "IconLibrary.h"
#include "MessageBox.h"
#include "NumberText.h"
#include "PanelDetal.h"
#include "ProjectListView.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

const QString TXMLProject::LoadFailedText =
    QStringLiteral("Не получилось загрузать файл, возможно фаил поврежден!");
const QString TXMLProject::NoDeviceText =
    QStringLiteral("Не найдено описание проекта, возможно фаил поврежден!");
const QString TXMLProject::BadAddressText =
    QStringLiteral("Ошибка в извлечении сетевого адреса. Адрес будет 210!");
const QString TXMLProject::CaptionText = QStringLiteral("Внимание");
const QString TXMLProject::WriteFailedText = QStringLiteral("Неудалось записать фаил");
const QString TXMLProject::WriteFailedCaption = QStringLiteral("Ошибка.");
const QString TXMLProject::NoProjectText = QStringLiteral("Нет устройства");
const QString TXMLProject::FolderText = QStringLiteral("<Папка>");

namespace {

// The break between a message and what it adds, as the system writes it: line feed,
// carriage return.
const QString kBreak = QStringLiteral("\n\r");

void Attention(const QString& text) {
    platform::MessageBox(text, TXMLProject::CaptionText);
}

// Calls take(element) for each child element with this local name, in document order,
// until one returns false.
bool ForEachChild(const platform::XmlElement& parent, const QString& localName,
                  const std::function<bool(const platform::XmlElement&)>& take) {
    const platform::XmlNodeList nodes = parent.ChildNodes();
    for (int i = 0; i < nodes.Count(); ++i) {
        const platform::XmlNode node = nodes.Item(i);
        if (node.IsElement() && node.LocalName() == localName && !take(node.ToElement()))
            return false;
    }
    return true;
}

// The caption bytes of a card entry: the name, and for a file "." and the extension,
// all as stored on the card.
QByteArray CaptionBytes(const TCardEntry& entry) {
    return entry.Kind == ckDir ? entry.Name : entry.Name + '.' + entry.Ext;
}

// Lays the widget over the whole of its parent, through the parent's layout (made when
// the parent has none yet).
void FillParent(QWidget* widget) {
    QWidget* parent = widget->parentWidget();
    if (!parent)
        return;
    QLayout* layout = parent->layout();
    if (!layout) {
        layout = new QVBoxLayout(parent);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
    }
    layout->addWidget(widget);
}

} // namespace

bool OpenWithDesktop(const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

// ---- Create and Destroy -----------------------------------------------------------------

TXMLProject::TXMLProject(TProjectHost& host, TProjectLinkParts parts) : host_(host) {
    ListView = new TProjectListView(host.MainPanel());
    FillParent(ListView);
    QObject::connect(ListView, &TProjectListView::SelectionTouched, ListView,
                     [this] { ShowSelectedDetail(); });
    QObject::connect(ListView, &TProjectListView::RowActivated, ListView,
                     [this] { OpenSelected(); });

    Detail = new TPanelDetal(host.ServisePanel());
    FillParent(Detail);
    Detail->OnWrite = [this](QObject*) { WriteValue(); };

    platform::Clock& clock = parts.Clock ? *parts.Clock : platform::SystemClock();
    DataMaster = std::make_unique<TDataMaster>(host.MainWindowLink(), host.ConnectProcessLink(),
                                               clock, parts.MakeLine);
    if (TBoxHandOver* boxes = host.BoxHandOver())
        DataMaster->SetBoxHandOver(boxes);
    DataMaster->SetWaitHook(host.WaitHook());
    DataMaster->MMC().SetClock(parts.CardClock ? *parts.CardClock : clock);
    DataMaster->MMC().Prompt = host.RetryPrompt();
    DataMaster->MMC().Progress = host.CardProgress();
}

TXMLProject::~TXMLProject() {
    // The port thread reads packets, registers and writes until the master has gone.
    DataMaster.reset();
    if (Detail)
        Detail->Item = nullptr;
    FreeLoaded();
    if (ListView) {
        QObject::disconnect(ListView, nullptr, nullptr, nullptr);
        delete ListView.data();
    }
    delete Detail.data();
    detailItem_.reset();
    host_.SetDevicePanelText(NoProjectText);
}

void TXMLProject::FreeLoaded() {
    NavStack.clear();
    shownItems_.clear();
    cardEntries_.clear();
    cardView_ = false;
    Registers.clear();
    Packets.clear();
    Writes.Clear();
    Chanals.clear();
    Items.clear();
    ScreenNode = {};
}

// ---- Load -------------------------------------------------------------------------------

bool TXMLProject::Fail(const QString& detail) {
    // Nothing half-built stays: the caller gets an empty project to destroy.
    if (Detail) {
        Detail->Item = nullptr;
        Detail->ShowItem();
    }
    FreeLoaded();
    if (ListView)
        ListView->Clear();
    Attention(LoadFailedText + kBreak + detail);
    return false;
}

bool TXMLProject::LoadFromFile(const QString& path) {
    FileName = path;
    Document = platform::XmlDocument();
    const platform::XmlStatus status = Document.Load(path);
    if (!status.Ok()) {
        Attention(status.OwnError() ? LoadFailedText + kBreak + status.message : LoadFailedText);
        return false;
    }
    platform::XmlElement device = Document.DocumentElement();
    if (device.LocalName() != QLatin1String("Device")) {
        Attention(NoDeviceText);
        return false;
    }
    if (const auto name = device.Attribute(QStringLiteral("Name")))
        ProjectName = *name;
    if (const auto version = device.Attribute(QStringLiteral("Version")))
        ProjectVersion = *version;
    if (const auto id = device.Attribute(QStringLiteral("ReportID")))
        DeviceId = *id;
    if (const auto text = device.Attribute(QStringLiteral("NetAddr"))) {
        if (const auto value = platform::AttributeToInt(*text)) {
            Address = static_cast<uint8_t>(*value & 0xFF);
        } else {
            Attention(BadAddressText);
            Address = 210;
        }
    }
    RegisterCounter = 1;

    QString error;
    // Every packet first, so that a channel finds its registers wherever it stands.
    if (!ForEachChild(device, QStringLiteral("Packet"),
                      [&](const platform::XmlElement& e) { return LoadPacket(e, &error); }))
        return Fail(error);
    const TIdIndex<TRegisterMB> registers(Registers);
    if (!ForEachChild(device, QStringLiteral("Chanal"), [&](const platform::XmlElement& e) {
            return LoadChanal(e, registers, &error);
        }))
        return Fail(error);
    if (!LoadScreen(device.ChildElement(QStringLiteral("Screen")), &error))
        return Fail(error);

    RefreshView();
    host_.SetDevicePanelText(ProjectName);
    return true;
}

bool TXMLProject::LoadPacket(const platform::XmlElement& node, QString* error) {
    auto packet = std::make_unique<TPacket>();
    packet->LoadFromNode(node);
    packet->SetAddress(Address);
    TPacket& p = *packet;
    Packets.push_back(std::move(packet));
    ForEachChild(node, QStringLiteral("Register"), [&](const platform::XmlElement& e) {
        auto reg = std::make_unique<TRegisterMB>();
        reg->LoadFromNode(e, RegisterCounter);
        p.AddRegister(reg.get());
        Registers.push_back(std::move(reg));
        return true;
    });
    // A packet without a range cannot be polled.
    const TRangeCheck check = p.ComputeRange();
    if (check != TRangeCheck::Ok) {
        if (error)
            *error = RangeCheckText(check, p.ID);
        return false;
    }
    return true;
}

bool TXMLProject::LoadChanal(const platform::XmlElement& node,
                             const TIdIndex<TRegisterMB>& registers, QString* error) {
    auto chanal = std::make_unique<TChanal>();
    const bool ok = chanal->LoadFromNode(node, registers, error);
    Chanals.push_back(std::move(chanal));
    return ok;
}

bool TXMLProject::LoadScreen(const platform::XmlElement& node, QString* error) {
    ScreenNode = node;
    for (int column = 0; column < 2; ++column) {
        const QString name = column == 0 ? QStringLiteral("Width1") : QStringLiteral("Width2");
        const auto text = node.Attribute(name);
        if (!text)
            continue;
        const auto width = platform::AttributeToInt(*text);
        if (!width) {
            if (error)
                *error = QStringLiteral("Ошибка в описании экрана: ширина столбца %1 \"%2\" "
                                        "не является целым числом!")
                             .arg(name, *text);
            return false;
        }
        ListView->SetColumnWidth(column, std::max(0, *width));
    }
    ViewStyle =
        node.Attribute(QStringLiteral("Style")).value_or(QString()) == QLatin1String("Tab") ? 1 : 0;

    if (const auto dll = node.Attribute(QStringLiteral("dll"))) {
        const QString path = configurator::IconLibraryPath(FileName, *dll);
        const configurator::TIconLists lists = configurator::LoadIconLibrary(path);
        if (lists.Big)
            ListView->SetLargeImages(*lists.Big);
        if (lists.Small)
            ListView->SetSmallImages(*lists.Small);
        // The project is usable without images; the user learns that some are missing,
        // in the program's own words: the loader's reasons are not for the user.
        if (!lists.Problems.isEmpty())
            Attention(QStringLiteral("Не все значки получены из библиотеки ") + path);
    }

    const TIdIndex<TChanal> chanals(Chanals);
    return ForEachChild(node, QStringLiteral("VItem"), [&](const platform::XmlElement& e) {
        auto item = std::make_unique<TVItem>();
        const bool ok = item->LoadFromNode(e, chanals, error);
        Items.push_back(std::move(item));
        return ok;
    });
}

// ---- Save -------------------------------------------------------------------------------

bool TXMLProject::Save() {
    for (const auto& reg : Registers)
        reg->SaveToNode();
    for (const auto& item : Items)
        item->SaveToNode();
    Document.DocumentElement().SetAttribute(QStringLiteral("NetAddr"), QString::number(Address));
    ScreenNode.SetAttribute(QStringLiteral("Width1"), QString::number(ListView->ColumnWidth(0)));
    ScreenNode.SetAttribute(QStringLiteral("Width2"), QString::number(ListView->ColumnWidth(1)));
    ScreenNode.SetAttribute(QStringLiteral("Style"),
                            ViewStyle == 1 ? QStringLiteral("Tab") : QStringLiteral("Icon"));
    // The layer writes beside the file and replaces it only once every byte is out.
    if (!Document.Save(FileName).Ok()) {
        platform::MessageBox(WriteFailedText + FileName, WriteFailedCaption,
                             platform::MsgButtons::Ok, platform::MsgIcon::Information);
        return false;
    }
    return true;
}

QString TXMLProject::SaveAsName(const QString& path) {
    const qsizetype slash =
        std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QDir::separator()));
    return path.indexOf(QLatin1Char('.'), slash + 1) < 0 ? path + QStringLiteral(".xml") : path;
}

QString TXMLProject::ReplaceQuestion(const QString& path) {
    return QStringLiteral("Фаил ") + path + QStringLiteral(" уже существует. Заменить его?");
}

bool TXMLProject::SaveAs(const QString& path) {
    const QString name = SaveAsName(path);
    // The dialog asked about the name the user typed, not about the one with ".xml".
    if (name != path && QFileInfo::exists(name) &&
        platform::MessageBox(ReplaceQuestion(name), CaptionText, platform::MsgButtons::YesNo,
                             platform::MsgIcon::Question) != platform::MsgResult::Yes)
        return false;
    const QString old = FileName;
    FileName = name;
    if (!Save()) {
        FileName = old;
        return false;
    }
    return true;
}

// ---- The shown level --------------------------------------------------------------------

TVItem* TXMLProject::CardItem() const {
    return !NavStack.empty() && NavStack.back()->Kind == vkMMC ? NavStack.back() : nullptr;
}

bool TXMLProject::MasterInCard() const {
    return DataMaster->State() == dmsCard;
}

TVItem* TXMLProject::ShownItem(int row) const {
    if (cardView_ || row < 0 || row >= static_cast<int>(shownItems_.size()))
        return nullptr;
    return shownItems_[row];
}

void TXMLProject::RefreshView() {
    // The window is served while the card is entered, and a poll cycle's refresh would
    // draw a card that is not mounted yet over the level and its selection.
    if (enteringCard_)
        return;
    if (CardItem() && MasterInCard()) {
        RefreshCardView();
        return;
    }
    // The link was stopped under the card view: its level is gone with card mode.
    if (CardItem())
        PopLevel();
    RefreshLevel();
}

void TXMLProject::RefreshCardView() {
    const TVItem& card = *CardItem();
    // Copies: the reader frees its records at its next listing, which can run while
    // these rows are still shown.
    cardEntries_ = DataMaster->MMC().Entries;
    std::stable_sort(
        cardEntries_.begin(), cardEntries_.end(),
        [](const TCardEntry& a, const TCardEntry& b) { return CompareCardEntries(b, a) == 1; });
    shownItems_.clear();
    cardView_ = true;

    ListView->Clear();
    ListView->SetColumnCaptions(QStringLiteral("Имя"), QStringLiteral("Размер"));
    for (const TCardEntry& entry : cardEntries_) {
        ListView->AppendRow();
        const int row = ListView->Count() - 1;
        ListView->SetCaption(row, CardNameText(CaptionBytes(entry)));
        if (entry.Kind == ckDir) {
            ListView->SetIconIndex(row, card.FindIcon(QStringLiteral("DIR")));
            ListView->SetSubItem(row, FolderText);
        } else {
            int32_t icon = card.FindIcon(QLatin1Char('.') + CardNameText(entry.Ext));
            if (icon == -1)
                icon = card.FindIcon(QStringLiteral("."));
            ListView->SetIconIndex(row, icon);
            ListView->SetSubItem(row, FormatSize(entry.Size));
        }
    }
    ListView->SetViewStyle(card.Style);
}

void TXMLProject::RefreshLevel() {
    ActivateVisibleRegisters();
    ListView->SetColumnCaptions(QStringLiteral("Имя"), QStringLiteral("Значение"));
    const std::vector<std::unique_ptr<TVItem>>* level = &Items;
    uint8_t style = ViewStyle;
    if (NavStack.empty()) {
        host_.DisableBack();
    } else {
        host_.EnableBack();
        level = &NavStack.back()->Children;
        style = NavStack.back()->Style;
    }
    cardView_ = false;
    cardEntries_.clear();
    shownItems_.clear();
    for (const auto& item : *level)
        shownItems_.push_back(item.get());

    // Rows are reused and only what changed is written, so an unchanged list stays still.
    const int count = static_cast<int>(shownItems_.size());
    for (int row = 0; row < count; ++row) {
        const TVItem& item = *shownItems_[row];
        if (row >= ListView->Count())
            ListView->AppendRow();
        ListView->SetCaption(row, item.GetCaption());
        ListView->SetIconIndex(row, item.Icon);
        ListView->SetSubItem(row, item.GetValueText());
    }
    ListView->SetViewStyle(style);
    if (ListView->Count() > count) {
        ListView->setUpdatesEnabled(false);
        while (ListView->Count() > count)
            ListView->RemoveLastRow();
        ListView->setUpdatesEnabled(true);
    }
}

void TXMLProject::ActivateVisibleRegisters() {
    ForShownItems(&TVItem::Watch);
}

void TXMLProject::DeactivateVisibleRegisters() {
    ForShownItems(&TVItem::Unwatch);
}

// The items of the shown level; none in card mode.
void TXMLProject::ForShownItems(void (TVItem::*action)()) {
    if (CardItem())
        return;
    for (const auto& item : NavStack.empty() ? Items : NavStack.back()->Children)
        (item.get()->*action)();
}

void TXMLProject::ShowSelectedDetail() {
    const int row = ListView->SelectedRow();
    std::unique_ptr<TVItem> made;
    TVItem* item = nullptr;
    if (row >= 0 && cardView_) {
        if (row < static_cast<int>(cardEntries_.size())) {
            const TCardEntry& entry = cardEntries_[row];
            made = std::make_unique<TVItem>();
            made->Kind = entry.Kind == ckDir ? vkCardDir : vkCardFile;
            made->Name = CardNameText(CaptionBytes(entry));
            item = made.get();
        }
    } else if (row >= 0) {
        item = ShownItem(row);
    }
    Detail->Item = item;
    Detail->ShowItem();
    // The entry shown before is freed only now that the panel no longer points to it.
    detailItem_ = std::move(made);
}

// ---- Navigation -------------------------------------------------------------------------

void TXMLProject::PopLevel() {
    if (CardItem()) {
        cardView_ = false;
        cardEntries_.clear();
    }
    NavStack.pop_back();
    if (NavStack.empty())
        host_.DisableBack();
}

void TXMLProject::LeaveCardMode() {
    if (MasterInCard())
        DataMaster->LeaveCardMode();
    PopLevel();
}

void TXMLProject::OpenSelected() {
    const int row = ListView->SelectedRow();
    if (row < 0)
        return;
    if (cardView_) {
        if (!CardItem() || !MasterInCard()) {
            // Card mode ended under the view (the link was stopped).
            RefreshView();
            return;
        }
        if (row < static_cast<int>(cardEntries_.size()))
            OpenCardEntry(TCardEntry(cardEntries_[row]));
        return;
    }
    if (TVItem* item = ShownItem(row))
        OpenItem(*item);
}

void TXMLProject::OpenItem(TVItem& item) {
    switch (item.Kind) {
    case vkFolder:
        // The level left keeps its registers flagged: they stay polled meanwhile.
        NavStack.push_back(&item);
        host_.EnableBack();
        RefreshView();
        ListView->ClearSelection();
        ShowSelectedDetail();
        break;
    case vkMMC:
        if (DataMaster->State() == dmsPoll)
            EnterCard(item);
        break;
    default:
        break;
    }
}

void TXMLProject::EnterCard(TVItem& card) {
    NavStack.push_back(&card);
    host_.EnableBack();
    enteringCard_ = true;
    const bool entered = DataMaster->EnterCardMode();
    enteringCard_ = false;
    if (entered) {
        RefreshView();
        ListView->ClearSelection();
        ShowSelectedDetail();
        return;
    }
    LeaveCardMode();
    // Only the list steps back; the detail panel keeps what it showed.
    const QSignalBlocker keepDetail(ListView);
    RefreshView();
    ListView->ClearSelection();
}

void TXMLProject::OpenCardEntry(const TCardEntry& entry) {
    if (entry.Kind == ckDir) {
        // A failed listing shows what the reader listed; Back steps up again.
        DataMaster->MMC().DirEnter(entry.FirstCluster);
        RefreshView();
        ListView->ClearSelection();
        ShowSelectedDetail();
        return;
    }
    DownloadAndOpen(entry);
}

void TXMLProject::DownloadAndOpen(const TCardEntry& entry) {
    // The card's name bytes never leave the temporary folder.
    const QString path =
        QDir::toNativeSeparators(QDir(host_.TempDir()).filePath(CardLocalFileName(entry)));
    DisableUI();
    downloading_ = true;
    host_.DownloadStarts(path);
    bool written = false;
    bool aborted = false;
    try {
        written = DataMaster->MMC().DownloadFile(entry, path);
    } catch (const EMainException&) {
        // A failed read: the reader has written what it had and shown the dialog; the
        // abort ends here, before Qt's event loop.
        aborted = true;
    }
    downloading_ = false;
    host_.DownloadEnded(path);
    EnableUI();
    // A failed write may leave an older file of that name: never open it.
    if (!aborted && written)
        host_.OpenDocument(path);
}

void TXMLProject::GoBack() {
    DeactivateVisibleRegisters();
    if (NavStack.empty()) {
        host_.DisableBack();
    } else if (CardItem()) {
        TMMC& mmc = DataMaster->MMC();
        if (!MasterInCard() || mmc.CurDir == 0 || !mmc.DirUp())
            LeaveCardMode();
    } else {
        PopLevel();
    }
    RefreshView();
    ListView->ClearSelection();
    ShowSelectedDetail();
}

int32_t TXMLProject::CompareCardEntries(const TCardEntry& first, const TCardEntry& second) {
    if (first.Kind != second.Kind)
        return second.Kind >= first.Kind ? 1 : 0;
    return CaptionBytes(first) > CaptionBytes(second) ? 1 : 0;
}

QString TXMLProject::FormatSize(uint32_t size) {
    QString digits = QString::number(size);
    QString result;
    while (digits.size() > 3) {
        result = digits.right(3) + QLatin1Char(' ') + result;
        digits.chop(3);
    }
    return digits + QLatin1Char(' ') + result;
}

// ---- Commands ---------------------------------------------------------------------------

void TXMLProject::WriteValue() {
    TVItem* item = Detail->Item;
    TChanal* chanal = item && item->Kind == vkChanal ? item->Chanal : nullptr;
    if (chanal) {
        std::unique_ptr<TWRPacket> packet;
        QWidget* input = Detail->ValueEdit;
        bool tried = true;
        bool ok = false;
        switch (chanal->GetFormat()) {
        case cfWord:
            ok = chanal->WriteWord(Detail->ValueEdit->text(), packet);
            break;
        case cfReal:
            ok = chanal->WriteReal(Detail->ValueEdit->text(), packet);
            break;
        case cfStr:
            input = Detail->ValueComboBox;
            ok = chanal->WriteListIndex(Detail->ValueComboBox->currentIndex(), packet);
            break;
        case cfHex:
            ok = chanal->WriteHex(Detail->ValueEdit->text(), packet);
            break;
        default: // cfSF1 has no writer
            tried = false;
            break;
        }
        if (ok && packet) {
            packet->Address = Address;
            Writes.Append(std::move(packet));
        } else if (tried) {
            input->setFocus();
        }
    }
    RefreshView();
}

void TXMLProject::SetViewStyle(uint8_t style) {
    if (NavStack.empty())
        ViewStyle = style;
    else
        NavStack.back()->Style = style;
    RefreshView();
}

void TXMLProject::Connect() {
    std::vector<TPacket*> packets;
    packets.reserve(Packets.size());
    for (const auto& p : Packets)
        packets.push_back(p.get());
    DataMaster->SetAddress(Address);
    DataMaster->Connect(DeviceId, packets, Writes);
}

void TXMLProject::Disconnect() {
    DataMaster->Disconnect();
    if (CardItem()) {
        PopLevel();
        RefreshView();
        ListView->ClearSelection();
        ShowSelectedDetail();
    }
}

void TXMLProject::ZoomIn() {
    ListView->SetFontSize(std::clamp(ListView->FontSize() + 2, TProjectListView::MinFontSize,
                                     TProjectListView::MaxFontSize));
}

void TXMLProject::ZoomOut() {
    ListView->SetFontSize(std::clamp(ListView->FontSize() - 2, TProjectListView::MinFontSize,
                                     TProjectListView::MaxFontSize));
}

void TXMLProject::DisableUI() {
    host_.SetCommandsEnabled(false);
    ListView->setEnabled(false);
}

void TXMLProject::EnableUI() {
    host_.SetCommandsEnabled(true);
    ListView->setEnabled(true);
    ListView->CurrentView()->setFocus();
}
