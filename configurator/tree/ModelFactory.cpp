#include "configurator/tree/ModelFactory.h"

#include "configurator/tree/TreeBuilders.h"
#include "model/Mirvak_const.h"
#include "model/uDravo7.h"
#include "model/uGrendal.h"
#include "model/uHask1.h"
#include "model/uZumo2.h"
#include "model/uZumo2_Siemens.h"
#include "model/uZumo2sin.h"
#include "model/uZumo2sin_scale50.h"
#include "model/uZumo2sin_scale80.h"
#include "model/uZumo4.h"
#include "model/uZumo7sin.h"
#include "model/uZumo9.h"
#include "platform/Exceptions.h"

namespace {

// The document maker and tree family of each model code; a code without a maker is refused.
const TModelEntry Models[ModelCount] = {
    {&MakeZumo2Doc, TTreeFamily::Zumo}, // 0 TZumo2Doc
    {&MakeZumo2sinDoc, TTreeFamily::Zumo}, // 1 TZumo2sinDoc
    {&MakeZumo4Doc, TTreeFamily::Zumo}, // 2 TZumo4Doc
    {&MakeZumo7Doc, TTreeFamily::Zumo7}, // 3 TZumo7Doc
    {&MakeZumo9Doc, TTreeFamily::Zumo}, // 4 TZumo9Doc
    {&MakeDravo7Doc, TTreeFamily::Dravo}, // 5 TDravo7Doc
    {[] { return MakeHask1Doc(6); }, TTreeFamily::Hask}, // 6 THask1Doc_1d
    {&MakeGrendalDoc, TTreeFamily::Grendal}, // 7 TGrendalDoc
    {[] { return MakeHask1Doc(8); }, TTreeFamily::Hask}, // 8 THask1Doc_1v
    {[] { return MakeHask1Doc(9); }, TTreeFamily::Hask}, // 9 THask1Doc_2d
    {[] { return MakeHask1Doc(10); }, TTreeFamily::Hask}, // 10 THask1Doc_41
    {[] { return MakeHask1Doc(11); }, TTreeFamily::Hask}, // 11 THask1Doc_1v_43
    {[] { return MakeHask1Doc(12); }, TTreeFamily::Hask}, // 12 THask1Doc_2d_43
    {&MakeDravo7_sinDoc, TTreeFamily::Dravo}, // 13 TDravo7_sinDoc
    {&MakeZumo2sin80Doc, TTreeFamily::Zumo}, // 14 TZumo2sin80Doc
    {&MakeZumo2sin50Doc, TTreeFamily::Zumo}, // 15 TZumo2sin50Doc
    {&MakeZumo7sinDoc, TTreeFamily::Zumo7}, // 16 TZumo7sinDoc
    {&MakeZumo2SiemensDoc, TTreeFamily::Zumo}, // 17 TZumo2SiemensDoc
};

} // namespace

const TModelEntry* ModelEntry(int code)
{
    return code >= 0 && code < ModelCount ? &Models[code] : nullptr;
}

std::unique_ptr<TZumo2Doc> CreateModelDocument(int code, const std::string& name)
{
    const TModelEntry* entry = ModelEntry(code);
    if (!entry || !entry->Make) throw platform::Exception("Тип " + name + " не реализован");
    std::unique_ptr<TZumo2Doc> document = entry->Make();
    document->ResetDefaults();
    return document;
}

void BuildFamilyTree(TTreeFamily family, int modelCode, TBindingTree& tree, TTreeGroups& groups,
                     TZumo2Doc& document)
{
    switch (family) {
    case TTreeFamily::Zumo: BuildZumoTree(tree, groups, document); break;
    case TTreeFamily::Zumo7: BuildZumo7Skeleton(tree, groups, document); break;
    case TTreeFamily::Dravo: BuildDravoTree(tree, groups, document); break;
    case TTreeFamily::Hask: BuildHaskTree(tree, groups, document, modelCode); break;
    case TTreeFamily::Grendal: BuildGrendalTree(tree, groups, document); break;
    }
}
