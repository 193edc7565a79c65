#pragma once
#include <QWidget>

struct VarnexContext;

class TErrorForm : public QWidget {
  Q_OBJECT
 public:
  explicit TErrorForm(VarnexContext& context, QWidget* parent = nullptr);

 private:
  VarnexContext& context_;
};
