#pragma once

#include "platform/ScriptedDialogs.h"

#include <memory>
#include <string>
#include <vector>

namespace testsupport {

// Installs a scripted dialog service for as long as it lives and puts the previous one
// back when it goes. At that point every unexpected request and every answer left
// unused fails the running test.
class DialogScript {
public:
    DialogScript();
    ~DialogScript();
    DialogScript(const DialogScript&) = delete;
    DialogScript& operator=(const DialogScript&) = delete;

    platform::ScriptedDialogService& Service() { return *service_; }
    platform::ScriptedDialogService* operator->() { return service_.get(); }

    // Forgets records and answers, so that what went before no longer fails the test.
    void Reset() { service_->Clear(); }
    // The texts of the message boxes asked so far (error boxes among them), in order.
    std::vector<std::string> MessageBoxTexts() const;

private:
    std::shared_ptr<platform::ScriptedDialogService> service_;
    std::shared_ptr<platform::DialogService> previous_;
};

} // namespace testsupport
