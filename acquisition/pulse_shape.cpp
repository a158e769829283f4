// The pulse-shape template: backups, the start of a shape acquisition and UpdatePulseShape.
#include "acquisition/pulse_shape.h"

#include <cmath>
#include <cstring>

#include "acquisition/detector.h"
#include "platform/ui.h"

double pulseShapeBackup[2][SHAPE_POINTS];
uint8_t shapePointUsedBackup[2][SHAPE_POINTS];
unsigned shapeAcquisitionChannels = 0;

unsigned ShapeChannelsForInput(uint32_t inputChannels) {
    if (inputChannels == 1) return SHAPE_CHANNEL_RIGHT;
    if (inputChannels == 2) return SHAPE_CHANNEL_LEFT | SHAPE_CHANNEL_RIGHT;
    return SHAPE_CHANNEL_LEFT;
}

void BackupPulseShape(int channel) {
    if (channel < 0 || channel > 1) return;
    std::memcpy(pulseShapeBackup[channel], settings.pulseShape[channel], sizeof(pulseShapeBackup[channel]));
    std::memcpy(shapePointUsedBackup[channel], settings.shapePointUsed[channel],
                sizeof(shapePointUsedBackup[channel]));
}

void BeginShapeAcquisition(unsigned channels) {
    shapeAcquisitionChannels = channels & (SHAPE_CHANNEL_LEFT | SHAPE_CHANNEL_RIGHT);
    for (int c = 0; c < 2; ++c) {
        if (!(shapeAcquisitionChannels & (1u << c))) continue;
        BackupPulseShape(c);
        for (int j = 0; j < SHAPE_POINTS; ++j) {
            settings.pulseShape[c][j] = 0.0;
            settings.shapePointUsed[c][j] = 1;
        }
    }
}

void UpdatePulseShape(int channel) {
    if (channel < 0 || channel > 1) return;
    int32_t previousFirst = shapeFirstUsed[channel];
    int32_t previousLast = shapeLastUsed[channel];
    double* shape = settings.pulseShape[channel];
    const uint8_t* used = settings.shapePointUsed[channel];

    int32_t first = SHAPE_POINTS;
    for (int j = 0; j < SHAPE_POINTS; ++j) {
        if (used[j]) {
            first = j;
            break;
        }
    }
    int32_t last = 0;
    for (int j = SHAPE_POINTS - 1; j >= 1; --j) {
        if (used[j]) {
            last = j;
            break;
        }
    }
    shapeFirstUsed[channel] = first;
    shapeLastUsed[channel] = last;

    int count = 0;
    double sum = 0.0;
    bool allEqual = true;
    for (int j = 0; j < SHAPE_POINTS; ++j) {
        if (used[j]) {
            if (count > 0 && shape[j] != shape[first]) allEqual = false;
            ++count;
            sum += shape[j];
        }
    }
    // Equal points have no shape; they are caught here because the rounding of their mean would
    // leave tiny non-zero differences that the sum of squares below would take for one.
    bool normalised = false;
    if (count >= 2 && !allEqual) {
        double mean = sum / count;
        for (int j = 0; j < SHAPE_POINTS; ++j) shape[j] -= mean;
        double low = 0.0, high = 0.0, squares = 0.0;
        for (int j = 0; j < SHAPE_POINTS; ++j) {
            if (!used[j]) continue;
            low = std::fmin(low, shape[j]);
            high = std::fmax(high, shape[j]);
            squares += shape[j] * shape[j];
        }
        // A template holding non-finite values cannot be normalised either.
        if (squares != 0.0 && std::isfinite(squares)) {
            double scale = (high - low) / squares;
            for (int j = 0; j < SHAPE_POINTS; ++j) shape[j] = used[j] ? shape[j] * scale : 0.0;
            normalised = true;
        }
    }
    if (normalised) return;
    std::memcpy(shape, pulseShapeBackup[channel], sizeof(pulseShapeBackup[channel]));
    std::memcpy(settings.shapePointUsed[channel], shapePointUsedBackup[channel],
                sizeof(shapePointUsedBackup[channel]));
    shapeFirstUsed[channel] = previousFirst;
    shapeLastUsed[channel] = previousLast;
    ShowMessage(channel == 0 ? "Left channel shape not updated" : "Right channel shape not updated",
                MB_ICONEXCLAMATION);
}

void ResetPulseShapeState() {
    SettingsRecord defaults;
    SetDefaultSettings(defaults);
    std::memcpy(pulseShapeBackup, defaults.pulseShape, sizeof(pulseShapeBackup));
    std::memcpy(shapePointUsedBackup, defaults.shapePointUsed, sizeof(shapePointUsedBackup));
    shapeAcquisitionChannels = 0;
}
