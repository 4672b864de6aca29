#include "configurator/core/StatusHint.h"

std::optional<std::string> ShowHintInStatusBar(bool progressBusy, const std::string& hint,
                                               const std::string& lastingText)
{
    if (progressBusy) return std::nullopt;
    if (!hint.empty()) return hint;
    if (!lastingText.empty()) return lastingText;
    return std::string("Готов");
}
