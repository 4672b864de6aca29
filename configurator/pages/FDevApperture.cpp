#include "configurator/pages/FDevApperture.h"

#include "configurator/rules/ApertureGridRules.h"
#include "configurator/widgets/FrameHost.h"
#include "model/uZumo2.h"

TfrDevApperture::TfrDevApperture(QTreeWidget* tree, TZumo2Doc* document, TDevice* device, QWidget* parent)
    : TGridFrame(tree, device, DevApertureGridSpec(*document), parent), document_(document), device_(device)
{
    setObjectName("frDevApperture");
}

std::vector<TGridRow> TfrDevApperture::GridRows()
{
    return RecordRows(device_->ApertureBlockCount(),
                      [this](int index) -> TFieldLst* { return device_->ApertureBlockByIndex(index); });
}

void RegisterDevAperturePage(TFrameRegistry& registry)
{
    RegisterPage<TfrDevApperture>(registry, TFrameKind::DevApertures, [](const TFrameArgs& a) -> TfrDevApperture* {
        auto* device = dynamic_cast<TDevice*>(a.List);
        return device && a.Document ? MakeFrame<TfrDevApperture>(a.View, a.Document, device, a.Parent) : nullptr;
    });
}
