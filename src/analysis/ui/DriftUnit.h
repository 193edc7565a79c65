#pragma once
#include <QWidget>

struct VarnexContext;

class TDriftForm : public QWidget {
  Q_OBJECT
 public:
  explicit TDriftForm(VarnexContext& context, QWidget* parent = nullptr);

 private:
  VarnexContext& context_;
};
