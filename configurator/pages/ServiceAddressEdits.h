#pragma once

#include <QObject>

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
