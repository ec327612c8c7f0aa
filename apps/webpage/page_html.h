#pragma once
// A program's web page from its window's description (window_description.h):
// every control absolutely placed at its rectangle in the client area, with
// its font and colours, the description itself embedded for the page's script
// (page.js), which runs the engine in a worker (worker.js).

#include <QJsonObject>
#include <QString>

namespace impactsim::web {

QString PageHtml(const QJsonObject& description);

// The page that links every program's page; `programs` as ["halvorn", ...].
QString IndexHtml(const QStringList& programs);

}  // namespace impactsim::web
