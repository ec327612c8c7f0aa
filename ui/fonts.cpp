#include "ui/fonts.h"

#include <QFontInfo>
#include <QStringList>

namespace impactsim::ui {

namespace {

struct Substitute {
  const QString* face;
  const char* installed;
  int stretch;  // percent of the installed face's width
};

const Substitute kSubstitutes[] = {
    {&kPGothic, "IPAPGothic", 95},
    {&kGothic, "IPAGothic", 100},
    {&kTimesNewRoman, "Liberation Serif", 100},
    {&kArialBlack, "Liberation Sans", 100},
};

}  // namespace

void InstallFontSubstitutes() {
  for (const Substitute& s : kSubstitutes) {
    QFont::insertSubstitutions(*s.face, QStringList{QString::fromLatin1(s.installed)});
  }
}

int SubstituteStretch(const QString& face) {
  for (const Substitute& s : kSubstitutes) {
    if (*s.face != face || s.stretch == 100) continue;
    // Only where the substitute is what gets drawn.
    const QString drawn = QFontInfo(QFont(face)).family();
    return drawn == QString::fromLatin1(s.installed) ? s.stretch : 100;
  }
  return 100;
}

QFont MakeFont(const QString& face, int pixelSize, bool bold, bool underline) {
  QFont font(face);
  font.setPixelSize(pixelSize);
  font.setWeight(face == kArialBlack ? QFont::Black : bold ? QFont::Bold : QFont::Normal);
  font.setUnderline(underline);
  if (const int stretch = SubstituteStretch(face); stretch != 100) font.setStretch(stretch);
  return font;
}

}  // namespace impactsim::ui
