#pragma once

#include "model/uDocument.h"
#include "platform/Windows.h"

// The default question of the documents' default check, asked through the dialog
// service: a warning box with Yes, No, No to all and Yes to all; closing it answers No.
class TCfgDefaultPrompt : public IDefaultPrompt {
public:
    // owner 0: the main window.
    explicit TCfgDefaultPrompt(platform::HWND owner = 0) : owner_(owner) {}
    int ask(const std::string& text) override;

private:
    platform::HWND owner_;
};
