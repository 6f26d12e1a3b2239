// Dispatching the messages that are waiting in the thread's queue, without
// waiting for more: what a long wait on the main thread does now and then so
// that windows of this thread (and broadcasts sent to it) are answered.
#pragma once

namespace saver::win {

// Dispatches every pending message. Returns false once WM_QUIT was taken from
// the queue; the quit is posted again so the message loop still sees it.
bool ProcessMessages();

} // namespace saver::win
