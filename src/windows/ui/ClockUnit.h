#pragma once
#include <QWidget>

struct VarnexContext;

class TClockForm : public QWidget {
  Q_OBJECT
 public:
  explicit TClockForm(VarnexContext& context, QWidget* parent = nullptr);

 private:
  VarnexContext& context_;
};
