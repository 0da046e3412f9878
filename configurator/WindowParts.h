#pragma once
// Small pieces that the configurator's dialogs share.
#include <QString>

class QWidget;

// The windows are laid out for an 8-point font; the desktop's own family stands in for
// the layout's.
void SetLayoutFont(QWidget* window);

// A text with its line breaks made one each: a line feed followed by a carriage return
// (as the instrument link and the range notices write them), a carriage return followed
// by a line feed, or either alone.
QString DisplayLines(QString text);

// Places the dialog centred on the main window's outer frame, where it is now; a main
// window smaller than the dialog gives a negative offset.
void CentreOn(QWidget* dialog, const QWidget* mainWindow);
