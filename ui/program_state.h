// ResetProgramState: brings every module back to its start-up state, so tests run independently.
#pragma once

void ResetProgramState();
