#pragma once
#include <QWidget>

struct VarnexContext;

class TStatusLogForm : public QWidget {
  Q_OBJECT
 public:
  explicit TStatusLogForm(VarnexContext& context, QWidget* parent = nullptr);

 private:
  VarnexContext& context_;
};
