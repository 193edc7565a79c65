#pragma once
// Gives a window its design size and centres it, the first time it is shown.
#include <QSize>

class QWidget;

enum class DesignSize {
  Outer,   // the window's size with its frame, as a user measures it on screen
  Client,  // the area inside the frame
};

struct WindowPlacementOptions {
  WindowPlacementOptions() = default;
  WindowPlacementOptions(QSize size, DesignSize kind, const QWidget* centreOver = nullptr, bool fixed = false,
                         QSize minimumClient = {})
      : Size(size), Kind(kind), CentreOver(centreOver), Fixed(fixed), MinimumClient(minimumClient) {}

  QSize Size;
  DesignSize Kind = DesignSize::Outer;
  // Centred over this window's frame; over the screen when null (or not shown).
  const QWidget* CentreOver = nullptr;
  // A fixed border: the client size is fixed as well.
  bool Fixed = false;
  // The client area never gets smaller than this, however much the frame takes.
  QSize MinimumClient;
};

// Sizes the window now (with the frame margins known so far) and again at its first
// show, when the window manager's frame is known, then centres it. Later shows keep
// wherever the user moved it.
void PlaceWindow(QWidget& window, const WindowPlacementOptions& options);
