#pragma once
// Small builders for the viewer's fixed-layout dialogs.
#include <QFont>
#include <QString>

class QFrame;
class QLabel;
class QPushButton;
class QRect;
class QWidget;

namespace viewer {

// A 48 x 48 picture from the viewer's images at x, y.
QLabel* Picture(const QString& image, QWidget* parent, int x, int y);
// A label sized to its text at x, y.
QLabel* Text(const QString& text, QWidget* parent, int x, int y);
QPushButton* Button(const QString& text, QWidget* parent, const QRect& geometry);
// The sunken separator line above a dialog's buttons.
QFrame* Separator(QWidget* parent, const QRect& geometry);
// The parent's font, bold, at the given point size (0 keeps the size).
QFont BoldFont(const QWidget* parent, int pointSize = 0, int weight = QFont::Bold);

} // namespace viewer
