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

} // namespace testsupport
