// The two programs' windows, as data. The sizes of the pictures and of the
// window they stand in are the picture library's (picture/run_pictures.h).

#include "picture/run_pictures.h"
#include "programs/programs.h"
#include "ui/window_layout.h"

namespace impactsim::ui {

namespace {

QSize OuterSizeOf(const picture::PictureSizes& pictures) {
  return {pictures.WindowWidth, pictures.WindowHeight};
}

}  // namespace

const WindowLayout& HalvornWindow() {
  static const WindowLayout layout{
      .Program = &HalvornProgram(),
      .Position = {76, 16},
      .OuterSize = OuterSizeOf(picture::HalvornPictures()),
      .ModelName = QStringLiteral("Model No.1-1(Vossa et al, 1990: Original)"),
      .ModelNameWidth = 301,
      .Panel1Left = 264,
      .Panel1Width = 417,
      .RadioGroup2Place = {144, 64},
      .CheckBox4Place = {232, 56},
      .RadioGroup1Left = 272,
      .RadioGroup3Left = 368,
      .RadioGroup45Left = 392,
      .CheckBox5Place = {496, 520},
      .BitBtn1Top = 464,
      .BitBtn2Top = 496,
      .Memo1Width = 233,
      .CellSize = picture::HalvornPictures().CellSize,
      .ChartCellsPerPixel = picture::HalvornPictures().ChartCellsPerPixel,
      .HelpLines =
          {
              QStringLiteral("このプログラムは Vossa, Kettrin"),
              QStringLiteral("& Lumere(1990)の再現プログラムです．"),
              QStringLiteral("Start ボタンで開始，End ボタンで終了です．"),
              QStringLiteral("デフォールトで Vossa ら(1990)です．"),
              QStringLiteral("条件変更はラジオボタンで行います．"),
              QStringLiteral("  Rounds: 継続ラウンド数"),
              QStringLiteral("  Initial Dist: 初期少数派比率"),
              QStringLiteral("  Distance Par: 「距離係数」"),
              QStringLiteral("  Edge:チェックを外すと空間は torus"),
              QStringLiteral("  Wide Scope:計算範囲の拡大"),
              QStringLiteral("  Remove Self: 自己参照の解除"),
              QStringLiteral("  Summation M:Accumulative model に変更"),
              QStringLiteral("  ただし Distance Par を 4 に設定する．"),
              QStringLiteral("  Random Seq:セルのターンを randomize"),
              QStringLiteral("---  End of Help  ---"),
          },
  };
  return layout;
}

const WindowLayout& KestaneWindow() {
  static const WindowLayout layout{
      .Program = &KestaneProgram(),
      .Position = {72, 80},
      .OuterSize = OuterSizeOf(picture::KestanePictures()),
      .ModelName = QStringLiteral("Model 2. (Lumere et al., 1994)"),
      .ModelNameWidth = 213,
      .Panel1Left = 336,
      .Panel1Width = 353,
      .RadioGroup2Place = {344, 56},
      .CheckBox4Place = {248, 8},
      .RadioGroup1Left = 352,
      .RadioGroup3Left = 576,
      .RadioGroup45Left = 472,
      .CheckBox5Place = {584, 472},
      .BitBtn1Top = 496,
      .BitBtn2Top = 536,
      .Memo1Width = 297,
      .CellSize = picture::KestanePictures().CellSize,
      .ChartCellsPerPixel = picture::KestanePictures().ChartCellsPerPixel,
      .HelpLines =
          {
              QStringLiteral("このプログラムは Lumere, Vossa"),
              QStringLiteral("& Tavu(1994)の再現プログラムです．"),
              QStringLiteral("Start ボタンで開始，End ボタンで終了です．"),
              QStringLiteral("デフォールトで Lumere ら(1994)です．"),
              QStringLiteral("条件変更はラジオボタンで行います．"),
              QStringLiteral("  Rounds: 継続ラウンド数"),
              QStringLiteral("  Initial Dist: 初期少数派比率"),
              QStringLiteral("  Distance Par: 「距離係数」"),
              QStringLiteral("  Summation M:Accumulative model に変更"),
              QStringLiteral("  ただし Distance Par を 4 に設定する．"),
              QStringLiteral("  Random Seq:チェックを外すと一斉変更"),
              QStringLiteral("---  End of Help  ---"),
          },
  };
  return layout;
}

const WindowLayout* WindowOf(const ProgramProfile& program) {
  for (const WindowLayout* layout : {&HalvornWindow(), &KestaneWindow()}) {
    if (layout->Program == &program) return layout;
  }
  return nullptr;
}

}  // namespace impactsim::ui
