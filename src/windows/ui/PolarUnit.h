#pragma once
#include <QWidget>

struct VarnexContext;

class TPolarForm : public QWidget {
  Q_OBJECT
 public:
  explicit TPolarForm(VarnexContext& context, QWidget* parent = nullptr);

 private:
  VarnexContext& context_;
};
