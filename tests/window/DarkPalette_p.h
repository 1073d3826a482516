// A dark palette as a dark desktop theme gives one (light text on dark
// grounds), for the window tests and the pictures.
#pragma once

#include <QColor>
#include <QPalette>

namespace {

inline QPalette DarkDesktopPalette() {
  QPalette p;
  const QColor window(0x35, 0x35, 0x38), base(0x24, 0x24, 0x27), text(0xEE, 0xEE, 0xEE);
  for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) {
    p.setColor(g, QPalette::Window, window);
    p.setColor(g, QPalette::WindowText, text);
    p.setColor(g, QPalette::Base, base);
    p.setColor(g, QPalette::AlternateBase, window);
    p.setColor(g, QPalette::Text, text);
    p.setColor(g, QPalette::Button, window);
    p.setColor(g, QPalette::ButtonText, text);
    p.setColor(g, QPalette::BrightText, Qt::white);
    p.setColor(g, QPalette::Light, window.lighter(150));
    p.setColor(g, QPalette::Midlight, window.lighter(125));
    p.setColor(g, QPalette::Mid, window.darker(120));
    p.setColor(g, QPalette::Dark, window.darker(150));
    p.setColor(g, QPalette::Shadow, Qt::black);
    p.setColor(g, QPalette::Highlight, QColor(0x35, 0x84, 0xE4));
    p.setColor(g, QPalette::HighlightedText, Qt::white);
    p.setColor(g, QPalette::ToolTipBase, base);
    p.setColor(g, QPalette::ToolTipText, text);
    p.setColor(g, QPalette::PlaceholderText, QColor(0x90, 0x90, 0x90));
    p.setColor(g, QPalette::Link, QColor(0x78, 0xAE, 0xED));
  }
  const QColor grey(0x80, 0x80, 0x80);
  p.setColor(QPalette::Disabled, QPalette::Window, window);
  p.setColor(QPalette::Disabled, QPalette::Base, window);
  p.setColor(QPalette::Disabled, QPalette::Button, window);
  for (QPalette::ColorRole r : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) p.setColor(QPalette::Disabled, r, grey);
  return p;
}

}  // namespace
