#include "configurator/pages/FApperture.h"

#include "configurator/rules/ApertureGridRules.h"
#include "configurator/widgets/FrameHost.h"
#include "model/uZumo2.h"

TfrApperture::TfrApperture(QTreeWidget* tree, TZumo2Doc* document, QWidget* parent)
    : TGridFrame(tree, document, ApertureGridSpec(), parent), document_(document)
{
    setObjectName("frApperture");
}

std::vector<TGridRow> TfrApperture::GridRows()
{
    return RecordRows(document_->ApertureCount(),
                      [this](int index) -> TFieldLst* { return document_->ApertureByIndex(index); });
}

void RegisterAperturePage(TFrameRegistry& registry)
{
    RegisterPage<TfrApperture>(registry, TFrameKind::Apertures, [](const TFrameArgs& a) -> TfrApperture* {
        return a.Document ? MakeFrame<TfrApperture>(a.View, a.Document, a.Parent) : nullptr;
    });
}
