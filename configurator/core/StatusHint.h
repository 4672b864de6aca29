#pragma once

#include <optional>
#include <string>

// What status panel 0 shows for the application's hint: nothing new while a progress
// display is busy; otherwise the hint, else the lasting status text, else "Готов".
std::optional<std::string> ShowHintInStatusBar(bool progressBusy, const std::string& hint,
                                               const std::string& lastingText);
