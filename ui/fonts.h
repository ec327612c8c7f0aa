#pragma once
// The faces the window names, and their installed substitutes.

#include <QFont>
#include <QString>

namespace impactsim::ui {

inline const QString kPGothic = QStringLiteral("ＭＳ Ｐゴシック");
inline const QString kGothic = QStringLiteral("ＭＳ ゴシック");
inline const QString kArialBlack = QStringLiteral("Arial Black");
inline const QString kTimesNewRoman = QStringLiteral("Times New Roman");

// Maps each named face to an installed one of the same kind: IPA P Gothic and
// IPA Gothic for the two Japanese faces, Liberation Serif for Times New Roman
// and a heavy Liberation Sans for Arial Black. Call once, after the
// application object exists and before any font is used.
void InstallFontSubstitutes();

// How wide a named face is drawn, in percent of its substitute's own width,
// when the substitute stands in for it: IPA P Gothic sets Latin text about
// 5% wider than the face the controls were sized for, so it is condensed to
// keep every caption inside its control. 100 where the face itself is
// installed, or for a face whose substitute needs no fitting.
int SubstituteStretch(const QString& face);

// A font by face and character height in pixels. "Arial Black" is a heavy
// face, so its fonts are given the black weight; a substituted face is
// condensed by SubstituteStretch.
QFont MakeFont(const QString& face, int pixelSize, bool bold = false, bool underline = false);

}  // namespace impactsim::ui
