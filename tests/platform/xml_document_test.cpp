#include "CodePage.h"
#include "FileReplace.h"
#include "TestFiles.h"
#include "XmlDocument.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unicode/ucnv.h>
#include <unistd.h>

using namespace platform;

namespace {

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    return f.readAll();
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// A project in the layout people write by hand; %1 is the declaration line, %2 and %3 the
// two register values.
const char* const kProject = R"(%1<!-- Прибор ТМ-2: описание регистров -->
<Device Name="Термометр «Север»" Version="1.2" NetAddr="1">
  <!-- первый пакет -->
  <Packet ID="P1" Name="Текущие" Func="3">
    <Register ID="T" Name="Температура, °C" Type="Real" Addr="10" Value="%2"/>
    <Register ID="S" Name="Состояние" Addr="+" Value="%3"/>
  </Packet>
  <Chanal ID="C1"><Register>T</Register><Str Text="Значение &amp; &lt;ед.&gt;"/></Chanal>
</Device>
)";

QString Project(const char* declaration, const char* first, const char* second) {
    return QString::fromUtf8(kProject).arg(QString::fromLatin1(declaration), first, second);
}

std::vector<XmlElement> Registers(const XmlDocument& doc) {
    std::vector<XmlElement> out;
    XmlElement packet = doc.DocumentElement().ChildElement("Packet");
    const XmlNodeList nodes = packet.ChildNodes();
    for (int i = 0; i < nodes.Count(); ++i)
        if (nodes.Item(i).LocalName() == "Register")
            out.push_back(nodes.Item(i).ToElement());
    return out;
}

struct EncodingCase {
    const char* declaration;
    QByteArray (*encode)(const QString&);
    const char* encodingName;
};

QByteArray Utf8(const QString& s) {
    return s.toUtf8();
}

class XmlRoundTrip : public ::testing::TestWithParam<EncodingCase> {};

// Load, change the register values, save, reload: the bytes differ from the original
// only in the two Value attributes, comments and Cyrillic included.
TEST_P(XmlRoundTrip, OnlyValuesChange) {
    const EncodingCase c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("project.xml");
    const QByteArray original = c.encode(Project(c.declaration, "12,5", "7"));
    WriteFile(path, original);

    XmlDocument doc;
    const XmlStatus loaded = doc.Load(path);
    ASSERT_TRUE(loaded.Ok()) << loaded.message.toStdString();
    EXPECT_EQ(doc.Encoding(), c.encodingName);
    EXPECT_EQ(doc.DocumentElement().Attribute("Name"), QString::fromUtf8("Термометр «Север»"));
    std::vector<XmlElement> regs = Registers(doc);
    ASSERT_EQ(regs.size(), 2u);
    EXPECT_EQ(regs[0].Attribute("Name"), QString::fromUtf8("Температура, °C"));
    regs[0].SetAttribute("Value", "-3,25");
    regs[1].SetAttribute("Value", "65535");

    ASSERT_TRUE(doc.Save(path).Ok());
    EXPECT_EQ(ReadFile(path), c.encode(Project(c.declaration, "-3,25", "65535")));

    XmlDocument again;
    ASSERT_TRUE(again.Load(path).Ok());
    EXPECT_EQ(Registers(again)[0].Attribute("Value"), QString("-3,25"));
    XmlElement chanal = again.DocumentElement().ChildElement("Chanal");
    EXPECT_EQ(chanal.ChildElement("Register").Text(), "T");
    EXPECT_EQ(chanal.ChildElement("Str").Attribute("Text"), QString::fromUtf8("Значение & <ед.>"));
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, XmlRoundTrip,
    ::testing::Values(EncodingCase{"<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n",
                                   &ToCodePage, "windows-1251"},
                      EncodingCase{"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", &Utf8, "UTF-8"},
                      EncodingCase{"", &Utf8, "UTF-8"}),
    [](const auto& info) {
        return std::string(info.index == 0 ? "Cp1251" : info.index == 1 ? "Utf8" : "NoDeclaration");
    });

TEST(XmlDocument, CharacterTheCodePageLacksBecomesAReference) {
    XmlDocument doc;
    ASSERT_TRUE(doc.LoadFromData("<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n<a "
                                 "b=\"&#x263A;\">&#x2603;\xC6</a>")
                    .Ok());
    EXPECT_EQ(doc.DocumentElement().Attribute("b"), QString::fromUtf8("☺"));
    doc.DocumentElement().SetAttribute("c", QString::fromUtf8("Ж€😀"));
    XmlStatus status;
    const auto bytes = doc.ToBytes(&status);
    ASSERT_TRUE(bytes) << status.message.toStdString();
    EXPECT_EQ(*bytes, QByteArray("<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n"
                                 "<a b=\"&#x263A;\" c=\"\xC6\x88&#x1F600;\">&#x2603;\xC6</a>\n"));
    XmlDocument again;
    ASSERT_TRUE(again.LoadFromData(*bytes).Ok());
    EXPECT_EQ(again.DocumentElement().Attribute("c"), QString::fromUtf8("Ж€😀"));
    EXPECT_EQ(again.DocumentElement().Text(), QString::fromUtf8("☃Ж"));
}

// A character whose bytes in the encoding read back as another (private-use characters
// that the encoder writes as the bytes of the numero sign, of a character outside the
// basic plane, of the euro sign) is written as a character reference, as one the encoding
// lacks: the file saves as it was read, and reads back as the same characters.
TEST(XmlDocument, ACharacterWhoseBytesReadBackAsAnotherIsAReference) {
    struct Case {
        const char* encoding;
        char32_t c;
    };
    for (const Case& c : {
             Case{"Shift_JIS", 0xF86F},   // as U+2116
             Case{"ibm-33722", 0xF86F},   // EUC-JP, as U+2116
             Case{"x-IBM954", 0xF86F},    // EUC-JP, as U+2116
             Case{"ISO-2022-JP", 0xF86F}, // as U+2116
             Case{"Big5-HKSCS", 0xE000},  // as U+20547
             Case{"Big5-HKSCS", 0xE005},  // as U+42B5
             Case{"ibm-5471", 0xE005},    // as U+42B5
             Case{"ibm-5471", 0xE0A0},    // as U+4CED
             Case{"x-mac-greek", 0xF8A0}, // as U+20AC
         }) {
        const QByteArray reference = "&#x" + QByteArray::number(uint(c.c), 16).toUpper() + ";";
        const QByteArray file = "<?xml version=\"1.0\" encoding=\"" + QByteArray(c.encoding) +
                                "\"?>\n<a b=\"x" + reference + "\">" + reference + "y</a>\n";
        const QString character = QString::fromUcs4(&c.c, 1);
        SCOPED_TRACE(std::string(c.encoding) + " " + reference.constData());
        XmlDocument doc;
        ASSERT_TRUE(doc.LoadFromData(file).Ok());
        ASSERT_EQ(doc.DocumentElement().Attribute("b"), "x" + character);
        XmlStatus status;
        const std::optional<QByteArray> saved = doc.ToBytes(&status);
        ASSERT_TRUE(saved) << status.message.toStdString();
        EXPECT_EQ(*saved, file);
        XmlDocument again;
        ASSERT_TRUE(again.LoadFromData(*saved).Ok());
        EXPECT_EQ(again.DocumentElement().Attribute("b"), "x" + character);
        EXPECT_EQ(again.DocumentElement().Text(), character + "y");
    }
    // What reads back as itself is written as itself, in a comment too, where no reference
    // may stand: in an encoding that shifts into another set, and in UTF-7 by another name,
    // whose encoder keeps the bits of a character until the next one.
    for (const auto& [encoding, text] : {
             std::pair{"Shift_JIS", "№"},
             std::pair{"Big5-HKSCS", "𠕇"},
             std::pair{"ISO-2022-JP", "日本"},
             std::pair{"windows-65000", "Прибор"},
         }) {
        const QString chars = QString::fromUtf8(text);
        const QByteArray file = QStringEncoder(encoding).encode(
            "<?xml version=\"1.0\" encoding=\"" + QString::fromLatin1(encoding) + "\"?>\n<!--" +
            chars + "-->\n<a b=\"" + chars + "\">" + chars + "</a>\n");
        XmlDocument doc;
        ASSERT_TRUE(doc.LoadFromData(file).Ok()) << encoding;
        XmlStatus status;
        EXPECT_EQ(doc.ToBytes(&status), file) << encoding << ": " << status.message.toStdString();
    }
}

// U+FEFF inside the document is a character like any other, not a byte order mark: in text
// and attribute values it is written as itself where the encoding has it, else as a
// reference, and reads back.
TEST(XmlDocument, AZeroWidthNoBreakSpaceIsSavedAsItReads) {
    for (const auto& [encoding, written] : {
             std::pair{"UTF-8", "\xEF\xBB\xBF"},
             std::pair{"Shift_JIS", "&#xFEFF;"},
             std::pair{"windows-1251", "&#xFEFF;"},
         }) {
        const QByteArray file = "<?xml version=\"1.0\" encoding=\"" + QByteArray(encoding) +
                                "\"?>\n<a b=\"x" + written + "\">" + written + "y</a>\n";
        XmlDocument doc;
        ASSERT_TRUE(doc.LoadFromData(file).Ok()) << encoding;
        ASSERT_EQ(doc.DocumentElement().Attribute("b"), QString::fromUtf8("x\uFEFF")) << encoding;
        XmlStatus status;
        EXPECT_EQ(doc.ToBytes(&status), file) << encoding << ": " << status.message.toStdString();
    }
}

// A file in UTF-16 or UTF-32, as its byte order mark or first '<' tells, may declare its
// form by any name the converters take for one of the same code unit, and is saved in the
// form it was read in: unchanged, byte for byte; with a changed value, every character
// written as itself. A name of another width, of another Unicode encoding or of an 8-bit
// one is refused.
TEST(XmlDocument, AUnicodeFileMayNameItsFormByAnyName) {
    using E = QStringConverter::Encoding;
    struct Case {
        const char* name;
        E form;
        bool byteOrderMark;
        bool loads;
    };
    for (const Case& c : {
             Case{"ISO-10646-UCS-2", E::Utf16LE, true, true},
             Case{"UCS-2", E::Utf16BE, true, true},
             Case{"csUnicode", E::Utf16LE, false, true},
             Case{"UnicodeBig", E::Utf16BE, false, true},
             Case{"ISO-10646-UCS-4", E::Utf32BE, true, true},
             Case{"ucs-4", E::Utf32LE, false, true},
             Case{"windows-65001", E::Utf8, true, true},
             Case{"UTF-16LE", E::Utf16LE, true, true},
             Case{"ISO-10646-UCS-4", E::Utf16LE, true, false},
             Case{"UCS-2", E::Utf32BE, false, false},
             Case{"windows-1251", E::Utf16BE, true, false},
             Case{"UTF-7", E::Utf16LE, true, false},
             Case{"CESU-8", E::Utf8, true, false},
         }) {
        SCOPED_TRACE(std::string(c.name) + " in " + QStringConverter::nameForEncoding(c.form));
        const auto file = [&](const QString& value) -> QByteArray {
            return QStringEncoder(c.form, c.byteOrderMark ? QStringConverter::Flag::WriteBom
                                                          : QStringConverter::Flag::Default)
                .encode("<?xml version=\"1.0\" encoding=\"" + QString::fromLatin1(c.name) +
                        "\"?>\n<a b=\"" + value + "\">" + QString::fromUtf8("中") + "</a>\n");
        };
        XmlDocument doc;
        const XmlStatus status = doc.LoadFromData(file(QString::fromUtf8("Ж")));
        EXPECT_EQ(status.Ok(), c.loads) << status.message.toStdString();
        if (!c.loads) {
            EXPECT_EQ(status.error, XmlError::Parse);
            continue;
        }
        EXPECT_EQ(doc.ToBytes(), file(QString::fromUtf8("Ж")));
        doc.DocumentElement().SetAttribute("b", QString::fromUtf8("é😀"));
        EXPECT_EQ(doc.ToBytes(), file(QString::fromUtf8("é😀")));
    }
}

// Bytes that are not valid in the file's encoding refuse it as damaged, in every encoding:
// bytes no character has, a sequence cut short (at the end too), a lone surrogate, a unit
// past U+10FFFF. U+FFFD itself, written in the encoding or as a reference, is a character
// like any other.
TEST(XmlDocument, BytesTheEncodingDoesNotHaveRefuseTheFile) {
    const auto declared = [](const char* encoding, const QByteArray& body) {
        return "<?xml version=\"1.0\" encoding=\"" + QByteArray(encoding) + "\"?>\n" + body;
    };
    // A UTF-16 or UTF-32 file whose element holds the raw units given.
    const auto wide = [](QStringConverter::Encoding form, const QByteArray& units) {
        QStringEncoder encoder(form, QStringConverter::Flag::WriteBom);
        return encoder.encode(QStringLiteral("<a>")) + units + encoder.encode(u"</a>\n");
    };
    using E = QStringConverter::Encoding;
    struct Case {
        const char* name;
        QByteArray bytes;
        bool loads;
    };
    for (const Case& c : {
             Case{"US-ASCII, a byte past 0x7F", declared("US-ASCII", "<a b=\"caf\xE9\"/>\n"),
                  false},
             Case{"Big5, cut after a lead byte", declared("Big5", "<a/>\n\xA4"), false},
             Case{"GBK, no trail byte", declared("GBK", "<!--\x81\x22-->\n<a/>\n"), false},
             Case{"ISO-2022-JP, a broken escape", declared("ISO-2022-JP", "<a>\x1B$</a>\n"), false},
             Case{"UTF-7, a broken run", declared("UTF-7", "<a b=\"+AD\"/>\n"), false},
             Case{"UTF-8, cut at the end", declared("UTF-8", "<a/>\n\xD0"), false},
             Case{"UTF-8 undeclared, cut at the end", "<a/>\n\xE2\x82", false},
             Case{"UTF-16, a lone high surrogate", wide(E::Utf16LE, QByteArray("\x3D\xD8", 2)),
                  false},
             Case{"UTF-16, a lone low surrogate", wide(E::Utf16BE, QByteArray("\xDE\x00", 2)),
                  false},
             Case{"UTF-16, an odd last byte", wide(E::Utf16LE, {}) + 'x', false},
             Case{"UTF-32, past U+10FFFF", wide(E::Utf32LE, QByteArray("\0\0\x11\0", 4)), false},
             Case{"UTF-32, a surrogate", wide(E::Utf32BE, QByteArray("\0\0\xD8\0", 4)), false},
             Case{"UTF-7, a lone surrogate", declared("UTF-7", "<a>+2D0-</a>\n"), false},
             Case{"CESU-8, a lone surrogate", declared("CESU-8", "<a b=\"\xED\xA0\xBD\"/>\n"),
                  false},
             Case{"UTF-16, a pair", wide(E::Utf16LE, QByteArray("\x3D\xD8\x00\xDE", 4)), true},
             Case{"CESU-8, a pair", declared("CESU-8", "<a>\xED\xA0\xBD\xED\xB8\x80</a>\n"), true},
             Case{"UTF-8, U+FFFD", declared("UTF-8", "<a>\xEF\xBF\xBD</a>\n"), true},
             Case{"GBK, U+FFFD as a reference", declared("GBK", "<a>&#xFFFD;\xC4\xE3</a>\n"), true},
         }) {
        XmlDocument doc;
        const XmlStatus status = doc.LoadFromData(c.bytes);
        EXPECT_EQ(status.Ok(), c.loads) << c.name << ": " << status.message.toStdString();
        if (!c.loads) {
            EXPECT_EQ(status.error, XmlError::Parse) << c.name;
            EXPECT_FALSE(status.OwnError()) << c.name;
        }
    }
}

TEST(XmlDocument, KeepsMarkupAttributeOrderAndLineEnds) {
    const QByteArray source =
        "\xEF\xBB\xBF<?xml version='1.0'?>\r\n<!-- c -->\r\n<?app go?>\r\n"
        "<d:Device xmlns:d=\"urn:v\" z=\"1\" a=\"2\" m=\"a&#10;b\tc\" q='\"'>\r\n"
        "  <d:Packet/><![CDATA[x < y]]>\r\n</d:Device>\r\n";
    XmlDocument doc;
    ASSERT_TRUE(doc.LoadFromData(source).Ok());
    XmlElement root = doc.DocumentElement();
    EXPECT_EQ(root.LocalName(), "Device");
    EXPECT_EQ(root.ChildElement("Packet").LocalName(), "Packet");
    EXPECT_EQ(root.Attribute("m"), QString("a\nb c")); // a literal tab is normalised by XML
    root.SetAttribute("new", "1");
    root.SetAttribute("a", "3");
    const auto bytes = doc.ToBytes();
    ASSERT_TRUE(bytes);
    EXPECT_EQ(*bytes, QByteArray("\xEF\xBB\xBF<?xml version='1.0'?>\r\n<!-- c -->\r\n<?app go?>\r\n"
                                 "<d:Device xmlns:d=\"urn:v\" z=\"1\" a=\"3\" m=\"a&#10;b c\" "
                                 "q=\"&quot;\" new=\"1\">\r\n"
                                 "  <d:Packet/><![CDATA[x < y]]>\r\n</d:Device>\r\n"));
}

TEST(XmlDocument, AbsentAndEmptyAttributes) {
    XmlDocument doc;
    ASSERT_TRUE(doc.LoadFromData("<Device NetAddr=\"\"/>").Ok());
    const XmlElement root = doc.DocumentElement();
    EXPECT_EQ(root.Attribute("NetAddr"), QString(""));
    EXPECT_TRUE(root.HasAttribute("NetAddr"));
    EXPECT_EQ(root.Attribute("Name"), std::nullopt);
    EXPECT_EQ(root.Attribute("netaddr"), std::nullopt);
    EXPECT_EQ(XmlElement().Attribute("NetAddr"), std::nullopt);
}

TEST(XmlDocument, ChildElementFindsOrCreatesTheLast) {
    XmlDocument doc;
    ASSERT_TRUE(doc.LoadFromData("<Device>\n  <Packet/>\n  <screen/>\n</Device>").Ok());
    XmlElement root = doc.DocumentElement();
    const int before = root.ChildNodes().Count();
    EXPECT_TRUE(root.FindChildElement("Screen").IsNull()); // looking adds nothing
    EXPECT_EQ(root.ChildNodes().Count(), before);
    EXPECT_EQ(root.FindChildElement("Packet").LocalName(), "Packet");
    XmlElement screen = root.ChildElement("Screen");
    ASSERT_FALSE(screen.IsNull());
    screen.SetAttribute("Style", "Icon");
    EXPECT_EQ(root.ChildElement("Screen").Attribute("Style"),
              QString("Icon"));                       // found, not made again
    EXPECT_EQ(root.ChildNodes().Count(), before + 2); // element + its indentation
    EXPECT_EQ(
        *doc.ToBytes(),
        QByteArray("<Device>\n  <Packet/>\n  <screen/>\n  <Screen Style=\"Icon\"/>\n</Device>\n"));

    XmlDocument flat;
    ASSERT_TRUE(flat.LoadFromData("<x:Device xmlns:x=\"urn:v\"><x:Packet/></x:Device>").Ok());
    XmlElement made = flat.DocumentElement().ChildElement("Screen");
    EXPECT_EQ(made.LocalName(), "Screen");
    EXPECT_EQ(*flat.ToBytes(),
              QByteArray("<x:Device xmlns:x=\"urn:v\"><x:Packet/><x:Screen/></x:Device>\n"));
    XmlDocument reread;
    ASSERT_TRUE(reread.LoadFromData(*flat.ToBytes()).Ok());
    EXPECT_EQ(reread.DocumentElement().ChildNodes().Item(1).LocalName(), "Screen");
}

TEST(XmlDocument, NodeListAndText) {
    XmlDocument doc;
    ASSERT_TRUE(doc.LoadFromData("<a><!--n--><b>x<c>y</c></b>t</a>").Ok());
    const XmlNodeList nodes = doc.DocumentElement().ChildNodes();
    ASSERT_EQ(nodes.Count(), 3);
    EXPECT_FALSE(nodes.Item(0).IsElement());
    EXPECT_EQ(nodes.Item(0).LocalName(), "");
    EXPECT_EQ(nodes.Item(1).LocalName(), "b");
    EXPECT_EQ(nodes.Item(1).Text(), "xy");
    EXPECT_EQ(nodes.Item(2).Text(), "t");
    EXPECT_TRUE(nodes.Item(3).IsNull());
    EXPECT_TRUE(nodes.Item(-1).IsNull());
    EXPECT_TRUE(nodes.Item(0).ToElement().IsNull());
}

TEST(XmlDocument, LoadFailures) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    struct Case {
        const char* name;
        const char* content; // nullptr: no file
        XmlError error;
    };
    const Case cases[] = {
        {"missing.xml", nullptr, XmlError::Open},
        {"empty.xml", "", XmlError::Parse},
        {"broken.xml", "<Device><Packet></Device>", XmlError::Parse},
        {"prefix.xml", "<x:Device/>", XmlError::Parse},
        {"codec.xml", "<?xml version=\"1.0\" encoding=\"no-such-codec\"?><a/>", XmlError::Parse},
        {"trailing.xml", "<a/><b/>", XmlError::Parse},
        // A document type stands only once, before the root element.
        {"doctype-in-content.xml", "<Device><a/><!DOCTYPE Device></Device>", XmlError::Parse},
        {"doctype-twice.xml", "<!DOCTYPE a>\n<!DOCTYPE Device>\n<Device/>", XmlError::Parse},
        {"doctype-after-root.xml", "<Device/>\n<!DOCTYPE Device>", XmlError::Parse},
        // Its encoder leaves the run of a last line end unfinished: what it saved would be
        // cut short.
        {"unfinished.xml", "<?xml version=\"1.0\" encoding=\"IMAP-mailbox-name\"?>&AAo-<a/>&AAo-",
         XmlError::Parse},
    };
    for (const Case& c : cases) {
        const QString path = dir.filePath(c.name);
        if (c.content)
            WriteFile(path, c.content);
        XmlDocument doc;
        const XmlStatus status = doc.Load(path);
        EXPECT_EQ(status.error, c.error) << c.name;
        EXPECT_FALSE(status.OwnError()) << c.name;
        EXPECT_FALSE(status.message.isEmpty()) << c.name;
        EXPECT_TRUE(doc.DocumentElement().IsNull()) << c.name;
    }
    XmlDocument doc;
    const XmlStatus empty = doc.Load("");
    EXPECT_EQ(empty.error, XmlError::EmptyPath);
    EXPECT_TRUE(empty.OwnError());
}

// A save that cannot complete reports it and leaves the old file as it was.
class SaveFailure : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        path_ = dir_.filePath("project.xml");
        WriteFile(path_, old_);
        ASSERT_TRUE(doc_.LoadFromData(old_).Ok());
        doc_.DocumentElement().SetAttribute("NetAddr", QString(4000, u'7'));
    }
    void ExpectFailedAndIntact(const QString& path) { ExpectFailedAndIntact(doc_.Save(path)); }
    void ExpectFailedAndIntact(const FileWrite& written) {
        ExpectFailedAndIntact(written.ok ? XmlStatus{}
                                         : XmlStatus{XmlError::Write, written.message});
    }
    void ExpectFailedAndIntact(const XmlStatus& status) {
        EXPECT_EQ(status.error, XmlError::Write);
        EXPECT_FALSE(status.message.isEmpty());
        EXPECT_EQ(ReadFile(path_), old_);
        EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden),
                  QStringList{"project.xml"});
    }
    QTemporaryDir dir_;
    QString path_;
    const QByteArray old_ = "<Device NetAddr=\"1\"/>\n";
    XmlDocument doc_;
};

// True when folder permissions bind this process (they do not bind root).
bool FolderPermissionsBind(const QString& readOnlyFolder) {
    QFile probe(QDir(readOnlyFolder).filePath("probe"));
    if (!probe.open(QIODevice::WriteOnly))
        return true;
    probe.close();
    probe.remove();
    return false;
}

const QFile::Permissions kFolderOpen = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
const QFile::Permissions kFolderReadOnly = QFile::ReadOwner | QFile::ExeOwner;

TEST_F(SaveFailure, ReadOnlyFolderAndFile) {
    ASSERT_TRUE(QFile::setPermissions(path_, QFile::ReadOwner));
    ASSERT_TRUE(QFile::setPermissions(dir_.path(), kFolderReadOnly));
    const bool binds = FolderPermissionsBind(dir_.path());
    if (binds)
        ExpectFailedAndIntact(path_);
    QFile::setPermissions(dir_.path(), kFolderOpen);
    if (!binds)
        GTEST_SKIP() << "folder and file permissions do not bind this user";
}

TEST_F(SaveFailure, WriteCutShortByFileSizeLimit) {
    // Binds root too: the new content cannot be written in full.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    ExpectFailedAndIntact(path_);
    ExpectFailedAndIntact(WriteFileInPlace(path_, *doc_.ToBytes()));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
}

TEST_F(SaveFailure, ParentIsARegularFile) {
    ExpectFailedAndIntact(path_ + "/inner.xml");
    ExpectFailedAndIntact(WriteFileInPlace(path_ + "/inner.xml", "<a/>"));
    EXPECT_EQ(doc_.Save("").error, XmlError::EmptyPath);
}

TEST_F(SaveFailure, NothingLoaded) {
    XmlDocument failed;
    EXPECT_FALSE(failed.LoadFromData("<Device>").Ok());
    EXPECT_EQ(failed.Save(path_).error, XmlError::Empty);
    EXPECT_EQ(XmlDocument().Save(path_).error, XmlError::Empty);
    EXPECT_EQ(ReadFile(path_), old_);
}

// Saving an existing file: in a folder that takes no new files the file is written in
// place; either way it keeps its permissions and, where the process may, its owner.
class SaveExisting : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        path_ = dir_.filePath("project.xml");
        WriteFile(path_, "<Device NetAddr=\"1\">" + QByteArray(100, ' ') + "</Device>\n");
    }
    void TearDown() override { QFile::setPermissions(dir_.path(), kFolderOpen); }
    struct stat Stat() const {
        struct stat st {};
        EXPECT_EQ(stat(QFile::encodeName(path_).constData(), &st), 0);
        return st;
    }
    // The file holds exactly `text` and nothing else is in the folder.
    void ExpectOnly(const QByteArray& text) const {
        EXPECT_EQ(ReadFile(path_), text);
        EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden),
                  QStringList{"project.xml"});
    }
    QTemporaryDir dir_;
    QString path_;
};

TEST_F(SaveExisting, InPlaceOverwritesTheSameFileLongerOrShorter) {
    ASSERT_EQ(chmod(QFile::encodeName(path_).constData(), 0604), 0);
    const ino_t inode = Stat().st_ino;
    for (const QByteArray& text : {QByteArray(5000, 'x'), QByteArray("<a/>\n")}) {
        const FileWrite status = WriteFileInPlace(path_, text);
        ASSERT_TRUE(status.ok) << status.message.toStdString();
        ExpectOnly(text);
        EXPECT_EQ(Stat().st_ino, inode);
        EXPECT_EQ(Stat().st_mode & 07777, 0604u);
    }
    const FileWrite missing = WriteFileInPlace(dir_.filePath("missing.xml"), "<a/>");
    EXPECT_FALSE(missing.ok);
    EXPECT_FALSE(QFileInfo::exists(dir_.filePath("missing.xml")));
}

TEST_F(SaveExisting, ReadOnlyFolderWritableFile) {
    XmlDocument doc;
    ASSERT_TRUE(doc.Load(path_).Ok());
    doc.DocumentElement().SetAttribute("NetAddr", "2");
    ASSERT_TRUE(QFile::setPermissions(dir_.path(), kFolderReadOnly));
    if (!FolderPermissionsBind(dir_.path()))
        GTEST_SKIP() << "root writes into a read-only folder; the in-place write is covered "
                        "by InPlaceOverwritesTheSameFileLongerOrShorter";
    const XmlStatus status = doc.Save(path_);
    ASSERT_TRUE(status.Ok()) << status.message.toStdString();
    ExpectOnly(*doc.ToBytes());
    EXPECT_TRUE(ReadFile(path_).contains("NetAddr=\"2\""));
}

// Another user's file that this user may write, in a folder where this user may not
// replace it: a read-only folder, and a sticky folder (as /tmp) owned by neither. The save
// of a user who owns neither file nor folder runs in a child that has become that user.
TEST_F(SaveExisting, AnotherUsersWritableFileIsSavedWhereItCannotBeReplaced) {
    if (geteuid() != 0)
        GTEST_SKIP() << "only root can hand the file to another user and become a third";
    const QByteArray file = QFile::encodeName(path_);
    for (const mode_t folderMode : {mode_t(0755), mode_t(01777)}) {
        SCOPED_TRACE(folderMode);
        ASSERT_EQ(chmod(QFile::encodeName(dir_.path()).constData(), folderMode), 0);
        ASSERT_EQ(chown(file.constData(), 1000, 1000), 0);
        ASSERT_EQ(chmod(file.constData(), 0666), 0);
        const QByteArray address = QByteArray::number(folderMode, 8);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            XmlDocument doc;
            if (setgid(65534) != 0 || setuid(65534) != 0 || !doc.Load(path_).Ok())
                _exit(2);
            doc.DocumentElement().SetAttribute("NetAddr", QString::fromLatin1(address));
            _exit(doc.Save(path_).Ok() ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the save failed";
        EXPECT_TRUE(ReadFile(path_).contains("NetAddr=\"" + address + "\""));
        EXPECT_EQ(Stat().st_uid, 1000u) << "written in place, the file stays its owner's";
        EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden),
                  QStringList{"project.xml"});
    }
}

TEST_F(SaveExisting, ReplaceKeepsPermissionsAndOwner) {
    const bool root = geteuid() == 0;
    for (const mode_t mode : {0640, 0666, 0604, 0600}) {
        ASSERT_EQ(chmod(QFile::encodeName(path_).constData(), mode), 0);
        // Only root can give the file away; a normal user's save keeps its own uid anyway.
        if (root) {
            ASSERT_EQ(chown(QFile::encodeName(path_).constData(), 65534, 65534), 0);
        }
        const struct stat before = Stat();
        const QByteArray text = "<Device Mode=\"" + QByteArray::number(mode, 8) + "\"/>\n";
        const FileWrite status = ReplaceFile(path_, text);
        ASSERT_TRUE(status.ok) << status.message.toStdString();
        ExpectOnly(text);
        const struct stat after = Stat();
        EXPECT_NE(after.st_ino, before.st_ino) << "replaced, not written over";
        EXPECT_EQ(after.st_mode & 07777, mode);
        EXPECT_EQ(after.st_uid, before.st_uid);
        EXPECT_EQ(after.st_gid, before.st_gid);
    }
}

// A save through the document goes the atomic way where the folder allows it.
// A file system without permissions or owners (FAT through FUSE, many network shares)
// answers the calls that would give the new file the old one's with ENOSYS or EOPNOTSUPP:
// the save goes on. Any other refusal still stops it, the old file kept.
int NoModeHere(int, mode_t) {
    errno = ENOSYS;
    return -1;
}
int NoOwnerHere(int, uid_t, gid_t) {
    errno = ENOSYS;
    return -1;
}
int NoModeSupported(int, mode_t) {
    errno = EOPNOTSUPP;
    return -1;
}
int ModeRefused(int, mode_t) {
    errno = EACCES;
    return -1;
}

TEST_F(SaveExisting, AFileSystemWithoutPermissionsTakesTheSave) {
    const QByteArray old = ReadFile(path_);
    for (const OwnerAndModeCalls calls : {OwnerAndModeCalls{NoModeHere, NoOwnerHere},
                                          OwnerAndModeCalls{NoModeSupported, NoOwnerHere}}) {
        SetOwnerAndModeCalls(calls);
        const FileWrite status = ReplaceFile(path_, "<Device NetAddr=\"2\"/>\n");
        EXPECT_TRUE(status.ok) << status.message.toStdString();
        ExpectOnly("<Device NetAddr=\"2\"/>\n");
        WriteFile(path_, old);
    }
    SetOwnerAndModeCalls({ModeRefused, NoOwnerHere});
    EXPECT_FALSE(ReplaceFile(path_, "<Device NetAddr=\"3\"/>\n").ok);
    ExpectOnly(old);
    SetOwnerAndModeCalls({});
}

// A name as long as a folder takes (255 bytes) saves like any other: the new file beside
// it has a name that fits.
TEST_F(SaveExisting, TheLongestNameSaves) {
    const QString longest = dir_.filePath(QString(251, u'p') + ".xml");
    ASSERT_TRUE(QFile::rename(path_, longest));
    path_ = longest;
    XmlDocument doc;
    ASSERT_TRUE(doc.Load(path_).Ok());
    doc.DocumentElement().SetAttribute("NetAddr", "7");
    const XmlStatus status = doc.Save(path_);
    EXPECT_TRUE(status.Ok()) << status.message.toStdString();
    EXPECT_TRUE(ReadFile(path_).startsWith("<Device NetAddr=\"7\">"));
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QFileInfo(path_).fileName()});
}

TEST_F(SaveExisting, SaveReplacesInAnOpenFolder) {
    XmlDocument doc;
    ASSERT_TRUE(doc.Load(path_).Ok());
    const ino_t inode = Stat().st_ino;
    ASSERT_TRUE(doc.Save(path_).Ok());
    ExpectOnly(*doc.ToBytes());
    EXPECT_NE(Stat().st_ino, inode);
}

// Nesting is refused beyond the limit, like a damaged file, before anything deeper is
// built; up to the limit the document loads and writes back unchanged.
TEST(XmlDocument, NestingDepthLimit) {
    const auto nested = [](int depth) {
        return QByteArray("<e>").repeated(depth - 1) + "<e/>" +
               QByteArray("</e>").repeated(depth - 1) + "\n";
    };
    XmlDocument doc;
    const QByteArray deepest = nested(kMaxDepth);
    ASSERT_TRUE(doc.LoadFromData(deepest).Ok());
    EXPECT_EQ(doc.ToBytes(), deepest);

    for (const int depth : {kMaxDepth + 1, 100000}) {
        const XmlStatus status = doc.LoadFromData(nested(depth));
        EXPECT_EQ(status.error, XmlError::Limit) << depth;
        EXPECT_FALSE(status.OwnError());
        EXPECT_TRUE(status.message.contains(QString::number(kMaxDepth))) << depth;
        EXPECT_TRUE(doc.DocumentElement().IsNull());
    }
}

// An element with more attributes than any project writes is refused before the parser
// sees it (its duplicate check grows with the square of the count). Quotes, comments,
// CDATA, instructions and the document type around it count nothing; UTF-16 is counted
// in its own units.
TEST(XmlDocument, AttributeCountLimit) {
    const auto document = [](int count) {
        QString attributes;
        for (int i = 0; i < count; ++i)
            attributes += QStringLiteral(" a%1=%2").arg(i).arg(i % 2 ? "'x=\">'" : "\"y='>\"");
        return QStringLiteral("<!DOCTYPE d SYSTEM \"p=q>\" [<!-- r=s -->]>\n<!-- c=d -->\n"
                              "<?pi g=h?>\n<d%1><![CDATA[ i=j ]]> k=l&gt;<e m='n'/></d>\n")
            .arg(attributes);
    };
    struct Case {
        int count;
        bool utf16;
        bool loads;
    };
    for (const Case& c : {Case{kMaxAttributes, false, true}, Case{kMaxAttributes + 1, false, false},
                          Case{kMaxAttributes, true, true}, Case{kMaxAttributes + 1, true, false},
                          Case{100 * kMaxAttributes, false, false}}) {
        const QString text = document(c.count);
        const QByteArray bytes =
            c.utf16 ? QStringEncoder(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom)
                          .encode(text)
                    : text.toUtf8();
        XmlDocument doc;
        const XmlStatus status = doc.LoadFromData(bytes);
        EXPECT_EQ(status.Ok(), c.loads) << c.count << " " << status.message.toStdString();
        if (c.loads) {
            EXPECT_EQ(doc.DocumentElement().Attribute(QStringLiteral("a%1").arg(c.count - 1)),
                      QString(c.count % 2 ? "y='>" : "x=\">"));
        } else {
            EXPECT_EQ(status.error, XmlError::Limit);
            EXPECT_TRUE(status.message.contains(QString::number(kMaxAttributes)));
        }
    }
}

// Where the document type's internal subset declares anything, or refers to a parameter
// entity, the file is refused before the parser reads it, whatever its encoding: declared
// defaults would add attributes, declared types would normalise values, declared entities
// would multiply the text. A subset of comments and instructions only, an external
// identifier, and markup inside a comment, an instruction or a literal declare nothing.
TEST(XmlDocument, ADocumentTypeThatDeclaresIsRefused) {
    const testfiles::HangGuard guard;
    const QByteArray utf16 = "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n";
    struct Case {
        const char* name;
        QByteArray doctype;
        XmlError error;
    };
    for (const Case& c : {
             Case{"attribute list", "<!DOCTYPE d [<!ATTLIST e a CDATA 'v'>]>", XmlError::Limit},
             Case{"entity", "<!DOCTYPE d [<!ENTITY x 'y'>]>", XmlError::Limit},
             Case{"element", "<!DOCTYPE d [<!ELEMENT d ANY>]>", XmlError::Limit},
             Case{"notation", "<!DOCTYPE d [<!NOTATION n SYSTEM 'n'>]>", XmlError::Limit},
             Case{"parameter entity", "<!DOCTYPE d [%p;]>", XmlError::Limit},
             Case{"after a quote in a comment", "<!DOCTYPE d [<!-- don't --><!ENTITY x 'y'>]>",
                  XmlError::Limit},
             Case{"after ] and > in the external identifier",
                  "<!DOCTYPE d SYSTEM 'x]>' [<!ENTITY x 'y'>]>", XmlError::Limit},
             Case{"comments and instructions", "<!DOCTYPE d [<!-- <!ENTITY x 'y'> --><?pi %p;?>]>",
                  XmlError::None},
             Case{"external identifier only", "<!DOCTYPE d SYSTEM 'x]>'>", XmlError::None},
             Case{"declarations in a comment outside", "<!-- <!DOCTYPE d [<!ENTITY x 'y'>]> -->",
                  XmlError::None},
             Case{"not well-formed", "<!DOCTYPE d [<!-- c ]>", XmlError::Parse},
         }) {
        const QByteArray text = c.doctype + "\n<d><e/></d>\n";
        const QString wide = QString::fromLatin1(utf16 + text);
        const QByteArray forms[] = {
            text,
            QStringEncoder(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom)
                .encode(wide),
            QStringEncoder(QStringConverter::Utf32BE).encode(QString(wide).replace("16", "32")),
        };
        for (const QByteArray& bytes : forms) {
            XmlDocument doc;
            const XmlStatus status = doc.LoadFromData(bytes);
            EXPECT_EQ(status.error, c.error) << c.name << ": " << status.message.toStdString();
            EXPECT_FALSE(status.OwnError()) << c.name;
            EXPECT_EQ(doc.DocumentElement().IsNull(), c.error != XmlError::None) << c.name;
        }
    }
}

// An encoding whose characters take ASCII bytes of their own (the second byte of a GBK or
// Big5 character may be '[' or '"'), or that writes ASCII characters in other bytes (UTF-7
// writes '<' as "+ADw-"), hides nothing from the limits: they hold on the text the parser
// reads. What hides nothing loads as it reads.
TEST(XmlDocument, TheLimitsHoldInEveryEncoding) {
    const testfiles::HangGuard guard;
    QByteArray attributes, hiddenAttributes;
    for (int i = 0; i <= kMaxAttributes; ++i) {
        attributes += " a" + QByteArray::number(i) + "=\"\"";
        hiddenAttributes += " a" + QByteArray::number(i) + "+AD0-'1'";
    }
    const QByteArray gbkName = "D\x81\x5B";  // one character, its second byte '['
    const QByteArray big5Name = "D\xA4\x5D"; // one character, its second byte ']'
    struct Case {
        const char* name;
        QByteArray encoding;
        QByteArray body;
        XmlError error;
    };
    for (const Case& c : {
             Case{"GBK, an opening bracket in a name", "GBK",
                  "<!DOCTYPE " + gbkName + ">\n<" + gbkName + attributes + "/>", XmlError::Limit},
             Case{"GBK, a declaration after it", "GBK",
                  "<!DOCTYPE " + gbkName + " SYSTEM \"]\" [<!ATTLIST " + gbkName +
                      " xmlns:zz CDATA \"urn:injected\">]>\n<" + gbkName + "/>",
                  XmlError::Limit},
             Case{"GBK, nothing hidden", "GBK",
                  "<!DOCTYPE " + gbkName + ">\n<" + gbkName + " a=\"\xC4\xE3\"/>", XmlError::None},
             Case{"GB18030", "GB18030",
                  "<!DOCTYPE " + gbkName + ">\n<" + gbkName + attributes + "/>", XmlError::Limit},
             Case{"Big5, a closing bracket in a name", "Big5",
                  "<!DOCTYPE " + big5Name + " [<!ENTITY x 'y'>]>\n<" + big5Name + "/>",
                  XmlError::Limit},
             Case{"UTF-7, a hidden declaration", "UTF-7",
                  "<!DOCTYPE d [+ADw-!ATTLIST e a CDATA 'v'>]><d><e/></d>", XmlError::Limit},
             Case{"UTF-7, hidden attributes", "UTF-7", "<d><e" + hiddenAttributes + "/></d>",
                  XmlError::Limit},
             Case{"UTF-7, nothing hidden", "UTF-7", "<d a=\"+BB8EQAQ4BDIENQRC-\"><e/></d>",
                  XmlError::None},
         }) {
        XmlDocument doc;
        const XmlStatus status = doc.LoadFromData("<?xml version=\"1.0\" encoding=\"" + c.encoding +
                                                  "\"?>\n" + c.body + "\n");
        EXPECT_EQ(status.error, c.error) << c.name << ": " << status.message.toStdString();
        EXPECT_EQ(doc.DocumentElement().IsNull(), c.error != XmlError::None) << c.name;
    }
    XmlDocument doc;
    ASSERT_TRUE(doc.LoadFromData("<?xml version=\"1.0\" encoding=\"UTF-7\"?>\n"
                                 "<d a=\"+BB8EQAQ4BDIENQRC-\"/>\n")
                    .Ok());
    EXPECT_EQ(doc.DocumentElement().Attribute("a"),
              std::optional<QString>(QString::fromUtf8("Привет")));
}

// The comments and instructions of the internal subset belong to the document type: an
// unchanged save writes it once, as the file held it, however often it is repeated, and
// wherever its keyword also stands in a comment or an instruction.
TEST(XmlDocument, ADocumentTypeIsWrittenOnceAsItWasRead) {
    for (const QByteArray& file : {
             QByteArray("<?xml version=\"1.0\"?>\n<!-- before -->\n"
                        "<!DOCTYPE Device [<!-- c --><?pi x?>\n]>\n<?after y?>\n<Device/>\n"),
             QByteArray("<!DOCTYPE Device [<!-- <!DOCTYPE x> --><?pi <!DOCTYPE y>?>]>\n"
                        "<Device/>\n"),
             QByteArray("<?xml version=\"1.0\"?>\n<!-- <!DOCTYPE x> -->\n<?pi <!DOCTYPE y>?>\n"
                        "<!DOCTYPE Device [\n<?pi <!DOCTYPE z>?><!--<!DOCTYPE x>-->\n]>\n"
                        "<!--<!DOCTYPE w>-->\n<Device/>\n"),
             QByteArray("<?xml version=\"1.0\"?>\r\n<!-- a -->\r\n<!DOCTYPE Device [\r\n"
                        "<!-- <!DOCTYPE x>\r\n -->\r\n]>\r\n<Device/>\r\n"),
             QByteArray("<!DOCTYPE Device SYSTEM \"x]>\" [<?pi ]>?><!--]>-->]>\n<Device/>\n"),
         }) {
        QByteArray bytes = file;
        for (int save = 0; save < 3; ++save) {
            XmlDocument doc;
            const XmlStatus status = doc.LoadFromData(bytes);
            ASSERT_TRUE(status.Ok()) << file.constData() << status.message.toStdString();
            bytes = doc.ToBytes().value_or(QByteArray());
            EXPECT_EQ(bytes.toStdString(), file.toStdString()) << "save " << save;
        }
    }
}

// A file of many comments and instructions, before, in and after the document type and
// after the root, loads and saves as it was.
TEST(XmlDocument, ManyCommentsAndInstructionsSaveAsTheyWere) {
    const testfiles::HangGuard guard;
    const QByteArray nodes = QByteArray("<!---->\n<?pi x?>\n").repeated(50000);
    const QByteArray file = "<?xml version=\"1.0\"?>\n" + nodes + "<!DOCTYPE Device [\n" + nodes +
                            "]>\n" + nodes + "<Device><!--in--></Device>\n" + nodes;
    XmlDocument doc;
    ASSERT_TRUE(doc.LoadFromData(file).Ok());
    EXPECT_EQ(doc.DocumentElement().LocalName(), "Device");
    EXPECT_EQ(doc.DocumentElement().ChildNodes().Count(), 1);
    EXPECT_TRUE(doc.ToBytes() == file);
}

// Lines and columns of an error are those of the file, whatever stands before it.
TEST(XmlDocument, AnErrorIsReportedAtItsLineInTheFile) {
    XmlDocument doc;
    const XmlStatus status = doc.LoadFromData("<!DOCTYPE d [\n<!--\n\n-->\n]>\n<d>\n<e>\n</d>\n");
    EXPECT_EQ(status.error, XmlError::Parse);
    EXPECT_TRUE(status.message.contains("line 8")) << status.message.toStdString();
}

// Every encoding the decoder knows, by each of its names: a project that loads in it saves,
// and what was saved loads again as the same document, whether the file was written in
// ASCII with character references (as by hand) or wholly in the encoding. An encoding the
// writer cannot write back is refused at load.
TEST(XmlDocument, WhatLoadsInAnyEncodingSavesAndLoadsAgain) {
    const QString body = QString::fromUtf8("<Device Name=\"Прибор\" Note=\"a+b~c\\d [x]\">\n"
                                           "  <Str>中文 é &amp; x</Str>\n</Device>\n");
    const QString referenced = QStringLiteral(
        "<Device Name=\"&#x41F;&#x440;&#x438;&#x431;&#x43E;&#x440;\" Note=\"a+b~c\\d [x]\">\n"
        "  <Str>&#x4E2D;&#x6587; &#xE9; &amp; x</Str>\n</Device>\n");
    QStringList names;
    for (int32_t i = 0; i < ucnv_countAvailable(); ++i) {
        const char* name = ucnv_getAvailableName(i);
        names << QString::fromLatin1(name);
        UErrorCode error = U_ZERO_ERROR;
        for (const char* standard : {"IANA", "MIME"})
            if (const char* alias = ucnv_getStandardName(name, standard, &error);
                alias && U_SUCCESS(error))
                names << QString::fromLatin1(alias);
    }
    names.removeDuplicates();
    int loaded = 0;
    for (const QString& name : names) {
        const QString declaration = "<?xml version=\"1.0\" encoding=\"" + name + "\"?>\n";
        std::vector<QByteArray> files = {(declaration + referenced).toLatin1()};
        QStringEncoder encoder(name.toLatin1().constData());
        const QByteArray whole = encoder.encode(declaration + body);
        if (encoder.isValid() && !encoder.hasError())
            files.push_back(whole);
        for (const QByteArray& file : files) {
            SCOPED_TRACE(name.toStdString() + (file == files.front() ? ", by hand" : ", whole"));
            XmlDocument first;
            if (!first.LoadFromData(file).Ok())
                continue;
            ++loaded;
            XmlStatus status;
            const std::optional<QByteArray> saved = first.ToBytes(&status);
            ASSERT_TRUE(saved.has_value()) << status.message.toStdString();
            XmlDocument again;
            status = again.LoadFromData(*saved);
            ASSERT_TRUE(status.Ok()) << status.message.toStdString() << "\n"
                                     << saved->left(80).toHex().constData();
            EXPECT_EQ(again.ToBytes(), saved);
            const XmlElement a = first.DocumentElement(), b = again.DocumentElement();
            EXPECT_EQ(a.Attribute("Name"), b.Attribute("Name"));
            EXPECT_EQ(a.Attribute("Note"), b.Attribute("Note"));
            EXPECT_EQ(a.FindChildElement("Str").Text(), b.FindChildElement("Str").Text());
            if (file != files.front()) {
                EXPECT_EQ(a.Attribute("Note"), std::optional<QString>("a+b~c\\d [x]"));
            }
        }
    }
    EXPECT_GT(loaded, 100) << "of " << names.size() << " names";
}

} // namespace
