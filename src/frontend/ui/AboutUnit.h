#pragma once
#include <QDialog>

struct VarnexContext;

class TAboutBox : public QDialog {
  Q_OBJECT
 public:
  explicit TAboutBox(VarnexContext& context, QWidget* parent = nullptr);
};
