#pragma once
// The viewer's colours as the toolkit draws them.
#include "ColorValues.h"

#include <QColor>

namespace viewer {

QColor ToQColor(TColor color);
// Always the 00BBGGRR form.
TColor FromQColor(const QColor& color);

} // namespace viewer
