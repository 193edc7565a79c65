#pragma once
#include <QWidget>

#include "platform/DateTime.h"

struct VarnexContext;

class TClockForm : public QWidget {
  Q_OBJECT
 public:
  explicit TClockForm(VarnexContext& context, QWidget* parent = nullptr);

  // Called once per new second with the receiver's time minus one second.
  void ShowDateTime(TDateTime t);
  TDateTime Shown() const { return shown_; }

 private:
  VarnexContext& context_;
  TDateTime shown_ = 0.0;
};
