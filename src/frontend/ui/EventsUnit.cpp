#include "frontend/ui/EventsUnit.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QCheckBox* NewBox(QWidget* parent, const char* name, const QString& caption, const QString& tip) {
  auto* box = new QCheckBox(caption, parent);
  box->setObjectName(name);
  box->setToolTip(tip);
  return box;
}
}  // namespace

TEventsForm::TEventsForm(QWidget* parent) : QDialog(parent) {
  setObjectName("EventsForm");
  setWindowTitle("Varnex Events");
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

  auto* command = new QGroupBox("Event command", this);
  CommandEdit = new QLineEdit(command);
  CommandEdit->setObjectName("CommandEdit");
  CommandEdit->setPlaceholderText("none");
  CommandEdit->setMinimumWidth(300);
  CommandEdit->setToolTip(
      "A program run for each event, directly and not through a shell, with the event's name as its\n"
      "argument and VARNEX_EVENT, VARNEX_TIME, VARNEX_STATUS, VARNEX_PREVIOUS_STATUS, VARNEX_MESSAGE,\n"
      "VARNEX_DEVICE, VARNEX_FOLDER and VARNEX_RECEIVER in its environment. One run at a time, at most 30 s.");
  BrowseButton = new QPushButton("&Browse...", command);
  BrowseButton->setObjectName("BrowseButton");
  connect(BrowseButton, &QPushButton::clicked, this, [this] {
    const QString path = QFileDialog::getOpenFileName(this, "Event command", CommandEdit->text());
    if (!path.isEmpty()) CommandEdit->setText(path);
  });
  auto* commandRow = new QHBoxLayout;
  commandRow->addWidget(CommandEdit, 1);
  commandRow->addWidget(BrowseButton);
  auto* commandColumn = new QVBoxLayout(command);
  commandColumn->addLayout(commandRow);
  auto* note = new QLabel("Run with the event's name and its values; see the manual page.", command);
  note->setEnabled(false);
  commandColumn->addWidget(note);

  auto* notify = new QGroupBox("Desktop notifications", this);
  StatusBox = NewBox(notify, "StatusBox", "&Status changes", "Holdover is shown as critical");
  LineBox = NewBox(notify, "LineBox", "&Lost line and its return", "A lost line is shown as critical");
  ErrorBox = NewBox(notify, "ErrorBox", "&Receiver errors", "Each new text of the receiver's error queue");
  FileBox = NewBox(notify, "FileBox", "&Files that cannot be written", "A data or log file, and when it works again");
  auto* grid = new QGridLayout(notify);
  grid->addWidget(StatusBox, 0, 0);
  grid->addWidget(LineBox, 0, 1);
  grid->addWidget(ErrorBox, 1, 0);
  grid->addWidget(FileBox, 1, 1);

  OkButton = new QPushButton("&Ok", this);
  OkButton->setObjectName("OkButton");
  OkButton->setDefault(true);
  CancelButton = new QPushButton("&Cancel", this);
  CancelButton->setObjectName("CancelButton");
  connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(OkButton);
  buttons->addWidget(CancelButton);

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(8, 6, 8, 8);
  outer->addWidget(command);
  outer->addWidget(notify);
  outer->addLayout(buttons);
  setFixedSize(sizeHint());
}

void TEventsForm::SetSettings(const EventSettings& s) {
  CommandEdit->setText(QString::fromStdString(s.Command));
  StatusBox->setChecked(s.NotifyStatus);
  LineBox->setChecked(s.NotifyLine);
  ErrorBox->setChecked(s.NotifyError);
  FileBox->setChecked(s.NotifyFile);
}

EventSettings TEventsForm::Settings() const {
  EventSettings s;
  s.Command = CommandEdit->text().trimmed().toStdString();
  s.NotifyStatus = StatusBox->isChecked();
  s.NotifyLine = LineBox->isChecked();
  s.NotifyError = ErrorBox->isChecked();
  s.NotifyFile = FileBox->isChecked();
  return s;
}
