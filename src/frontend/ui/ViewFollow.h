#pragma once
// The main window's part in viewing a folder another program writes: follows the files
// from the refresh tick, feeds the charts and log windows, says in the status bar what
// it sees, and takes away what would need the receiver's line.
#include <QObject>
#include <memory>

#include "frontend/FolderView.h"

class QLabel;
class TMainForm;
struct VarnexContext;

class TViewFollow : public QObject {
  Q_OBJECT
 public:
  TViewFollow(VarnexContext& context, TMainForm& main);
  ~TViewFollow() override;

  // Before the charts and logs load from the folder.
  void Start();
  // Once every window exists and has loaded: from here on new lines are followed.
  void Join();
  // From the 100 ms tick.
  void Tick();

  FolderView& View() { return view_; }
  QLabel* Mark() const { return mark_; }

 private:
  void ShowNewest();
  void OfferOnlyWhatWorks();

  VarnexContext& context_;
  TMainForm& main_;
  FolderView view_;
  QLabel* mark_ = nullptr;
  bool joined_ = false;
};
