#pragma once
// "Varnex Events", opened from the parameters dialog: the command run for each event
// and which events show as desktop notifications. What it edits is applied by the
// parameters dialog's Ok, with the rest.
#include <QDialog>

#include "frontend/EventSettings.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

class TEventsForm : public QDialog {
  Q_OBJECT
 public:
  explicit TEventsForm(QWidget* parent = nullptr);

  void SetSettings(const EventSettings& settings);
  EventSettings Settings() const;

  QLineEdit* CommandEdit = nullptr;
  QPushButton* BrowseButton = nullptr;
  QCheckBox* StatusBox = nullptr;
  QCheckBox* LineBox = nullptr;
  QCheckBox* ErrorBox = nullptr;
  QCheckBox* FileBox = nullptr;
  QPushButton* OkButton = nullptr;
  QPushButton* CancelButton = nullptr;
};
