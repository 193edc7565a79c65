#pragma once
// Every way out of the program ends here: the main window's close box, SIGTERM,
// SIGINT and SIGHUP, and the desktop session ending (which closes the windows).
// Whatever windows and dialogs are open, the stop sequence runs once (the settings are
// saved once, the poll thread stops) and every event loop ends, a modal dialog's included.
class QObject;
struct VarnexContext;

void EndProgram(VarnexContext& context);

// The desktop session's request to save before it ends: the settings are saved, once,
// as at exit, and the program runs on, for another program may still cancel the logout.
void CommitSessionData(VarnexContext& context);

// From now on SIGTERM, SIGINT and SIGHUP end the program through EndProgram, on the
// user-interface thread, and the session's request to save before it ends saves. The
// handling lives as long as owner. False when the signals cannot be caught.
bool CatchEndRequests(VarnexContext& context, QObject* owner);
