#pragma once
#include <QWidget>

struct VarnexContext;

class TCommandForm : public QWidget {
  Q_OBJECT
 public:
  explicit TCommandForm(VarnexContext& context, QWidget* parent = nullptr);

 private:
  VarnexContext& context_;
};
