#pragma once
#include <QWidget>

struct VarnexContext;

class TLevelForm : public QWidget {
  Q_OBJECT
 public:
  explicit TLevelForm(VarnexContext& context, QWidget* parent = nullptr);

 private:
  VarnexContext& context_;
};
