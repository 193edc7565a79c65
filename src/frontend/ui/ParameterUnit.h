#pragma once
#include <QDialog>

struct VarnexContext;

class TParameterForm : public QDialog {
  Q_OBJECT
 public:
  explicit TParameterForm(VarnexContext& context, QWidget* parent = nullptr);

 private:
  VarnexContext& context_;
};
