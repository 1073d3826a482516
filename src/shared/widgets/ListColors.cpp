#include "shared/widgets/ListColors.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace arkelin::shared {

namespace {

double Channel(double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); }

double Luminance(const QColor& c) {
  const QColor rgb = c.toRgb();
  return 0.2126 * Channel(rgb.redF()) + 0.7152 * Channel(rgb.greenF()) + 0.0722 * Channel(rgb.blueF());
}

constexpr QPalette::ColorRole kRoles[] = {QPalette::Base, QPalette::AlternateBase, QPalette::Text};
constexpr const char* kChosenProperty = "arkelinListColor";

}  // namespace

double ContrastRatio(const QColor& a, const QColor& b) {
  const double la = Luminance(a), lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor ReadableTextOn(const QColor& background, const QColor& preferred) {
  if (preferred.isValid() && ContrastRatio(background, preferred) >= kReadableContrast) return preferred;
  const QColor black(Qt::black), white(Qt::white);
  return ContrastRatio(background, black) >= ContrastRatio(background, white) ? black : white;
}

void ShowListColor(QWidget* list, const QColor& chosen) {
  if (!list) return;
  // What the list would show with nothing of its own: its parent's palette,
  // else the application's (which the platform theme gives).
  const QPalette inherited = list->parentWidget() ? list->parentWidget()->palette() : QApplication::palette(list);
  QPalette own = list->palette();
  // Start from the inherited palette and carry over only the roles the list
  // set itself, other than the ones decided here.
  QPalette next = inherited;
  next.setResolveMask(0);
  for (int g = 0; g < QPalette::NColorGroups; ++g) {
    const auto group = static_cast<QPalette::ColorGroup>(g);
    for (int r = 0; r < QPalette::NColorRoles; ++r) {
      const auto role = static_cast<QPalette::ColorRole>(r);
      if (std::find(std::begin(kRoles), std::end(kRoles), role) != std::end(kRoles)) continue;
      if (own.isBrushSet(group, role)) next.setBrush(group, role, own.brush(group, role));
    }
  }
  if (chosen.isValid()) {
    for (int g = 0; g < QPalette::NColorGroups; ++g) {
      const auto group = static_cast<QPalette::ColorGroup>(g);
      next.setColor(group, QPalette::Base, chosen);
      next.setColor(group, QPalette::AlternateBase, chosen.lightness() > 128 ? chosen.darker(106) : chosen.lighter(115));
      next.setColor(group, QPalette::Text, ReadableTextOn(chosen, inherited.color(group, QPalette::Text)));
    }
  }
  list->setProperty(kChosenProperty, chosen);
  list->setPalette(next);
}

void ShowListColorAgain(QWidget* list) {
  if (!list) return;
  const QVariant chosen = list->property(kChosenProperty);
  if (chosen.isValid()) ShowListColor(list, chosen.value<QColor>());
}

}  // namespace arkelin::shared
