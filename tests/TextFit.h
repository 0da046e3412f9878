#pragma once
// Whether every text of a window fits the room that its control and the control's parents
// leave it, measured in the control's own font. Only what is shown counts: walk a window in
// each of the states that show different texts.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QStyle>
#include <QStyleOption>
#include <QTextDocument>
#include <QtMath>

namespace textfit {

// The desktop's default face, chosen by name so that the measure does not depend on what
// fontconfig makes of "Sans Serif". Call before the windows are made.
inline void UseDesktopFont() {
    QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
}

// The part of rect (in w's coordinates) that w and its parents up to top leave visible.
inline QRect Visible(const QWidget* w, const QWidget* top, const QRect& rect) {
    const QPoint offset = w->mapTo(top, QPoint(0, 0));
    QRect visible = (rect & w->rect()).translated(offset);
    for (const QWidget* c = w->parentWidget(); c && c != top; c = c->parentWidget())
        visible &= QRect(c->mapTo(top, QPoint(0, 0)), c->size());
    return (visible & top->rect()).translated(-offset);
}

struct TText {
    QString Text;
    QRect Needed; // where the text and the kind's margins lie, in w's coordinates
    QRect Room;   // where the control draws it
};

inline QRect Aligned(const QWidget* w, Qt::Alignment alignment, QSize size, const QRect& area) {
    return QStyle::alignedRect(w->layoutDirection(), alignment, size, area);
}

// A label draws inside its contents, less its margin and, framed, an indent on the side it
// is aligned to.
inline TText LabelText(const QLabel* label) {
    const QFontMetrics fm = label->fontMetrics();
    QRect area = label->contentsRect().adjusted(label->margin(), label->margin(), -label->margin(),
                                                -label->margin());
    int indent = label->indent();
    if (indent < 0 && label->frameWidth() > 0)
        indent = fm.horizontalAdvance(u'x') / 2 - label->margin();
    if (indent > 0) {
        if (label->alignment() & Qt::AlignLeft)
            area.setLeft(area.left() + indent);
        if (label->alignment() & Qt::AlignRight)
            area.setRight(area.right() - indent);
    }
    const bool rich = label->textFormat() == Qt::RichText ||
                      (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()));
    if (rich) {
        QTextDocument document;
        document.setDefaultFont(label->font());
        document.setDocumentMargin(0);
        document.setHtml(label->text());
        const QSize size(qCeil(document.idealWidth()), qCeil(document.size().height()));
        return {label->text(), Aligned(label, label->alignment(), size, area), area};
    }
    const QRect text =
        label->wordWrap()
            ? fm.boundingRect(area, int(label->alignment()) | Qt::TextWordWrap, label->text())
            : Aligned(label, label->alignment(), fm.size(0, label->text()), area);
    return {label->text(), text, area};
}

// A push button centres its text; the style's button margin and frame lie around it.
inline TText PushButtonText(const QPushButton* button) {
    const QStyle* style = button->style();
    const int margin = style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) / 2 +
                       style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
    const QSize text = button->fontMetrics().size(Qt::TextShowMnemonic, button->text());
    const QRect needed =
        Aligned(button, Qt::AlignCenter, text, button->rect()).adjusted(-margin, 0, margin, 0);
    return {button->text(), needed, button->rect()};
}

// A text drawn at the left of area, centred in its height.
inline TText LeftInArea(const QWidget* w, const QString& text, const QRect& area) {
    const QSize size = w->fontMetrics().size(Qt::TextShowMnemonic, text);
    return {text, Aligned(w, Qt::AlignLeft | Qt::AlignVCenter, size, area), area};
}

// Check and radio buttons put their text beside the indicator, in the style's contents.
inline TText IndicatorButtonText(const QAbstractButton* button, QStyle::SubElement contents) {
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    return LeftInArea(button, button->text(),
                      button->style()->subElementRect(contents, &option, button));
}

inline TText GroupBoxTitle(const QGroupBox* box) {
    QStyleOptionGroupBox option;
    option.initFrom(box);
    option.text = box->title();
    option.subControls = QStyle::SC_GroupBoxLabel;
    return LeftInArea(
        box, box->title(),
        box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box));
}

inline TText ComboBoxText(const QComboBox* box) {
    QStyleOptionComboBox option;
    option.initFrom(box);
    option.editable = box->isEditable();
    return LeftInArea(box, box->currentText(),
                      box->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                   QStyle::SC_ComboBoxEditField, box));
}

// Each shown text of top and its children that does not fit, as
// "class 'text': needs N px, has M px".
inline QStringList TextsThatDoNotFit(const QWidget* top) {
    QStringList faults;
    const auto check = [&](const QWidget* w, const TText& t) {
        if (t.Text.isEmpty())
            return;
        const QRect room = Visible(w, top, t.Room);
        if (room.contains(t.Needed))
            return;
        faults << QStringLiteral("%1 '%2': needs %3 x %4 px, has %5 x %6 px")
                      .arg(QString::fromLatin1(w->metaObject()->className()), t.Text)
                      .arg(t.Needed.width())
                      .arg(t.Needed.height())
                      .arg(room.width())
                      .arg(room.height());
    };
    // The shown controls of this window; other windows (dialogs, menus, pop-ups) are
    // walked on their own.
    QList<const QWidget*> widgets{top};
    for (qsizetype i = 0; i < widgets.size(); ++i)
        for (const QObject* child : widgets[i]->children())
            if (const auto* w = qobject_cast<const QWidget*>(child);
                w && !w->isWindow() && !w->isHidden())
                widgets << w;
    for (const QWidget* w : widgets) {
        if (const auto* label = qobject_cast<const QLabel*>(w))
            check(w, LabelText(label));
        else if (const auto* button = qobject_cast<const QPushButton*>(w))
            check(w, PushButtonText(button));
        else if (const auto* box = qobject_cast<const QCheckBox*>(w))
            check(w, IndicatorButtonText(box, QStyle::SE_CheckBoxContents));
        else if (const auto* radio = qobject_cast<const QRadioButton*>(w))
            check(w, IndicatorButtonText(radio, QStyle::SE_RadioButtonContents));
        else if (const auto* group = qobject_cast<const QGroupBox*>(w))
            check(w, GroupBoxTitle(group));
        else if (const auto* combo = qobject_cast<const QComboBox*>(w))
            check(w, ComboBoxText(combo));
    }
    return faults;
}

// The faults of the states walked so far, each after the name of its state. A state is
// walked once the event loop has shown what it shows (controls made while the window was
// up appear from there).
struct TWalk {
    void operator()(const QString& state, const QWidget* window) {
        QApplication::processEvents();
        for (const QString& fault : TextsThatDoNotFit(window))
            Faults << state + ": " + fault;
    }
    QStringList Faults;
};

} // namespace textfit
