// The event settings as the user edits them: "Varnex Events" opened from the parameters
// dialog, applied and saved by its "&Ok" only.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "frontend/BigIni.h"
#include "frontend/ui/EventsUnit.h"
#include "frontend/ui/ParameterUnit.h"
#include "frontend/ui/PersistUiTestApp.h"
#include "link/AdvCom32.h"

namespace {

class EventsFormTest : public ::testing::Test, protected PersistUiFixture {
 protected:
  EventsFormTest() : ini_(folder.Path()), form_(context) {
    port_.SetDevicePath(folder.File("no-such-device"));
    form_.Attach(&port_, &ini_);
  }

  // Opens the events dialog from the parameters dialog, as a click does, and there
  // applies `edit` and leaves with Ok or Cancel.
  void EditEvents(const std::function<void(TEventsForm&)>& edit, bool ok) {
    QTimer::singleShot(0, &form_, [&] {
      TEventsForm& f = *form_.EventsForm;
      edit(f);
      (ok ? f.OkButton : f.CancelButton)->click();
    });
    form_.EventsButton->click();
  }

  T_AdvCom32 port_;
  TAppIniFile ini_;
  TParameterForm form_;
};

TEST_F(EventsFormTest, EditedThenAppliedOnlyByTheParametersOk) {
  const EventSettings defaults;
  EventSettings wanted;
  wanted.Command = "/usr/local/bin/on-varnex-event";
  wanted.NotifyStatus = false;
  wanted.NotifyFile = true;
  const auto enter = [&](TEventsForm& f) {
    EXPECT_EQ(f.Settings(), defaults);  // the dialog shows what is in force
    f.CommandEdit->setText(QString::fromStdString("  " + wanted.Command + " "));
    f.StatusBox->setChecked(false);
    f.FileBox->setChecked(true);
    EXPECT_TRUE(f.grab().save(PersistPicturePath("EventsForm.png")));
  };

  form_.show();
  EditEvents(enter, false);  // the events dialog's Cancel
  EXPECT_EQ(form_.PendingEvents(), defaults);
  EditEvents(enter, true);
  EXPECT_EQ(form_.PendingEvents(), wanted);
  EXPECT_EQ(context.EventConfig, defaults);
  EXPECT_TRUE(form_.grab().save(PersistPicturePath("ParameterFormWithEvents.png")));
  form_.Button2Click();  // the parameters dialog's Cancel drops it
  EXPECT_EQ(context.EventConfig, defaults);

  form_.show();
  EXPECT_EQ(form_.PendingEvents(), defaults);
  EditEvents(enter, true);
  ASSERT_TRUE(form_.Button1Click());
  EXPECT_EQ(context.EventConfig, wanted);
  TAppIniFile reread(folder.Path());
  EXPECT_EQ(LoadEventSettings(reread), wanted);
  EXPECT_EQ(reread.ReadString("Events", "Command", ""), wanted.Command);
}

}  // namespace
