#include "tests/support/DialogScript.h"

#include <gtest/gtest.h>

namespace testsupport {

DialogScript::DialogScript()
    : service_(std::make_shared<platform::ScriptedDialogService>()), previous_(platform::SetDialogService(service_))
{
}

DialogScript::~DialogScript()
{
    platform::SetDialogService(previous_);
    for (const auto& record : service_->UnexpectedRecords())
        ADD_FAILURE() << "unexpected " << record.Describe();
    for (const auto& answer : service_->AnswersLeftDescribed())
        ADD_FAILURE() << "unused " << answer;
}

std::vector<std::string> DialogScript::MessageBoxTexts() const
{
    std::vector<std::string> texts;
    for (const platform::DialogRecord& r : service_->Records())
        if (r.kind == platform::DialogKind::MessageBox) texts.push_back(r.box.text);
    return texts;
}

} // namespace testsupport
