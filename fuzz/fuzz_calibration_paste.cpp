// Fuzz target: the "Calibration" dialog's parser of pasted clipboard text on any bytes.
#include <cstddef>
#include <cstdint>

#include "analysis/calibration.h"
#include "analysis/calibration_dialog.h"
#include "core/settings.h"
#include "platform/headless/headless.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    HeadlessReset();  // the number parser's warnings would pile up otherwise
    CalibrationPasteCell cells[CALIBRATION_ROWS * 3];
    int count = ParseCalibrationPaste(reinterpret_cast<const char*>(data), size, cells);
    if (count < 0 || count > CALIBRATION_ROWS * 3) __builtin_trap();
    // Cells name table places in text order: rows ascending, fields ascending within a row.
    for (int i = 0; i < count; ++i) {
        const CalibrationPasteCell& cell = cells[i];
        if (cell.row < 0 || cell.row >= CALIBRATION_ROWS || cell.field < 0 || cell.field > 2)
            __builtin_trap();
        if (i > 0 && cell.row * 3 + cell.field <= cells[i - 1].row * 3 + cells[i - 1].field) __builtin_trap();
    }
    return 0;
}
