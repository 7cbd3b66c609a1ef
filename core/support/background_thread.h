#pragma once

// Work a window waits for only in the end (routing a large chart's dotted lines, making their
// ink) runs on threads of its own; where they share a processor with the window's thread,
// the window should get it first, so that input and painting answer at once.
namespace BackgroundThread {

// Lowers the calling thread's scheduling priority. It still takes whatever the processor
// has to spare; a failure leaves the priority as it was.
void yieldToWindows();

} // namespace BackgroundThread
