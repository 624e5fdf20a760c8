#pragma once

#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <filesystem>

namespace quibra::test {

// Four quarters in red, green, blue and yellow: normal, pressed, hot, disabled.
QPixmap QuarterStrip(int width, int height);
// The colour in the middle of a freshly painted widget.
QColor CentreColour(QWidget& widget);
// Shows a top-level widget and waits until it is exposed.
void ShowAndExpose(QWidget& window);
// Loads the English messages that ship with the build, once.
void LoadShippedMessages();
// Where the gallery pictures go: <build>/gallery.
std::filesystem::path GalleryDir();

}  // namespace quibra::test
