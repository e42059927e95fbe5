// SPDX-License-Identifier: GPL-3.0-or-later
// The rules of the extraction speed field on the Options tab.
#pragma once

#include "CdRip_dll.h"

#include <QString>
#include <cstdint>

namespace varrow {

// The field takes the digits 0 to 9 and Backspace; any other printable
// character is dropped. `typed` is the text of a key press: control keys
// (Tab, Escape, Delete, arrows) are left to their normal handling, so that
// focus moves on and the field edits as any other.
bool speedKeyAccepted(const QString& typed);

// The speed a field text stands for: the text read as a decimal integer, or 0
// when it is not one (an emptied field, for instance).
int32_t speedFromText(const QString& text);

// The drive's speed command: none for the drive's default speed (0 or less),
// the MMC command for any factor.
TSetSpeed speedCommandFor(int32_t speed);

} // namespace varrow
