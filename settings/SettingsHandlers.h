#pragma once

#include "form/FormFields.h"
#include "settings/SettingsStore.h"

namespace orvane::settings {

// Where a failure to save is reported: in a box, or on standard error when the close comes
// from the session ending (a box would hold up the log-off).
enum class SaveReport { MessageBox, StandardError };

// Fills the five remembered boxes before the window is first shown.
void Form_Load(form::FormFields &form, SettingsStore &store);

// Writes the five boxes back when the window closes. Never sets `cancel`.
void Form_Unload(form::FormFields &form, SettingsStore &store, int &cancel,
                 SaveReport report = SaveReport::MessageBox);

} // namespace orvane::settings
