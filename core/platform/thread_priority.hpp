#pragma once
// Background work (the play check) that must never slow the scan, the save or
// the window: the calling thread, and the threads it starts from now on,
// yield the processor to everything else of the program.

namespace tav {

void LowerThisThreadPriority();

}  // namespace tav
