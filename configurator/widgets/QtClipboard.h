#pragma once

#include "configurator/rules/ScaleClipboard.h"

// The system clipboard (QApplication::clipboard()) as the scale grids use it: Unicode
// text. On X11 the program owns what it put there for as long as it runs.
class TQtClipboard : public ITextClipboard {
public:
    bool HasText() const override;
    std::string Text() const override;
    void SetText(const std::string& text) override;
};
