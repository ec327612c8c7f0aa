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

// A font by face and character height in pixels. "Arial Black" is a heavy
// face, so its fonts are given the black weight.
QFont MakeFont(const QString& face, int pixelSize, bool bold = false, bool underline = false);

}  // namespace impactsim::ui
