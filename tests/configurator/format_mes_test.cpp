#include "ConfiguratorImages.h"
#include "FormatMes.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

namespace {

// The range notice as the channels write it: a line feed, then a carriage return.
const QString kRangeNotice =
    QString("Значение должно быть ") + QChar(0x0A) + QChar(0x0D) + "от 0 до 65535";

class FormatMes : public ::testing::Test {
public:
    FormatMes() : form(&main) {
        main.setGeometry(100, 80, 640, 480);
        main.show();
    }
    // Answers the modal loop the form is about to run.
    void Soon(std::function<void()> action) { QTimer::singleShot(0, &form, std::move(action)); }
    QPoint CentredOnMain() const {
        const QRect m = main.frameGeometry();
        const QRect f = form.frameGeometry();
        return {m.left() + (m.width() - f.width()) / 2, m.top() + (m.height() - f.height()) / 2};
    }

    QWidget main;
    TFormatMesForm form;
};

TEST_F(FormatMes, FixedLayout) {
    EXPECT_EQ(form.windowTitle(), "Внимание!");
    EXPECT_EQ(form.size(), QSize(213, 104));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_EQ(form.Image1->geometry(), QRect(8, 8, 48, 48));
    EXPECT_FALSE(form.Image1->pixmap().isNull());
    EXPECT_EQ(form.Image1->pixmap().toImage(),
              QPixmap::fromImage(configurator::Image("message")).toImage());
    EXPECT_EQ(form.Image1->pixmap().size(), QSize(48, 48));
    EXPECT_EQ(form.StaticText1->geometry(), QRect(64, 8, 137, 49));
    EXPECT_TRUE(form.StaticText1->alignment() & Qt::AlignHCenter);
    EXPECT_EQ(form.Button1->text(), "Хорошо");
    EXPECT_EQ(form.Button1->geometry(), QRect(72, 72, 75, 25));
}

TEST_F(FormatMes, LineBreaksAndLongTexts) {
    const struct {
        QString text;
        QString shown;
    } cases[] = {
        {kRangeNotice, "Значение должно быть \nот 0 до 65535"},
        {"a\r\nb", "a\nb"},
        {"a\rb\nc", "a\nb\nc"},
        {"Не смог перевести \"<b>1</b>\" в число", "Не смог перевести \"<b>1</b>\" в число"},
    };
    for (const auto& c : cases) {
        form.SetText(c.text);
        EXPECT_EQ(form.StaticText1->text(), c.shown);
    }
    EXPECT_EQ(form.StaticText1->textFormat(), Qt::PlainText); // typed text is never markup

    form.SetText(QString("очень длинный текст ").repeated(20));
    form.show();
    EXPECT_EQ(form.StaticText1->size(), QSize(137, 49));
    EXPECT_EQ(form.size(), QSize(213, 104));
}

TEST_F(FormatMes, EachShowingIsCentredOnTheMainWindow) {
    for (const QPoint& mainAt : {QPoint(100, 80), QPoint(400, 20), QPoint(0, 0)}) {
        main.move(mainAt);
        form.show();
        EXPECT_EQ(form.frameGeometry().topLeft(), CentredOnMain()) << mainAt.x();
        form.hide();
    }
    // A main window smaller than the form: the offset is negative, truncated toward zero.
    main.setGeometry(300, 300, 100, 50);
    form.show();
    EXPECT_EQ(form.frameGeometry().topLeft(), CentredOnMain());
}

TEST_F(FormatMes, ShowNoticeReturnsWhenClosed) {
    Soon([this] {
        EXPECT_TRUE(form.isVisible());
        EXPECT_EQ(form.StaticText1->text(), "Значение должно быть \nот 0 до 65535");
        EXPECT_EQ(form.frameGeometry().topLeft(), CentredOnMain());
        form.Button1->click();
    });
    form.ShowNotice(kRangeNotice);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Accepted);

    // The close box ends the loop as well.
    Soon([this] { form.close(); });
    form.ShowNotice("второй");
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.StaticText1->text(), "второй");
}

TEST_F(FormatMes, ServesAsTheNoticeSeam) {
    SetNoticeHandler(&form);
    Soon([this] { form.Button1->click(); });
    ShowNotice("через шов");
    SetNoticeHandler(nullptr);
    EXPECT_EQ(form.StaticText1->text(), "через шов");
}

// A form destroyed while it serves as the seam leaves no handler behind to call.
TEST(FormatMesSeam, DestroyedFormLeavesTheSeam) {
    auto form = std::make_unique<TFormatMesForm>();
    SetNoticeHandler(form.get());
    form.reset();
    EXPECT_EQ(CurrentNoticeHandler(), nullptr);
    ShowNotice("никому"); // shows nothing, calls nothing dead
}

} // namespace
