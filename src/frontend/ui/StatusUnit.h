#pragma once
#include <QWidget>
#include <string>
#include <vector>

class QPlainTextEdit;
struct VarnexContext;

// The receiver's status screen as it arrived, unchanged.
class TStatusForm : public QWidget {
  Q_OBJECT
 public:
  explicit TStatusForm(VarnexContext& context, QWidget* parent = nullptr);

  // Empties the memo and fills it with the lines in order.
  void SetLines(const std::vector<std::string>& lines);
  std::vector<std::string> Lines() const;
  QPlainTextEdit* Memo1() const { return memo1_; }

 protected:
 private:
  VarnexContext& context_;
  QPlainTextEdit* memo1_ = nullptr;
};
