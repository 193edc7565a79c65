#include "frontend/ui/ViewFollow.h"

#include <QAction>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QStatusBar>

#include "analysis/ui/EFCUnit.h"
#include "app/ui/VarnexContext.h"
#include "charting/ui/TimeChart.h"
#include "frontend/RefreshCycle.h"
#include "frontend/RefreshRules.h"
#include "frontend/ui/ErrorUnit.h"
#include "frontend/ui/MainUnit.h"
#include "frontend/ui/ParameterUnit.h"
#include "frontend/ui/StausLogUnit.h"

TViewFollow::TViewFollow(VarnexContext& context, TMainForm& main)
    : context_(context), main_(main), view_(context.Folder, context.clock, context.Settings) {
  mark_ = new QLabel(main.statusBar());
  mark_->setObjectName("ViewMark");
  mark_->setToolTip(QString::fromStdString(ViewMarkText(context.Folder)) +
                    "\nVarnex only reads this folder: it opens no port, takes no lock and writes nothing into it.");
  mark_->setStyleSheet(
      "QLabel { color: #1d2330; background: #fff4d6; border: none; border-left: 3px solid #e0a000;"
      " padding: 1px 6px; }");
  // The status bar has room for the folder's own name only; the title and the tip
  // hold the whole path.
  const QFont font = main.StatusPanel(0)->font();
  mark_->setFont(font);
  const QString name = QFileInfo(QString::fromStdString(context.Folder)).fileName();
  const QString shown = QFontMetrics(font).elidedText(name.isEmpty() ? "/" : name, Qt::ElideMiddle, 80);
  mark_->setText(QString::fromStdString(ViewMarkText(shown.toStdString())));
  mark_->setFixedWidth(mark_->sizeHint().width());
  main.statusBar()->insertWidget(0, mark_);
  // The data files hold no life count and no visible satellites.
  main.StatusPanel(RefreshCycle::PanelLife)->hide();
  main.StatusPanel(RefreshCycle::PanelVisible)->hide();
  OfferOnlyWhatWorks();
}

TViewFollow::~TViewFollow() = default;

void TViewFollow::OfferOnlyWhatWorks() {
  // Windows that live on the receiver's line have nothing to show, and the comment would
  // be written into the folder.
  for (const char* name : {"SatelliteAzimuthElevationChart1", "SatelliteCNlevels1", "ReceiverStatus1",
                           "ManualCommandEntry1", "DebugWindow1", "Clock", "WritteCommenttoLog1"})
    if (QAction* a = main_.Action(name)) a->setVisible(false);
  // The stability run needs no identified receiver when the data are in the files.
  if (QAction* a = main_.Action("TimeStab")) a->setEnabled(true);
}

void TViewFollow::Start() {
  view_.SetSeries({&main_.Series1, &main_.Series2, nullptr, nullptr});
  view_.Start();
  ShowNewest();
}

void TViewFollow::Join() {
  if (joined_) return;
  joined_ = true;
  ChartSeries* hud = context_.EFCForm ? &context_.EFCForm->Series1 : nullptr;
  ChartSeries* sats = context_.EFCForm ? &context_.EFCForm->Series2 : nullptr;
  view_.SetSeries({&main_.Series1, &main_.Series2, hud, sats});
  view_.Loaded();
  // A view reaches no receiver: the dialog's serial settings would change nothing.
  if (context_.ParameterForm)
    for (QGroupBox* box : context_.ParameterForm->findChildren<QGroupBox*>())
      if (box->title() == "Serial Port") {
        box->setEnabled(false);
        box->setToolTip("A read-only view opens no serial port.");
      }
}

void TViewFollow::Tick() {
  Join();
  FollowResult got;
  if (view_.Tick(got)) {
    for (const std::string& line : got.StatusLines)
      if (context_.StatusLogForm) context_.StatusLogForm->AddLine(line);
    for (const std::string& line : got.ErrorLines)
      if (context_.ErrorForm) context_.ErrorForm->AddLine(line);
    if (got.Charted > 0) {
      main_.Chart1()->Replot();
      if (context_.EFCForm) context_.EFCForm->ChartsChanged();
    }
  }
  ShowNewest();
}

void TViewFollow::ShowNewest() {
  auto set = [this](int panel, const std::string& text) {
    QLabel* label = main_.StatusPanel(panel);
    const QString q = QString::fromStdString(text);
    if (label->text() != q) label->setText(q);
  };
  if (view_.HaveNewest()) {
    const DataRecord& r = view_.Newest();
    set(RefreshCycle::PanelPpsTi, "PPS TI = " + FormatScientific3(r.PpsTi) + " s");
    set(RefreshCycle::PanelEfc, "EFC = " + FormatGeneral(r.Efc));
    set(RefreshCycle::PanelHup, "HUP = " + FormatScientific3(r.Hup) + " s");
    set(RefreshCycle::PanelTracked, "Tracked = " + std::to_string(static_cast<long>(r.Tracked)));
  }
  set(RefreshCycle::PanelIdn, NewestLineText(view_));
  QLabel* idn = main_.StatusPanel(RefreshCycle::PanelIdn);
  const QString tip = QString::fromStdString(NewestLineTip(view_));
  if (idn->toolTip() != tip) idn->setToolTip(tip);
  const bool alarm = view_.WriterStopped() || !view_.Problem().empty();
  const QString style = alarm ? "QLabel { color: #b00000; }" : QString();
  if (idn->styleSheet() != style) idn->setStyleSheet(style);
}
