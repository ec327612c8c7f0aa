// The pages' HTML, written from the windows' descriptions.

#include "apps/webpage/page_html.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace impactsim::web {

namespace {

QString Box(const QJsonArray& r) {
  return QStringLiteral("left:%1px;top:%2px;width:%3px;height:%4px;")
      .arg(r[0].toInt())
      .arg(r[1].toInt())
      .arg(r[2].toInt())
      .arg(r[3].toInt());
}

QString FontStyle(const QJsonObject& f) {
  QStringList families;
  for (const QJsonValue& v : f["families"].toArray()) families.append('\'' + v.toString() + '\'');
  families.append(QStringLiteral("sans-serif"));
  QString css = QStringLiteral("font-family:%1;font-size:%2px;")
                    .arg(families.join(','))
                    .arg(f["pixelSize"].toInt());
  css += f["bold"].toBool() ? QStringLiteral("font-weight:bold;") : QString();
  css += f["underline"].toBool() ? QStringLiteral("text-decoration:underline;") : QString();
  if (f["stretch"].toInt() > 0 && f["stretch"].toInt() != 100) {
    css += QStringLiteral("font-stretch:%1%;").arg(f["stretch"].toInt());
  }
  return css;
}

QString ColourStyle(const QJsonObject& c) {
  QString css;
  const QJsonObject colours = c["colours"].toObject();
  if (colours.contains("text")) css += "color:" + colours["text"].toString() + ';';
  if (colours.contains("background")) {
    css += "background:" + colours["background"].toString() + ';';
  }
  return css;
}

QString Escaped(const QString& text) {
  return text.toHtmlEscaped();
}

QString RadioHtml(const QJsonObject& c, const QString& open) {
  const QJsonArray outer = c["rect"].toArray();
  QString html = open + "<span class=\"caption\">" + Escaped(c["caption"].toString()) + "</span>";
  const QJsonArray items = c["items"].toArray();
  const QJsonArray places = c["itemRects"].toArray();
  for (qsizetype i = 0; i < items.size(); ++i) {
    QJsonArray r = places[i].toArray();
    r[0] = r[0].toInt() - outer[0].toInt();
    r[1] = r[1].toInt() - outer[1].toInt();
    html += QStringLiteral(
                "<label class=\"item\" style=\"%1\"><input type=\"radio\" name=\"%2\" "
                "value=\"%3\"%4>%5</label>")
                .arg(Box(r), c["name"].toString())
                .arg(i)
                .arg(i == c["choice"].toInt() ? QStringLiteral(" checked") : QString(),
                     Escaped(items[i].toString()));
  }
  return html + "</div>";
}

QString ControlHtml(const QJsonObject& c) {
  const QString kind = c["kind"].toString();
  const QString name = c["name"].toString();
  const QString style = Box(c["rect"].toArray()) + FontStyle(c["font"].toObject()) + ColourStyle(c);
  const QString open =
      QStringLiteral("<div id=\"%1\" class=\"control %2\" style=\"%3\"").arg(name, kind, style);
  if (kind == "radio") {
    return RadioHtml(c, open + (c["shown"].toBool() ? QString() : QStringLiteral(" hidden")) + '>');
  }
  if (kind == "check") {
    return QStringLiteral(
               "<label id=\"%1\" class=\"control check\" style=\"%2\"><input "
               "type=\"checkbox\"%3>%4</label>")
        .arg(name, style, c["checked"].toBool() ? QStringLiteral(" checked") : QString(),
             Escaped(c["caption"].toString()));
  }
  if (kind == "button") {
    return QStringLiteral("<button id=\"%1\" class=\"control button\" style=\"%2\">%3</button>")
        .arg(name, style, Escaped(c["caption"].toString()));
  }
  if (kind == "field") {
    return QStringLiteral("<input id=\"%1\" class=\"control field\" style=\"%2\" readonly>")
        .arg(name, style);
  }
  if (kind == "log") {
    return QStringLiteral(
               "<textarea id=\"%1\" class=\"control log\" style=\"%2\" readonly "
               "wrap=\"off\"></textarea>")
        .arg(name, style);
  }
  if (kind == "picture") {
    const QJsonArray r = c["rect"].toArray();
    return QStringLiteral(
               "<canvas id=\"%1\" class=\"control picture\" style=\"%2\" width=\"%3\" "
               "height=\"%4\"></canvas>")
        .arg(name, style)
        .arg(r[2].toInt())
        .arg(r[3].toInt());
  }
  const QString centred = c["centred"].toBool() ? QStringLiteral(" centred") : QString();
  return QStringLiteral("<div id=\"%1\" class=\"control %2%3\" style=\"%4\">%5</div>")
      .arg(name, kind, centred, style, Escaped(c["caption"].toString()));
}

}  // namespace

QString PageHtml(const QJsonObject& d) {
  const QString program = d["program"].toString();
  const QJsonArray size = d["clientSize"].toArray();
  QString html = QStringLiteral(
                     "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n"
                     "<title>%1: %2</title>\n<link rel=\"stylesheet\" href=\"impactsim.css\">\n"
                     "</head>\n<body>\n<div class=\"window\" style=\"width:%3px\">\n"
                     "<div class=\"titlebar\">%2</div>\n"
                     "<div class=\"menubar\" style=\"height:%4px\"><button id=\"help1\">%5</button>"
                     "</div>\n<div id=\"client\" class=\"client\" style=\"width:%3px;height:%6px;"
                     "background:%7;%8\">\n")
                     .arg(program, Escaped(d["title"].toString()))
                     .arg(size[0].toInt())
                     .arg(d["menuHeight"].toInt())
                     .arg(Escaped(d["menu"].toArray()[0].toString()))
                     .arg(size[1].toInt())
                     .arg(d["background"].toString(), FontStyle(d["font"].toObject()));
  for (const QJsonValue& c : d["controls"].toArray()) html += ControlHtml(c.toObject()) + '\n';
  // The description's text cannot end the script element: "</" is written "<\/".
  QString json = QString::fromUtf8(QJsonDocument(d).toJson(QJsonDocument::Compact));
  json.replace(QStringLiteral("</"), QStringLiteral("<\\/"));
  html += QStringLiteral(
              "</div>\n</div>\n<p class=\"seedline\">Seed <span id=\"seed\"></span>: the same "
              "run on the command line is <code id=\"command\"></code></p>\n"
              "<p class=\"note\">End starts the page afresh: a browser closes only the tabs its "
              "pages opened. <a href=\"index.html\">Both programs</a></p>\n"
              "<script id=\"description\" type=\"application/json\">%1</script>\n"
              "<script src=\"page.js\"></script>\n</body>\n</html>\n")
              .arg(json);
  return html;
}

QString IndexHtml(const QStringList& programs) {
  QString links;
  for (const QString& p : programs) {
    links += QStringLiteral("<li><a href=\"%1.html\">%1</a></li>\n").arg(p);
  }
  return QStringLiteral(
             "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
             "<title>Social impact simulation</title>\n<link rel=\"stylesheet\" "
             "href=\"impactsim.css\">\n</head>\n<body class=\"index\">\n"
             "<h1>Social impact simulation</h1>\n<ul>\n%1</ul>\n"
             "<p>Each page runs its program in the browser and shows the run's seed; "
             "<code>impactsim run --seed SEED</code> with the same settings repeats it.</p>\n"
             "</body>\n</html>\n")
      .arg(links);
}

}  // namespace impactsim::web
