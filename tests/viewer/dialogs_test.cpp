#include "About.h"
#include "Setings.h"
#include "Sory.h"
#include "ViewerImages.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>

namespace {

using viewer::TColor;

// The settings dialog shown without a modal loop; its font and colour dialogs answer
// from the test.
class SetingsDialog : public ::testing::Test {
public:
    void SetUp() override {
        current.Precision = 3;
        current.HeadColor = 0x000000FF;
        current.FerstColor = 0x00FFFFFF;
        current.SecondColor = 0xFF00000F;
        current.GridFont = QFont("DejaVu Sans", 9);
        windowFont = QFont("DejaVu Serif", 11);
        form.PickColor = [this](const QColor& initial) {
            offeredColors.append(initial);
            return colorAnswer;
        };
        form.PickFont = [this](const QFont&) { return fontAnswer; };
        form.Load(current, windowFont);
        form.show();
    }
    void DoubleClick(QWidget* w) { QTest::mouseDClick(w, Qt::LeftButton, {}, QPoint(5, 5)); }
    bool ShowsChanged() const {
        EXPECT_NE(form.ImageON->isHidden(), form.ImageOFF->isHidden());
        return !form.ImageON->isHidden();
    }

    TSetingsForm form;
    TSetingsValues current;
    QFont windowFont;
    std::optional<QColor> colorAnswer;
    std::optional<QFont> fontAnswer;
    QList<QColor> offeredColors;
};

TEST_F(SetingsDialog, ShowsTheValuesUnchanged) {
    EXPECT_EQ(form.windowTitle(), "Настройки");
    EXPECT_EQ(form.size(), QSize(339, 209));
    EXPECT_EQ(form.PrecisionComboBox->currentIndex(), 3);
    EXPECT_EQ(form.PrecisionComboBox->currentText(), "0.000");
    EXPECT_FALSE(ShowsChanged());
    EXPECT_FALSE(form.ImageOFF->pixmap().isNull());
    EXPECT_FALSE(form.ImageON->pixmap().isNull());

    // Each swatch is its colour, away from its word.
    const struct {
        TColorSwatch* swatch;
        QRgb rgb;
    } swatches[] = {{form.HeadPaintBox, qRgb(255, 0, 0)},
                    {form.FerstPaintBox, qRgb(255, 255, 255)},
                    {form.SecondPaintBox, viewer::ToQColor(0xFF00000F).rgb()}};
    for (const auto& s : swatches)
        EXPECT_EQ(s.swatch->grab().toImage().pixel(3, 20), s.rgb);
}

TEST_F(SetingsDialog, EditsShowTheChangedImage) {
    struct Edit {
        const char* name;
        std::function<void(SetingsDialog&)> act;
        bool changed;
    };
    const Edit edits[] = {
        {"precision by keyboard",
         [](SetingsDialog& t) { QTest::keyClick(t.form.PrecisionComboBox, Qt::Key_Down); }, true},
        {"same colour",
         [](SetingsDialog& t) {
             t.colorAnswer = QColor(255, 0, 0);
             t.DoubleClick(t.form.HeadPaintBox);
         },
         false},
        {"same system colour",
         [](SetingsDialog& t) {
             t.colorAnswer = viewer::ToQColor(0xFF00000F);
             t.DoubleClick(t.form.SecondPaintBox);
         },
         false},
        {"cancelled colour",
         [](SetingsDialog& t) {
             t.colorAnswer.reset();
             t.DoubleClick(t.form.FerstPaintBox);
         },
         false},
        {"new colour",
         [](SetingsDialog& t) {
             t.colorAnswer = QColor(1, 2, 3);
             t.DoubleClick(t.form.FerstPaintBox);
         },
         true},
        {"cancelled font", [](SetingsDialog& t) { t.form.FontButton->click(); }, false},
        {"same font",
         [](SetingsDialog& t) {
             t.fontAnswer = t.current.GridFont;
             t.form.FontButton->click();
         },
         true},
        {"Сброс", [](SetingsDialog& t) { t.form.DefaultButton->click(); }, true},
    };
    for (const Edit& e : edits) {
        form.Load(current, windowFont);
        colorAnswer.reset();
        fontAnswer.reset();
        e.act(*this);
        EXPECT_EQ(ShowsChanged(), e.changed) << e.name;
    }
    // The colour dialog opened with the swatch's own colour.
    ASSERT_FALSE(offeredColors.isEmpty());
    EXPECT_EQ(offeredColors[0], QColor(255, 0, 0));
}

TEST_F(SetingsDialog, OkGivesTheEditedValues) {
    QTest::keyClick(form.PrecisionComboBox, Qt::Key_Up);
    colorAnswer = QColor(0x12, 0x34, 0x56);
    DoubleClick(form.SecondPaintBox);
    fontAnswer = QFont("DejaVu Sans Mono", 14);
    form.FontButton->click();
    form.OKButton->click();

    EXPECT_EQ(form.result(), QDialog::Accepted);
    const TSetingsValues& v = form.Values();
    EXPECT_EQ(v.Precision, 2);
    EXPECT_EQ(v.HeadColor, current.HeadColor);
    EXPECT_EQ(v.FerstColor, current.FerstColor);
    EXPECT_EQ(v.SecondColor, TColor(0x00563412));
    EXPECT_EQ(v.GridFont, *fontAnswer);
}

TEST_F(SetingsDialog, SbrosGivesTheDefaultsAndCancelRejects) {
    form.DefaultButton->click();
    const TSetingsValues& v = form.Values();
    EXPECT_EQ(form.PrecisionComboBox->currentIndex(), 2);
    EXPECT_EQ(v.HeadColor, TColor(0xFF00001A));
    EXPECT_EQ(v.FerstColor, TColor(0x00FFFFFF));
    EXPECT_EQ(v.SecondColor, TColor(0xFF00000F));
    EXPECT_EQ(v.GridFont, windowFont);
    form.CancelButton->click();
    EXPECT_EQ(form.result(), QDialog::Rejected);

    // The next showing starts again from the main window's values.
    form.Load(current, windowFont);
    EXPECT_EQ(form.Values().HeadColor, current.HeadColor);
    EXPECT_EQ(form.PrecisionComboBox->currentIndex(), 3);
    EXPECT_FALSE(ShowsChanged());
}

TEST_F(SetingsDialog, PrecisionOutOfRangeIsClamped) {
    for (const auto& [stored, shown] : {std::pair{-1, 0}, {7, 4}, {4, 4}}) {
        current.Precision = stored;
        form.Load(current, windowFont);
        EXPECT_EQ(form.PrecisionComboBox->currentIndex(), shown) << stored;
        form.OKButton->click();
        EXPECT_EQ(form.Values().Precision, shown) << stored;
    }
}

TEST(AboutDialog, ShowsTheVersionCentred) {
    TAboutForm about;
    EXPECT_EQ(about.windowTitle(), "О программе");
    EXPECT_EQ(about.StaticText1->text(), "Brisquel");
    EXPECT_TRUE(about.StaticText1->font().bold());
    EXPECT_EQ(about.Version, "1.1001");
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    for (const QPoint& movedTo : {QPoint(0, 0), QPoint(3, 250)}) {
        about.move(movedTo);
        about.show();
        EXPECT_EQ(about.VersionLable->text(), "Версия: 1.1001");
        const QRect frame = about.frameGeometry();
        EXPECT_EQ(frame.left(), screen.width() / 2 - frame.width() / 2);
        EXPECT_EQ(frame.top(), screen.height() / 2 - frame.height() / 2);
        about.ButtonOK->click();
        EXPECT_EQ(about.result(), QDialog::Accepted);
        EXPECT_FALSE(about.isVisible());
    }
}

TEST(SoryDialog, SaysNotSupported) {
    TSoryForm sory;
    EXPECT_EQ(sory.windowTitle(), "Внимание!!!");
    QStringList texts;
    for (const QLabel* label : sory.findChildren<QLabel*>())
        texts.append(label->text());
    EXPECT_TRUE(texts.contains("Данная функция в этой версии программы"));
    EXPECT_TRUE(texts.contains("НЕ поддерживается."));
    sory.show();
    sory.ButtonOk->click();
    EXPECT_EQ(sory.result(), QDialog::Accepted);
}

TEST(ViewerImages, EveryImageDecodes) {
    const QList<QImage> tools = viewer::ToolBarImages();
    ASSERT_EQ(tools.size(), 5);
    for (const QImage& image : tools)
        EXPECT_EQ(image.size(), QSize(48, 48));
    for (const char* name : {"brisquel", "unchanged", "changed", "notice"})
        EXPECT_EQ(viewer::Image(name).size(), QSize(48, 48)) << name;
    EXPECT_TRUE(viewer::Image("none").isNull());
}

TEST(ViewColors, SystemAndPlainColours) {
    EXPECT_EQ(viewer::ToQColor(0x00563412), QColor(0x12, 0x34, 0x56));
    EXPECT_EQ(viewer::ToQColor(0xFF00000F), QColor(0xF0, 0xF0, 0xF0));
    EXPECT_EQ(viewer::ToQColor(0xFF00001A), QColor(0x00, 0x66, 0xCC));
    EXPECT_EQ(viewer::ToQColor(0xFF0000FE), QColor(0, 0, 0));
    EXPECT_EQ(viewer::FromQColor(QColor(0x12, 0x34, 0x56)), TColor(0x00563412));
}

} // namespace
