#pragma once
// The rows the three pickers share: every row is a new cell of the default
// style (never one from the table's reuse queue) with no selection highlight,
// its text in black in the system font of 15 points, 44 points high, and the
// checkmark accessory on the chosen row. Main thread only.
#include <string>

#include "platform/uikit/UITableViewCell.h"

inline constexpr CGFloat kPickerRowHeight = 44;

UITableViewCellPtr makePickerRow(const std::string& reuseIdentifier, const std::string& text, bool checked);
