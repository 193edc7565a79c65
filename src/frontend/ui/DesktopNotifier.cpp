#include "frontend/ui/DesktopNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace {
const char* const Service = "org.freedesktop.Notifications";
const char* const Path = "/org/freedesktop/Notifications";

QString Summary(const ReceiverEvent& e) {
  switch (e.Kind) {
    case EventKind::StatusChanged:
      return e.Status == "HOLD" ? "Reference in holdover" : "Reference status " + QString::fromStdString(e.Status);
    case EventKind::ReceiverError:
      return "Receiver error";
    case EventKind::LineLost:
      return "Receiver line lost";
    case EventKind::LineBack:
      return "Receiver line back";
    case EventKind::FileFailed:
      return "A file cannot be written";
    case EventKind::FileWritten:
      return "A file is written again";
  }
  return "Varnex";
}
}  // namespace

DesktopNotifier::DesktopNotifier(Trace trace, QObject* parent, const QDBusConnection& bus)
    : QObject(parent), trace_(std::move(trace)), bus_(bus) {}

std::string DesktopNotifier::Condition(const ReceiverEvent& e) {
  switch (e.Kind) {
    case EventKind::StatusChanged:
      return "status";
    case EventKind::LineLost:
    case EventKind::LineBack:
      return "line";
    case EventKind::ReceiverError:
      return "error";
    case EventKind::FileFailed:
    case EventKind::FileWritten:
      return "file " + e.File;
  }
  return "other";
}

void DesktopNotifier::SayOnce(const std::string& why) {
  if (said_) return;
  said_ = true;
  if (trace_) trace_("Desktop notifications are not shown: " + why);
}

void DesktopNotifier::Notify(const ReceiverEvent& e) {
  if (!bus_.isConnected()) {
    SayOnce("no session bus");
    return;
  }
  const std::string condition = Condition(e);
  QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Service, "Notify");
  QVariantMap hints;
  // Urgency: 1 normal, 2 critical.
  hints["urgency"] = QVariant::fromValue<uchar>(e.Critical() ? 2 : 1);
  hints["desktop-entry"] = QString("org.varnex.Varnex");
  const auto known = ids_.find(condition);
  // Receiver text is shown escaped: a notification server may read markup in the body.
  call << QString("Varnex") << static_cast<uint>(known == ids_.end() ? 0 : known->second)
       << QString("org.varnex.Varnex") << Summary(e)
       << QString::fromStdString(IsoUtc(e.Time) + "\n" + EscapeReceiverText(e.Message, 1024)).toHtmlEscaped()
       << QStringList() << hints << static_cast<int>(e.Critical() ? 0 : -1);
  ++calls_;
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, CallTimeoutMs), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, condition] {
    watcher->deleteLater();
    const QDBusPendingReply<uint> reply = *watcher;
    if (reply.isError()) {
      SayOnce("no notification server (" + reply.error().name().toStdString() + ")");
      return;
    }
    ids_[condition] = reply.value();
    ++shown_;
  });
}
