// The pulse-shape template of the shape method: its backups, the start of a shape acquisition and
// UpdatePulseShape, which normalises a channel's template. The template itself and its point
// switches live in the settings record (pulseShape, shapePointUsed).
#pragma once
#include <cstdint>

#include "core/settings.h"

constexpr unsigned SHAPE_CHANNEL_LEFT = 1;
constexpr unsigned SHAPE_CHANNEL_RIGHT = 2;

// The template and switches as they were at start-up or, for a channel acquired since, before its
// latest shape acquisition. Reset and a failed update return to them.
extern double pulseShapeBackup[2][SHAPE_POINTS];
extern uint8_t shapePointUsedBackup[2][SHAPE_POINTS];

// Channels (SHAPE_CHANNEL_* bits) prepared by the latest BeginShapeAcquisition; the end of the
// acquisition runs UpdatePulseShape for these.
extern unsigned shapeAcquisitionChannels;

// The channels a live shape acquisition collects for an inputChannels setting (0 left, 1 right, 2 both).
unsigned ShapeChannelsForInput(uint32_t inputChannels);

// Copies the template and switches of one channel into its backup.
void BackupPulseShape(int channel);

// For each chosen channel: backup, then all points 0.0 and used, ready to collect running sums.
void BeginShapeAcquisition(unsigned channels);

// Normalises the channel's template over its used points (mean removed, scaled by range / sum of
// squares; switched-off points 0.0) and sets shapeFirstUsed/shapeLastUsed. With fewer than two used
// points, or all used points equal, restores the backup and shows "Left channel shape not updated"
// or "Right channel shape not updated".
void UpdatePulseShape(int channel);

// Start-up state: backups hold the default template, no channel prepared.
void ResetPulseShapeState();
