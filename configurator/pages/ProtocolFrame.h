#pragma once

#include "configurator/rules/ProtocolPageRules.h"
#include "configurator/widgets/PageBuilder.h"
#include "configurator/widgets/uParamFrame.h"

class QVBoxLayout;
class TDevice;

// The base of the protocol pages a device page hosts: a page over one device that
// edits its active protocol block through the device (whose FindField also searches
// that block), made from the page's table in one column. Its object name is "fr" and
// the page kind's class name after its "Tfr" or "TFr" ("frKPIEC", "frPUTM120").
//
// Descendants pass their table, take their controls with Control, add their rules in
// Load after the base's Load (own handlers with SetChangeHandler, so that they run
// after the store and never while loading) and in UpdateControls, which only shows,
// hides, enables or disables. Made by MakeFrame with (tree, device, host panel).
class TProtocolFrame : public TParamFrame {
    Q_OBJECT
public:
    TDevice* Device() const { return device_; }
    TProtocolPage Kind() const { return kind_; }

    // Fills every combo box of the table that the protocol lists know (ComboItems);
    // a page with lists of its own fills those after calling it.
    void FillLists() override;

protected:
    TProtocolFrame(QTreeWidget* tree, TDevice* device, TProtocolPage kind, const TPageTable& table,
                   QWidget* parent = nullptr);

    // A widget the table made; raises std::logic_error for a name it did not make or a
    // widget of another class.
    template <class T = QWidget>
    T* Control(const char* name) const
    {
        return made_.Get<T>(name);
    }
    // Everything the table made.
    const TPageControls& Controls() const { return made_; }
    // The page's column, ending in a stretch: widgets that are not table rows go in
    // front of it.
    QVBoxLayout* Column() const { return column_; }

private:
    TDevice* device_;
    TProtocolPage kind_;
    const TPageTable& table_;
    QVBoxLayout* column_;
    TPageControls made_;
};

// The base of a page class of one kind in a family of pages that differ by their kind
// alone: the family's page F, whose constructor takes the kind, made for the kind K. The
// kind's class derives from it with Q_OBJECT, so that it keeps a class name of its own,
// and inherits its constructor:
//   class TfrKPMercury : public TProtocolPageOf<TfrKPMeter, TProtocolPage::KPMercury> {
//       Q_OBJECT
//       using TProtocolPageOf::TProtocolPageOf;
//   };
template <class F, TProtocolPage K>
class TProtocolPageOf : public F {
protected:
    explicit TProtocolPageOf(QTreeWidget* tree, TDevice* device, QWidget* parent = nullptr)
        : F(tree, device, K, parent)
    {
    }
};

// Shows or hides a widget, touching it only when its state differs (for rules that run
// on every idle cycle).
void SetShown(QWidget* widget, bool shown);

// Sets the caption a rule gives a control: a check box's or label's text, a group's
// title; touches it only when the caption differs.
void SetCaption(QWidget* control, const char* caption);
