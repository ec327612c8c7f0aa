// impactsim-webpage: writes the web edition's pages from the windows
// themselves. Run by the build; not installed.
//
//   impactsim-webpage DIR   writes DIR/PROGRAM.json and DIR/PROGRAM.html for
//                           each window program, and DIR/index.html
//
// The window is built off screen with the fonts it uses on a desktop, and
// read control by control (window_description.h), so the pages follow every
// change to the window's tables.

#include <QApplication>
#include <QFile>
#include <QJsonDocument>
#include <cstdlib>
#include <exception>
#include <iostream>

#include "apps/webpage/page_html.h"
#include "apps/webpage/window_description.h"
#include "ui/fonts.h"

namespace {

bool Write(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
    std::cerr << "impactsim-webpage: cannot write " << path.toStdString() << '\n';
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: impactsim-webpage DIR\n";
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;
  QApplication app(qtArgc, argv);
  impactsim::ui::InstallFontSubstitutes();
  const QString dir = QString::fromLocal8Bit(argv[1]) + '/';
  try {
    QStringList programs;
    for (const auto* layout : {&impactsim::ui::HalvornWindow(), &impactsim::ui::KestaneWindow()}) {
      const QJsonObject description = impactsim::web::DescribeWindow(*layout);
      const QString program = description["program"].toString();
      programs.append(program);
      if (!Write(dir + program + ".json", QJsonDocument(description).toJson()) ||
          !Write(dir + program + ".html", impactsim::web::PageHtml(description).toUtf8())) {
        return 1;
      }
    }
    if (!Write(dir + "index.html", impactsim::web::IndexHtml(programs).toUtf8())) return 1;
  } catch (const std::exception& e) {
    std::cerr << "impactsim-webpage: " << e.what() << '\n';
    return 1;
  }
  return EXIT_SUCCESS;
}
