#pragma once
// Events shown as freedesktop notifications over the session bus. Calls never wait
// for an answer: without a bus or a notification server nothing is shown and one
// trace line says so.
#include <QDBusConnection>
#include <QObject>
#include <functional>
#include <map>
#include <string>

#include "frontend/ReceiverEvents.h"

class DesktopNotifier : public QObject {
  Q_OBJECT
 public:
  using Trace = std::function<void(const std::string& line)>;
  static constexpr int CallTimeoutMs = 5000;

  explicit DesktopNotifier(Trace trace, QObject* parent = nullptr,
                           const QDBusConnection& bus = QDBusConnection::sessionBus());

  void Notify(const ReceiverEvent& event);

  // Notifications the server took (answers with an id), and calls made.
  int Shown() const { return shown_; }
  int Calls() const { return calls_; }
  // True once it was said that nothing is shown (no bus, or no server answered).
  bool Unavailable() const { return said_; }

  // The same condition again replaces its notification: the status, the line, the
  // receiver's errors and each file have one each.
  static std::string Condition(const ReceiverEvent& event);

 private:
  void SayOnce(const std::string& why);

  Trace trace_;
  QDBusConnection bus_;
  std::map<std::string, unsigned> ids_;
  bool said_ = false;
  int shown_ = 0;
  int calls_ = 0;
};
