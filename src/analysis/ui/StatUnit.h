#pragma once
#include <QWidget>

struct VarnexContext;

class TStatForm : public QWidget {
  Q_OBJECT
 public:
  explicit TStatForm(VarnexContext& context, QWidget* parent = nullptr);

 private:
  VarnexContext& context_;
};
