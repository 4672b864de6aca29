#include "configurator/core/DefaultPrompt.h"

#include "platform/Dialogs.h"

int TCfgDefaultPrompt::ask(const std::string& text)
{
    using platform::MsgResult;
    const MsgResult answer = platform::ShowMessageBox(owner_, text, "Предупреждение", platform::MsgIcon::Warning,
                                                      platform::MsgButtons::YesNoNoToAllYesToAll);
    switch (answer) {
    case MsgResult::Yes: return mrYes;
    case MsgResult::NoToAll: return mrNoToAll;
    case MsgResult::YesToAll: return mrYesToAll;
    default: return mrNo;
    }
}
