// Loads generated project files, offscreen, and prints the time of each load:
//  - a 10 MB project: many packets, registers and channels, folders nested as deep as the
//    document allows and wide folders of channel items; at a quarter, half and full size,
//    so that a load time growing faster than the size shows;
//  - the document alone, deep (chains of elements at the depth limit) against wide (one
//    level) and against elements with as many attributes as allowed, at the same sizes;
//  - a project nested 40,000 folders deep, which the load refuses;
//  - documents whose document type declares attribute lists: 255 defaults for each of
//    20,000 and 40,000 empty elements, and 80,000 definitions, which the load refuses;
//  - GBK and Big5 documents whose document type's name has an ASCII bracket as a second
//    byte, with 300 attributes an element (refused) and with as many as allowed (loaded),
//    at 1 and 4 MB;
//  - documents whose document type declares a 4,000-character entity, referred to in bulk
//    (0.2, 1 and 2 MB), which the load refuses;
//  - projects with 25,000, 50,000 and 100,000 empty comments before the root element, and
//    with a document type whose internal subset holds 0.5, 1 and 2 MB of empty comments.
// Each load runs in a process of its own, so that the growth of its peak resident size
// (beside the time) is the load's alone.
//   project_load_bench [--write PATH]   (--write also keeps the 10 MB project at PATH)
#include "MessageBox.h"
#include "ProjectXML.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QWidget>
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace {

class BenchLink : public TMainWindowLink, public TConnectProcessLink {
public:
    int32_t Port() const override { return 1; }
    int32_t PortSpeed() const override { return 9600; }
    int32_t TimeOut() const override { return 100; }
    int32_t ScanRate() const override { return 1000; }
    void SetConnectedUI() override {}
    void SetDisconnectedUI() override {}
    void SetStage(const QString&, int32_t) override {}
    void Post(const TConnectProgress&) override {}
};

class BenchHost : public TProjectHost {
public:
    QWidget* MainPanel() override { return &main_; }
    QWidget* ServisePanel() override { return &servise_; }
    void SetDevicePanelText(const QString&) override {}
    void EnableBack() override {}
    void DisableBack() override {}
    QString TempDir() const override { return temp_.path(); }
    void SetCommandsEnabled(bool) override {}
    TMainWindowLink& MainWindowLink() override { return link_; }
    TConnectProcessLink& ConnectProcessLink() override { return link_; }
    TBoxHandOver* BoxHandOver() override { return nullptr; }
    TCardProgress* CardProgress() override { return nullptr; }
    TRetryPrompt* RetryPrompt() override { return nullptr; }
    void OpenDocument(const QString&) override {}

private:
    QWidget main_;
    QWidget servise_;
    QTemporaryDir temp_;
    BenchLink link_;
};

constexpr int kRegistersPerPacket = 40;
constexpr int kItemsPerLevel = 4;

// About `bytes` of project: per packet its registers, a channel for each and two items
// for each channel, half in the deep chain of folders and half in wide folders.
QByteArray Project(qsizetype bytes) {
    QByteArray packets, chanals, wide;
    int reg = 0;
    std::vector<int> deepItems;
    while (packets.size() + chanals.size() + 2 * wide.size() < bytes) {
        packets += "  <Packet ID=\"P" + QByteArray::number(reg / kRegistersPerPacket) +
                   "\" Name=\"Пакет\" Func=\"3\">\n";
        wide += "    <VItem Name=\"Папка " + QByteArray::number(reg) + "\" Style=\"Tab\">\n";
        for (int i = 0; i < kRegistersPerPacket; ++i, ++reg) {
            const QByteArray n = QByteArray::number(reg);
            packets += "    <Register ID=\"R" + n + "\" Name=\"Регистр " + n +
                       "\" Type=\"Word\" Addr=\"+\" Value=\"0\"/>\n";
            chanals += "  <Chanal ID=\"C" + n + "\" Name=\"Канал " + n + "\"><Register>R" + n +
                       "</Register></Chanal>\n";
            wide += "      <VItem Type=\"Chanal\" Icon=\"1\"><Chanal>C" + n + "</Chanal></VItem>\n";
            deepItems.push_back(reg);
        }
        wide += "    </VItem>\n";
        packets += "  </Packet>\n";
    }
    // Device and Screen take two levels; the chain takes the rest but for the items in it.
    const int levels = platform::kMaxDepth - 4; // and an item with its Chanal below the last
    QByteArray deep;
    size_t next = 0;
    for (int level = 0; level < levels; ++level) {
        deep += "<VItem Name=\"Уровень " + QByteArray::number(level) + "\">\n";
        const size_t share = (deepItems.size() - next) / (levels - level);
        for (size_t i = 0; i < share && next < deepItems.size(); ++i, ++next)
            deep += "<VItem Type=\"Chanal\"><Chanal>C" + QByteArray::number(deepItems[next]) +
                    "</Chanal></VItem>\n";
    }
    deep += QByteArray("</VItem>\n").repeated(levels);
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Device Name=\"Стенд\" NetAddr=\"1\">\n" +
           packets + chanals + "  <Screen Width1=\"200\" Width2=\"100\" Style=\"Icon\">\n" + wide +
           deep + "  </Screen>\n</Device>\n";
}

enum class Shape { Deep, Wide, Attributes };

// About `bytes` of chains of elements at the depth limit, of one level of elements, or of
// elements with as many attributes as allowed.
QByteArray Document(qsizetype bytes, Shape shape) {
    QByteArray unit;
    switch (shape) {
    case Shape::Deep:
        unit = QByteArray("<e>").repeated(platform::kMaxDepth - 2) + "<e/>" +
               QByteArray("</e>").repeated(platform::kMaxDepth - 2);
        break;
    case Shape::Wide:
        unit = QByteArray("<e/>").repeated(255) + "<e>x</e>";
        break;
    case Shape::Attributes:
        unit = "<e";
        for (int i = 0; i < platform::kMaxAttributes; ++i)
            unit += " a" + QByteArray::number(i) + "=\"1\"";
        unit += "/>";
        break;
    }
    return "<Device>" + unit.repeated(bytes / unit.size()) + "</Device>";
}

// `count` empty elements, each given `defaults` attributes by the document type.
QByteArray DeclaredDefaults(int count, int defaults) {
    QByteArray list = "<!ATTLIST e";
    for (int i = 0; i < defaults; ++i)
        list += " a" + QByteArray::number(i) + " CDATA 'v'";
    return "<!DOCTYPE Device [" + list + ">]>\n<Device>" + QByteArray("<e/>").repeated(count) +
           "</Device>\n";
}

// About `bytes` of elements with `attributes` attributes each, in a document whose
// document type is named by one character of the encoding whose second byte is ASCII
// ("\x81\x5B" in GBK is one character ending in '[').
QByteArray Multibyte(const QByteArray& encoding, const QByteArray& name, int attributes,
                     qsizetype bytes) {
    QByteArray unit = "<" + name;
    for (int i = 0; i < attributes; ++i)
        unit += " a" + QByteArray::number(i) + "=\"\"";
    unit += "/>\n";
    return "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>\n<!DOCTYPE " + name + ">\n<" +
           name + ">\n" + unit.repeated(bytes / unit.size()) + "</" + name + ">\n";
}

// About `bytes` of references to an entity of 4,000 characters.
QByteArray Entities(qsizetype bytes) {
    return "<!DOCTYPE Device [<!ENTITY e \"" + QByteArray(4000, 'x') + "\">]>\n<Device><Str>" +
           QByteArray("&e;").repeated(bytes / 3) + "</Str></Device>\n";
}

// `count` empty comments, each on a line of its own, before an empty project.
QByteArray CommentsBeforeRoot(int count) {
    return QByteArray("<!---->\n").repeated(count) + "<Device/>\n";
}

// About `bytes` of empty comments in the internal subset of the document type.
QByteArray CommentsInSubset(qsizetype bytes) {
    return "<!DOCTYPE Device [\n" + QByteArray("<!---->\n").repeated(bytes / 8) + "]>\n<Device/>\n";
}

QString Write(const QTemporaryDir& dir, const QString& name, const QByteArray& content) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return path;
}

// The peak resident size so far, in MB.
double PeakMegabytes() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

// Runs `load` in a child process, so that the growth of the peak resident size is the
// load's alone, and waits for it; a load that ends its process is named.
template <class Load> void Apart(const char* label, Load load) {
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        load();
        std::fflush(stdout);
        _exit(0);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        std::printf("%-34s the load ended its process (status %d)\n", label, status);
}

// Loads the project file in a process of its own; prints its size, the time, the peak
// memory the load added and what it built.
void LoadProject(const char* label, const QString& path) {
    Apart(label, [&] {
        BenchHost host;
        platform::RecordingMessageBox boxes;
        TXMLProject project(host);
        const double peak = PeakMegabytes();
        QElapsedTimer timer;
        timer.start();
        const bool ok = project.LoadFromFile(path);
        const qint64 ms = timer.elapsed();
        std::printf("%-34s %6.2f MB  %7lld ms  peak +%7.1f MB  %s, %zu registers, %zu "
                    "channels, %zu boxes\n",
                    label, QFile(path).size() / 1e6, static_cast<long long>(ms),
                    PeakMegabytes() - peak, ok ? "loaded" : "refused", project.Registers.size(),
                    project.Chanals.size(), boxes.Count());
    });
}

void LoadDocument(const char* label, const QString& path) {
    Apart(label, [&] {
        platform::XmlDocument doc;
        const double peak = PeakMegabytes();
        QElapsedTimer timer;
        timer.start();
        const platform::XmlStatus status = doc.Load(path);
        const qint64 ms = timer.elapsed();
        std::printf("%-34s %6.2f MB  %7lld ms  peak +%7.1f MB  %s\n", label,
                    QFile(path).size() / 1e6, static_cast<long long>(ms), PeakMegabytes() - peak,
                    status.Ok() ? "loaded" : "refused");
    });
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    constexpr qsizetype kSize = 10'000'000;

    const QByteArray full = Project(kSize);
    if (argc == 3 && QByteArray(argv[1]) == "--write") {
        QFile out(QString::fromLocal8Bit(argv[2]));
        if (!out.open(QIODevice::WriteOnly) || out.write(full) != full.size())
            std::fprintf(stderr, "cannot write %s\n", argv[2]);
    }
    LoadProject("project, quarter size", Write(dir, "quarter.xml", Project(kSize / 4)));
    LoadProject("project, half size", Write(dir, "half.xml", Project(kSize / 2)));
    LoadProject("project, 10 MB", Write(dir, "full.xml", full));

    const std::pair<Shape, const char*> shapes[] = {
        {Shape::Deep, "deep"}, {Shape::Wide, "wide"}, {Shape::Attributes, "attributes"}};
    for (const auto& [shape, name] : shapes)
        for (const int part : {4, 2, 1}) {
            const QString label = QStringLiteral("document, %1, 1/%2 size").arg(name).arg(part);
            LoadDocument(qPrintable(label),
                         Write(dir, QStringLiteral("%1%2.xml").arg(name).arg(part),
                               Document(kSize / part, shape)));
        }

    constexpr int kHostile = 40000;
    LoadProject("project, 40,000 folders deep",
                Write(dir, "hostile.xml",
                      "<Device><Screen>" + QByteArray("<VItem>").repeated(kHostile) +
                          QByteArray("</VItem>").repeated(kHostile) + "</Screen></Device>"));

    LoadDocument("declared defaults, 20,000 x 255",
                 Write(dir, "defaults20.xml", DeclaredDefaults(20000, 255)));
    LoadDocument("declared defaults, 40,000 x 255",
                 Write(dir, "defaults40.xml", DeclaredDefaults(40000, 255)));
    LoadDocument("declared definitions, 80,000",
                 Write(dir, "definitions.xml", DeclaredDefaults(1, 80000)));

    const std::pair<const char*, QByteArray> multibyte[] = {{"GBK", "D\x81\x5B"},
                                                            {"Big5", "D\xA4\x5D"}};
    for (const auto& [encoding, name] : multibyte)
        for (const int megabytes : {1, 4})
            for (const int attributes : {300, platform::kMaxAttributes}) {
                const QString label = QStringLiteral("%1, %2 attributes, %3 MB")
                                          .arg(encoding)
                                          .arg(attributes)
                                          .arg(megabytes);
                LoadDocument(qPrintable(label),
                             Write(dir, label + ".xml",
                                   Multibyte(encoding, name, attributes, megabytes * 1'000'000)));
            }
    for (const qsizetype bytes : {200'000, 1'000'000, 2'000'000}) {
        const QString label = QStringLiteral("entity in bulk, %1 MB").arg(bytes / 1e6);
        LoadProject(qPrintable(label), Write(dir, label + ".xml", Entities(bytes)));
    }
    for (const int count : {25'000, 50'000, 100'000}) {
        const QString label = QStringLiteral("%1 comments before the root")
                                  .arg(QLocale(QLocale::English).toString(count));
        LoadProject(qPrintable(label), Write(dir, label + ".xml", CommentsBeforeRoot(count)));
    }
    for (const qsizetype bytes : {500'000, 1'000'000, 2'000'000}) {
        const QString label = QStringLiteral("subset of comments, %1 MB").arg(bytes / 1e6);
        LoadProject(qPrintable(label), Write(dir, label + ".xml", CommentsInSubset(bytes)));
    }
    return 0;
}
