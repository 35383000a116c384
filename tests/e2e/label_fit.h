// Whether the dialogs' text labels are wide enough for their texts in the dialogs' font
// as this system resolves it.
#pragma once

#include <string>

namespace e2e {

// Starts programPath, looks at the main dialog, opens a fixture written under workDir's
// files folder and looks at the rename dialog. Fails unless each label's text fits its
// control's client width; returns every label's text width and control width.
std::string StaticLabelsFit(const std::string& programPath, const std::string& workDir);

}  // namespace e2e
