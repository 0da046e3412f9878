// A settings file's text with values set: only the lines of those values change, and
// QSettings reads every other value of the file as before.
#include "IniText.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

TEST(IniText, OnlyTheLinesOfTheValuesSetChange) {
    const struct {
        const char* what;
        QByteArray text;
        TIniValues values;
        QByteArray expected;
    } cases[] = {
        {"no file yet", "", {{"Width", "640"}}, "[General]\nWidth=640\n"},
        {"a value replaced in place",
         "[General]\nWidth=1\nHeight=2\n",
         {{"Width", "640"}},
         "[General]\nWidth=640\nHeight=2\n"},
        {"new values where QSettings would have them, its keys sorted",
         "[General]\nHeight=1\nWidth=1\n\n[Own]\nx=1\n",
         {{"WinState", "2"}, {"Top", "5"}, {"Left", "6"}, {"Dir", "/"}},
         "[General]\nDir=/\nHeight=1\nLeft=6\nTop=5\nWidth=1\nWinState=2\n\n[Own]\nx=1\n"},
        {"the later of two values of a name",
         "",
         {{"Top", "1"}, {"Top", "2"}},
         "[General]\nTop=2\n"},
        {"comments, blanks and a comment after the value kept",
         "; mine\n[General]\n  Width = 1 ; wide\n\n",
         {{"Width", "640"}},
         "; mine\n[General]\n  Width=640 ; wide\n\n"},
        {"a name written twice by hand: the first line gets it, the second goes",
         "[General]\nWidth=1\nHeight=2\n  Width=3\n",
         {{"Width", "4"}},
         "[General]\nWidth=4\nHeight=2\n"},
        {"no general group: one added at the end",
         "[Own]\nx=1",
         {{"Width", "640"}},
         "[Own]\nx=1\n\n[General]\nWidth=640\n"},
        {"no line end at the end",
         "[General]\nWidth=1",
         {{"WinState", "2"}},
         "[General]\nWidth=1\nWinState=2\n"},
        {"Windows line ends",
         "[General]\r\nWidth=1\r\n",
         {{"WinState", "2"}},
         "[General]\r\nWidth=1\r\nWinState=2\r\n"},
        {"a byte order mark", "\xEF\xBB\xBFWidth=1\n", {{"Width", "2"}}, "\xEF\xBB\xBFWidth=2\n"},
        {"after a byte order mark, the blanks before the first key are the key's",
         "\xEF\xBB\xBF\tWidth=1\n",
         {{"Width", "2"}, {"\tWidth", "3"}},
         "\xEF\xBB\xBF%09Width=3\nWidth=2\n"},
        {"and nothing goes before that key",
         "\xEF\xBB\xBF Width=1\n",
         {{"\tA", "2"}},
         "\xEF\xBB\xBF Width=1\n%09A=2\n"},
        {"values before any group are the general group's",
         "Width=1\n[Own]\nx=1\n",
         {{"Top", "2"}},
         "Top=2\nWidth=1\n[Own]\nx=1\n"},
        {"the general group in small letters",
         "[general]\nWidth=1\n",
         {{"Width", "2"}},
         "[general]\nWidth=2\n"},
        {"[%General] is a group of that name",
         "[%General]\nWidth=1\n",
         {{"Width", "2"}},
         "[%General]\nWidth=1\n\n[General]\nWidth=2\n"},
        {"a name escaped by hand",
         "[General]\n%57idth=1\n",
         {{"Width", "2"}},
         "[General]\nWidth=2\n"},
        {"a value in quotes over two lines",
         "[General]\nNote=\"a\nb\"\nWidth=1\n",
         {{"Note", "c"}},
         "[General]\nNote=c\nWidth=1\n"},
        {"a value continued by a backslash",
         "[General]\nNote=a\\\nb\nWidth=1\n",
         {{"Note", "c"}},
         "[General]\nNote=c\nWidth=1\n"},
        {"a general group with no value yet",
         "[General]\n[Own]\nx=1\n",
         {{"Width", "1"}},
         "[General]\nWidth=1\n[Own]\nx=1\n"},
        {"a line QSettings cannot read is kept",
         "[General]\ngarbage\nWidth=1\n",
         {{"Width", "2"}},
         "[General]\ngarbage\nWidth=2\n"},
        {"a value of another group, by its whole name",
         "[Own]\nx=1\n",
         {{"Own/x", "2"}, {"Own/y", "3"}},
         "[Own]\nx=2\n\n[General]\nOwn\\y=3\n"},
        {"a last value whose quote never closes takes no line after it",
         "[General]\nNote=\"a\n",
         {{"WinState", "2"}},
         "[General]\nWinState=2\nNote=\"a\n"},
        {"nor one that ends in a backslash",
         "[General]\nDir=C:\\",
         {{"Width", "1"}},
         "[General]\nWidth=1\nDir=C:\\"},
        {"nor one whose last line end is escaped",
         "[General]\nDir=C:\\\r\n",
         {{"Width", "1"}},
         "[General]\nWidth=1\r\nDir=C:\\\r\n"},
        {"without a general group, one goes first then",
         "; mine\n[Own]\nx=\"a",
         {{"Width", "1"}},
         "; mine\n[General]\nWidth=1\n\n[Own]\nx=\"a"},
        {"a key with an empty part, which QSettings reads under the key without it",
         "[General]\n\\Width=1\nHeight\\\\=2\nHeight=3\n",
         {{"Width", "4"}, {"Height", "5"}},
         "[General]\n\\Width=1\nHeight\\\\=2\nHeight=5\nWidth=4\n"},
        {"names and texts that need escapes",
         "",
         {{"Имя", "/tmp/a b/архив"}, {"a b", " x"}, {"List", "1, 2"}, {"At", "@x"}},
         "[General]\nAt=@@x\nList=\"1, 2\"\na%20b=\" x\"\n%U0418%U043C%U044F=/tmp/a b/архив\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray text = WithIniValues(c.text, c.values);
        EXPECT_EQ(text.toStdString(), c.expected.toStdString());
        std::optional<QVariantMap> meant = ReadIniText(c.text);
        const std::optional<QVariantMap> read = ReadIniText(text);
        ASSERT_TRUE(meant && read);
        for (const auto& [name, value] : c.values)
            meant->insert(IniKey(name), value);
        EXPECT_EQ(*read, *meant);
    }
}

} // namespace
