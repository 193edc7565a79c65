#include "frontend/ui/WindowPlacement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <algorithm>

#include "frontend/WindowPlacement.h"

namespace {

FrameMargins MarginsOf(const QWidget& window) {
  const QRect frame = window.frameGeometry();
  const QRect client = window.geometry();
  FrameMargins m;
  m.Left = client.left() - frame.left();
  m.Top = client.top() - frame.top();
  m.Right = frame.right() - client.right();
  m.Bottom = frame.bottom() - client.bottom();
  return m;
}

bool Known(const FrameMargins& m) { return m.Left > 0 || m.Top > 0 || m.Right > 0 || m.Bottom > 0; }

WindowBox BoxOf(const QRect& r) { return WindowBox{r.x(), r.y(), r.width(), r.height()}; }

class Placer : public QObject {
 public:
  Placer(QWidget& window, const WindowPlacementOptions& options)
      : QObject(&window), window_(window), options_(options) {
    window.installEventFilter(this);
    Apply(MarginsOf(window));
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == &window_ && event->type() == QEvent::Show && !shown_) {
      shown_ = true;
      FrameMargins margins = MarginsOf(window_);
      if (!Known(margins) && options_.CentreOver && options_.CentreOver->isVisible())
        margins = MarginsOf(*options_.CentreOver);
      Apply(margins);
      Centre(margins);
      // The window manager adds its frame after the show; correct once it is there.
      QPointer<QWidget> guard(&window_);
      QTimer::singleShot(100, this, [this, guard, margins] {
        if (!guard) return;
        const FrameMargins now = MarginsOf(window_);
        if (!Known(now) || (now.Left == margins.Left && now.Top == margins.Top && now.Right == margins.Right &&
                            now.Bottom == margins.Bottom))
          return;
        Apply(now);
        Centre(now);
      });
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  QSize ClientSize(const FrameMargins& margins) const {
    if (options_.Kind == DesignSize::Client) return options_.Size.expandedTo(options_.MinimumClient);
    const WindowBox box = ClientSizeForOuter(options_.Size.width(), options_.Size.height(), margins);
    return QSize(box.Width, box.Height).expandedTo(options_.MinimumClient);
  }

  void Apply(const FrameMargins& margins) {
    const QSize client = ClientSize(margins);
    if (options_.Fixed)
      window_.setFixedSize(client);
    else
      window_.resize(client);
  }

  void Centre(const FrameMargins& margins) {
    QRect over;
    if (options_.CentreOver && options_.CentreOver != &window_ && options_.CentreOver->isVisible())
      over = options_.CentreOver->frameGeometry();
    else if (const QScreen* screen = window_.screen() ? window_.screen() : QGuiApplication::primaryScreen())
      over = screen->availableGeometry();
    else
      return;
    const WindowBox box = CentredClientBox(window_.width(), window_.height(), margins, BoxOf(over));
    QRect frame(box.X - margins.Left, box.Y - margins.Top, window_.width() + margins.Left + margins.Right,
                window_.height() + margins.Top + margins.Bottom);
    // Keep the caption reachable when the reference sits near a screen edge.
    if (const QScreen* screen = QGuiApplication::screenAt(over.center())) {
      const QRect avail = screen->availableGeometry();
      frame.moveLeft(std::clamp(frame.left(), avail.left(), std::max(avail.left(), avail.right() + 1 - frame.width())));
      frame.moveTop(std::clamp(frame.top(), avail.top(), std::max(avail.top(), avail.bottom() + 1 - frame.height())));
    }
    window_.move(frame.topLeft());  // a window's position is its frame's
  }

  QWidget& window_;
  WindowPlacementOptions options_;
  bool shown_ = false;
};

}  // namespace

void PlaceWindow(QWidget& window, const WindowPlacementOptions& options) { new Placer(window, options); }
