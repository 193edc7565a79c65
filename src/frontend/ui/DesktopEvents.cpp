#include "frontend/ui/DesktopEvents.h"

#include "app/ui/VarnexContext.h"
#include "frontend/RefreshCycle.h"
#include "frontend/ui/DesktopNotifier.h"
#include "link/LinkRules.h"
#include "platform/Clock.h"
#include "platform/ProgramFolder.h"

DesktopEvents::DesktopEvents(VarnexContext& context, QObject* parent)
    : context_(context),
      // The command's outcome reaches the debug window and log; state and clock outlive this.
      hub_([&state = context.State, &clock = context.clock](const std::string& line) {
        AddTrace(state, clock, true, line);
      }),
      notifier_(new DesktopNotifier([&state = context.State, &clock = context.clock](
                                        const std::string& line) { AddTrace(state, clock, true, line); },
                                    parent)) {
  hub_.Events().AddSink([this](const ReceiverEvent& e) {
    if (configured_ && context_.EventConfig.Notifies(e.Kind)) notifier_->Notify(e);
  });
}

DesktopEvents::~DesktopEvents() { Stop(); }

void DesktopEvents::Configure(const std::string& device) {
  configured_ = true;
  hub_.Configure(context_.EventConfig, device, context_.Folder);
}

void DesktopEvents::AfterTick(const RefreshCycle& refresh) {
  if (configured_) hub_.AfterTick(refresh, context_.clock.UtcNow());
}

void DesktopEvents::FileWritten(const std::string& fileName, bool ok, TDateTime stamp) {
  hub_.FileWritten(InFolder(context_.Folder, fileName), ok, stamp);
}

void DesktopEvents::Stop() { hub_.Stop(); }
