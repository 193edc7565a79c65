#pragma once
#include <QWidget>

struct VarnexContext;

class TStatusForm : public QWidget {
  Q_OBJECT
 public:
  explicit TStatusForm(VarnexContext& context, QWidget* parent = nullptr);

 private:
  VarnexContext& context_;
};
