#include "ProjectXML.h"

#include "PanelDetal.h"
#include "ProjectListView.h"

#include <QDesktopServices>
#include <QUrl>

const QString TXMLProject::LoadFailedText =
    QStringLiteral("Не получилось загрузать файл, возможно фаил поврежден!");
const QString TXMLProject::NoDeviceText =
    QStringLiteral("Не найдено описание проекта, возможно фаил поврежден!");
const QString TXMLProject::BadAddressText =
    QStringLiteral("Ошибка в извлечении сетевого адреса. Адрес будет 210!");
const QString TXMLProject::CaptionText = QStringLiteral("Внимание");
const QString TXMLProject::WriteFailedText = QStringLiteral("Неудалось записать фаил");
const QString TXMLProject::WriteFailedCaption = QStringLiteral("Ошибка.");
const QString TXMLProject::ReplaceText = QStringLiteral("Фаил уже существует. Заменить его?");
const QString TXMLProject::NoProjectText = QStringLiteral("Нет устройства");
const QString TXMLProject::FolderText = QStringLiteral("<Папка>");

bool OpenWithDesktop(const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

TXMLProject::TXMLProject(TProjectHost& host, TProjectLinkParts parts) : host_(host) {
    ListView = new TProjectListView(host.MainPanel());
    Detail = new TPanelDetal(host.ServisePanel());
    DataMaster = std::make_unique<TDataMaster>(host.MainWindowLink(), host.ConnectProcessLink(),
                                               parts.Clock ? *parts.Clock : platform::SystemClock(),
                                               parts.MakeLine);
}

TXMLProject::~TXMLProject() {
    DataMaster.reset();
    delete ListView.data();
    delete Detail.data();
    host_.SetDevicePanelText(NoProjectText);
}

bool TXMLProject::LoadFromFile(const QString& path) {
    FileName = path;
    return false;
}
bool TXMLProject::LoadPacket(const platform::XmlElement&, QString*) {
    return true;
}
bool TXMLProject::LoadChanal(const platform::XmlElement&, QString*) {
    return true;
}
bool TXMLProject::LoadScreen(const platform::XmlElement&, QString*) {
    return true;
}
bool TXMLProject::Save() {
    return false;
}
bool TXMLProject::SaveAs(const QString&) {
    return false;
}
QString TXMLProject::SaveAsName(const QString& path) {
    return path;
}
void TXMLProject::RefreshView() {}
void TXMLProject::ActivateVisibleRegisters() {}
void TXMLProject::DeactivateVisibleRegisters() {}
void TXMLProject::ShowSelectedDetail() {}
void TXMLProject::OpenSelected() {}
void TXMLProject::GoBack() {}
int32_t TXMLProject::CompareCardEntries(const TCardEntry&, const TCardEntry&) {
    return 0;
}
QString TXMLProject::FormatSize(uint32_t size) {
    return QString::number(size);
}
void TXMLProject::WriteValue() {}
void TXMLProject::SetViewStyle(uint8_t) {}
void TXMLProject::Connect() {}
void TXMLProject::Disconnect() {}
void TXMLProject::ZoomIn() {}
void TXMLProject::ZoomOut() {}
void TXMLProject::DisableUI() {}
void TXMLProject::EnableUI() {}
TVItem* TXMLProject::ShownItem(int) const {
    return nullptr;
}
