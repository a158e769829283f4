// The capture controller. Switched off: live capture is not available yet.
#include "acquisition/capture.h"

void StartAcquisition() {}
void ContinueAcquisition() {}
void StopAcquisition() {}
void StartShapeAcquisition() {}
void OnInputBufferFilled(int) {}
void OnCaptureTimer(int) {}
void StampComment(bool) {}
void ResetCaptureState() {}
