#pragma once
#include <QMainWindow>

struct VarnexContext;

class TDebugForm : public QMainWindow {
  Q_OBJECT
 public:
  explicit TDebugForm(VarnexContext& context, QWidget* parent = nullptr);

 private:
  VarnexContext& context_;
};
