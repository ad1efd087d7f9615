// The framework's message loop and its non-blocking pump.
//
// Each message taken from the queue is first offered to every registered
// dialog: a key press to its OnDialogKey (Dialog::OfferDialogKey), then
// to the dialog manager (IsDialogMessageW, for Tab, arrow-key, Enter and
// Escape handling);
// only when no dialog takes it is it translated and dispatched.
//
// Threads: RunMessageLoop runs on the user-interface thread. PumpMessages may
// run on any thread: on a thread whose queue is empty it returns at once
// without touching the dialog registry.
#ifndef KIV_MESSAGE_LOOP_H_
#define KIV_MESSAGE_LOOP_H_

namespace kiv {

// Runs until WM_QUIT and returns its exit code (the quit message's WPARAM).
// Returns -1 when GetMessageW reports an error, which ends the loop.
int RunMessageLoop();

// Processes every message already queued for the calling thread (messages
// sent from other threads included) and returns when the queue is empty.
// A WM_QUIT found here is posted again and ends the pump, so that
// RunMessageLoop still sees it.
void PumpMessages();

}  // namespace kiv

#endif  // KIV_MESSAGE_LOOP_H_
