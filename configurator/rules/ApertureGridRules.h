#pragma once

#include "configurator/rules/GridSpec.h"

#include <cstdint>
#include <string>

class TAppertureTIT;
class TZumo2Doc;

// The two aperture grids as grid specs, without widgets: a device's aperture blocks
// (each a run of its TIT channels bound to one of the document's apertures by number)
// and the document's aperture table (the dead band of each aperture).

// ---------------------------------------------------------------------------------
// A device's aperture blocks

// The columns of the device grid; the first three edit the block's fields by position
// ("0001", "0002", "0003"), the last is a second view of "0003".
enum TDevApertureColumn {
    dacVak,      // "ВАК", the first internal channel
    dacCount,    // "Кол-во", the number of channels
    dacAperture, // "Аппертура", the referenced aperture's value
    dacNumber,   // "№ шаблона", the aperture's number
};

// The help label's line beside the common ones.
extern const char* const DevApertureHelpLine;

// The text of an aperture number (1-based): "нет" for 0, a negative number or one above
// the document's ApertureCount; else the value of aperture number - 1 with four
// decimals and the user's separator (FormatFixed). Reads that aperture alone.
std::string ApertureReferenceText(const TZumo2Doc& document, int64_t number);

// The aperture combo box's items in the order they are added (the grid sorts them):
// "нет" = 0, then for each aperture i (0-based) whose value is not 0 its text as
// ApertureReferenceText gives it = i + 1, unless an item of that text is listed already
// (equal values are offered once, under their first number).
TPickList ApertureItems(const TZumo2Doc& document);

// The item the aperture combo box opens with, by position in items: the item carrying
// the stored number; else the item whose text is the cell's text (a later duplicate
// shows its value's item, a number above the count "нет"); else the first item (the
// first in sort order once the grid sorted them); -1 for no items. Opening on an item
// that carries another number stores nothing unless the user picks one.
int AperturePreselect(const TPickList& items, int64_t number, const std::string& cellText);

// The aperture a Ctrl+click on a device grid's cell jumps to: in the column dacAperture,
// for a stored number n with 1 <= n <= ApertureCount, the document's aperture n - 1;
// none otherwise (also for a row without a record).
TAppertureTIT* ApertureJumpTarget(const TZumo2Doc& document, const TGridRow& row, int column);

// The device grid, reading the document's apertures (the document outlives the grid spec):
//   column      caption       shows                       editor           Ctrl step cap
//   dacVak      "ВАК"         "0001"                      spin 2147483647  16777215
//   dacCount    "Кол-во"      "0002"                      spin 65535       65535
//   dacAperture "Аппертура"   ApertureReferenceText(0003) sorted combo     ApertureCount
//   dacNumber   "№ шаблона"   "0003"                      spin ApertureCount  -
// Centred columns, at least 70, 50, 60 and 80 pixels, widened to their texts + 30 and
// fitted to their contents after an edit; a row whose count is 0 is silver (192, 192,
// 192). The aperture combo box is ApertureItems, sorted, opening on AperturePreselect,
// at least its widest item + 40 pixels wide. The full command set with a single click
// editing; Alt copies, Ctrl steps, Delete, Alt+Delete and F3 act on the first three
// columns, digits start editing in the first two. A Ctrl+click posts the jump to
// ApertureJumpTarget's record to the main window (PostRecordJump). The common help
// lines and DevApertureHelpLine.
TGridSpec DevApertureGridSpec(const TZumo2Doc& document);

// ---------------------------------------------------------------------------------
// The document's aperture table

enum TApertureColumn {
    acNumber, // "№ Шаблона", the row number
    acValue,  // "Апертура", "0001"
};

// The table grid, one row per aperture:
//   acNumber "№ Шаблона": the row number, centred, on the button face, at least 75
//            pixels; never edited
//   acValue  "Апертура": "0001" with four decimals, 70 pixels; a float spin with 4
//            decimals and no limits
// Keys act on release only: Enter edits, F3 fills "0001" from the focused row in the
// column acValue, a digit starts editing the focused cell; arrows, Delete and Ctrl
// steps are the view's own and change no value. A double click edits; the columns fit
// their contents after an edit. No help label.
TGridSpec ApertureGridSpec();
