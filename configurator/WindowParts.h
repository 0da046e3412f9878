#pragma once
// Small pieces that the configurator's dialogs share.
#include "LayoutFont.h"

#include <QString>

class QPushButton;
class QWidget;

using platform::SetLayoutFont;

// A text with its line breaks made one each: a line feed followed by a carriage return
// (as the instrument link and the range notices write them), a carriage return followed
// by a line feed, or either alone.
QString DisplayLines(QString text);

// Places the dialog centred on the main window's outer frame, where it is now; a main
// window smaller than the dialog gives a negative offset.
void CentreOn(QWidget* dialog, const QWidget* mainWindow);

// The button's width for its caption in its own font: the text, the style's margin and
// frame around it; never less than the layout's width.
int FittingWidth(const QPushButton* button, int layoutWidth);
