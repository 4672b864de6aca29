#pragma once

#include "configurator/rules/PageTable.h"

#include <QObject>

#include <array>

class TField;
class TSpinEdit;

// The three edits that show a service command address byte ("N блока ТУ1", "N группы",
// "N объекта"; DecodeServiceAddress). They are not bound: Show sets them from the
// address field with their signals blocked (nothing is stored), and a change of any of
// them stores the byte of all three (EncodeServiceAddress) into that field at once,
// inside the slot guard: an error goes to the application's error display. A page with
// more changes that store the byte (the Гранит control point page) calls Store.
class TServiceAddressEdits : public QObject {
public:
    // Belongs to parent (the page); the edits are the page's.
    TServiceAddressEdits(TSpinEdit* block, TSpinEdit* group, TSpinEdit* object, QObject* parent);

    // Shows the field's byte and stores later changes there; none shows 1, 1, 1 and
    // stores nothing.
    void Show(TField* address);
    // Stores the byte the edits show into the field; errors of the store pass on.
    void Store() const;

private:
    TSpinEdit* block_;
    TSpinEdit* group_;
    TSpinEdit* object_;
    TField* address_ = nullptr;
};

// The three edits as rows of a page table, unbound, with their ranges: seServiceBlock
// "N блока ТУ1" (1..2), seServiceGroup "N группы" (1..16), seServiceObject "N объекта"
// (1..8), in the page's group "gbServiceAddress".
inline constexpr std::array<TPageRow, 3> ServiceAddressRows = {{
    {.Panel = "gbServiceAddress", .Name = "seServiceBlock", .Kind = TControlKind::SpinEdit, .Key = nullptr,
     .Caption = "N блока ТУ1", .Minimum = 1, .Maximum = 2},
    {.Panel = "gbServiceAddress", .Name = "seServiceGroup", .Kind = TControlKind::SpinEdit, .Key = nullptr,
     .Caption = "N группы", .Minimum = 1, .Maximum = 16},
    {.Panel = "gbServiceAddress", .Name = "seServiceObject", .Kind = TControlKind::SpinEdit, .Key = nullptr,
     .Caption = "N объекта", .Minimum = 1, .Maximum = 8},
}};
