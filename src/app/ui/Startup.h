#pragma once
// Creates the fourteen windows in their fixed order and tears them down again.
#include <string>
#include <vector>

class QMessageBox;
class QWidget;

struct VarnexContext;

class VarnexWindows {
 public:
  explicit VarnexWindows(VarnexContext& context);
  ~VarnexWindows();
  VarnexWindows(const VarnexWindows&) = delete;
  VarnexWindows& operator=(const VarnexWindows&) = delete;

  // The windows in the order they were created.
  const std::vector<QWidget*>& Created() const { return created_; }

 private:
  template <class T>
  T* Create();

  VarnexContext& context_;
  std::vector<QWidget*> created_;
};

// Tells the user, on stderr and in a box over parent, that no files can be kept. The box
// blocks nothing but parent: the poll thread and the refresh cycle go on behind it.
QMessageBox* ShowFolderProblem(QWidget* parent, const std::string& problem);
