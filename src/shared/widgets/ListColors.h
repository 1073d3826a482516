// The colours of the program's lists: the desktop's palette unless the user
// chose a colour of their own.
//
// A list that follows the desktop sets no colour at all, so its background
// and text come from the palette the platform theme gives (light or dark)
// and change with it. A colour the user chose is kept whatever the palette,
// and the text on it is the palette's text colour when that reads well on
// it, else black or white, whichever reads better. Readable means a
// contrast ratio of at least 4.5 to 1 by relative luminance (the usual
// measure for body text); the same colours always give the same answer.
#pragma once

#include <QColor>

class QWidget;

namespace arkelin::shared {

// (L1 + 0.05) / (L2 + 0.05) of the two colours' relative luminances, the
// lighter one above: 1 for equal colours, 21 for black on white.
double ContrastRatio(const QColor& a, const QColor& b);

inline constexpr double kReadableContrast = 4.5;

// `preferred` when it reads well on `background`, else black or white.
QColor ReadableTextOn(const QColor& background, const QColor& preferred);

// An invalid `chosen`: the list takes its background and text from its
// parent and the application palette again (and follows their changes).
// A valid one: that background, with readable text, in every colour group.
// Other colours the list's palette sets are kept. The list remembers the
// colour it was given, for ShowListColorAgain.
void ShowListColor(QWidget* list, const QColor& chosen);
// The colour last given by ShowListColor, shown again against the palette
// now in force (after the desktop's palette changed: the text on a chosen
// colour is chosen anew). Nothing for a list that was never given one.
void ShowListColorAgain(QWidget* list);

}  // namespace arkelin::shared
