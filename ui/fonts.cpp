#include "ui/fonts.h"

#include <QStringList>

namespace impactsim::ui {

void InstallFontSubstitutes() {
  QFont::insertSubstitutions(kPGothic, QStringList{QStringLiteral("IPAPGothic")});
  QFont::insertSubstitutions(kGothic, QStringList{QStringLiteral("IPAGothic")});
  QFont::insertSubstitutions(kTimesNewRoman, QStringList{QStringLiteral("Liberation Serif")});
  QFont::insertSubstitutions(kArialBlack, QStringList{QStringLiteral("Liberation Sans")});
}

QFont MakeFont(const QString& face, int pixelSize, bool bold, bool underline) {
  QFont font(face);
  font.setPixelSize(pixelSize);
  font.setWeight(face == kArialBlack ? QFont::Black : bold ? QFont::Bold : QFont::Normal);
  font.setUnderline(underline);
  return font;
}

}  // namespace impactsim::ui
