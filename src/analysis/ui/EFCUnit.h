#pragma once
#include <QWidget>

struct VarnexContext;

class TEFCForm : public QWidget {
  Q_OBJECT
 public:
  explicit TEFCForm(VarnexContext& context, QWidget* parent = nullptr);

 private:
  VarnexContext& context_;
};
