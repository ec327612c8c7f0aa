#pragma once
// The two 18 x 18 button images, drawn by code on a transparent background.

#include <QPixmap>

namespace impactsim::ui {

QPixmap CheckMarkImage();  // Start: a green check mark
QPixmap OpenDoorImage();   // End: an open door

}  // namespace impactsim::ui
