#pragma once

#include "configurator/tree/FrameDispatch.h"
#include "configurator/widgets/GridFrame.h"

class TZumo2Doc;

// The page of the document's aperture table ("Апертуры каналов ТИТ"): one row per
// aperture with its number and its value (ApertureGridSpec of
// configurator/rules/ApertureGridRules.h). The main window shows an aperture on it
// through SelectRecord (the jump from a device's aperture grid).
class TfrApperture : public TGridFrame, public IRecordSelector {
    Q_OBJECT
public:
    // Focuses the first row holding the record at the column, scrolls it into view and
    // gives the grid the input focus; false when no row holds it.
    bool SelectRecord(const TFieldLst* record, int column) override { return FocusRecord(record, column); }

protected:
    TfrApperture(QTreeWidget* tree, TZumo2Doc* document, QWidget* parent = nullptr);
    // The document's apertures in order.
    std::vector<TGridRow> GridRows() override;

private:
    TZumo2Doc* document_;
};

// Registers the page for TFrameKind::Apertures over the document; none without one.
void RegisterAperturePage(TFrameRegistry& registry);
