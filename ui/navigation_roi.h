// Keys of the pulse height window that edit regions of interest: marks, peak marking, deletion,
// copying, the ROI sum and the calibration switch; every key ends with an ROI creation attempt.
#pragma once

void HandleHeightWindowKey(int virtualKey);
