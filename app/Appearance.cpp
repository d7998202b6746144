#include "app/Appearance.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

namespace vexil::app {

namespace {

const QString kTahomaFamily = QStringLiteral("Tahoma");
// Fixed-pitch faces for the dumps, in order of preference; each prints every character
// of the dumps with the same advance.
const QString kFixedFamilies[] = {QStringLiteral("Courier New"), QStringLiteral("DejaVu Sans Mono"),
                                  QStringLiteral("Liberation Mono")};
const char* const kTahomaFiles[] = {
    "/usr/share/wine/fonts/tahoma.ttf",
    "/usr/share/wine/fonts/tahomabd.ttf",
};

}  // namespace

bool installTahoma() {
  // Once per process: every family look-up asks fontconfig to resolve aliases, which
  // is the dearest part of start-up.
  static const bool installed = [] {
    if (QFontDatabase::families().contains(kTahomaFamily)) return true;
    bool loaded = false;
    for (const char* file : kTahomaFiles) {
      if (QFile::exists(QString::fromLatin1(file)) &&
          QFontDatabase::addApplicationFont(QString::fromLatin1(file)) >= 0) {
        loaded = true;
      }
    }
    return loaded;
  }();
  return installed;
}

void applyDesktopLook() {
  if (QStyle* classic = QStyleFactory::create(QStringLiteral("Windows"))) {
    QApplication::setStyle(classic);
  }
  installTahoma();
  QApplication::setFont(tahoma());
}

QFont tahoma(int pointSize, bool bold) {
  QFont font(kTahomaFamily, pointSize, bold ? QFont::Bold : QFont::Normal);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

bool printsEvenly(const QFont& font) {
  const QFontMetrics metrics(font);
  const int advance = metrics.horizontalAdvance(QLatin1Char('$'));
  for (const QChar c : kDumpCharacters) {
    if (metrics.horizontalAdvance(c) != advance) return false;
  }
  return advance > 0;
}

QFont courierNew(int pointSize) {
  // The first of the families installed, found by name in the list the font database
  // already holds. A family list with absent names first would cost a fallback search
  // through fontconfig as soon as the memo's document lays itself out, which it does
  // when the font is set, while the window is built. TypeWriter sends a system without
  // any of them to its fixed-pitch face.
  static const QStringList families = [] {
    const QStringList installed = QFontDatabase::families();
    QStringList present;
    for (const QString& family : kFixedFamilies) {
      if (installed.contains(family)) present.append(family);
    }
    return present.isEmpty() ? QStringList(std::begin(kFixedFamilies), std::end(kFixedFamilies))
                             : present;
  }();
  QFont font;
  font.setFamilies(families);
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setPointSize(pointSize);
  return font;
}

QColor pageColour(vexil::PageColour role) {
  switch (role) {
    case vexil::PageColour::ButtonFace:
      return buttonFace();
    case vexil::PageColour::Failure:
      return QColor(kFailureRgb);
    case vexil::PageColour::Success:
      return QColor(kSuccessRgb);
    case vexil::PageColour::EditBase:
      return editBackground();
    case vexil::PageColour::Typed:
      return QColor(kTypedEditRgb);
  }
  return buttonFace();
}

std::string latin1(const QString& text) { return text.toLatin1().toStdString(); }

QString fromLatin1(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QColor buttonFace() { return QApplication::palette().color(QPalette::Button); }

QColor editBackground() { return QApplication::palette().color(QPalette::Base); }

}  // namespace vexil::app
