#pragma once

#include "configurator/rules/GridSpec.h"

#include <cstdint>
#include <string>

class TLookupProxyField;
class TScaleTIT;
class TZumo2Doc;

// The two scale grids without widgets: the TIT conversion table of a document (k and b
// of each conversion, with a description on the synchronous models) and a device's
// scale blocks (a run of channels that uses one conversion, named by its number from
// 1), as grid specs, their texts and combo boxes, and the scale calculator's
// arithmetic.

// Columns of the conversion grid.
enum TScaleGridColumn { sgNumber, sgFactor, sgOffset, sgDescription };
// Columns of the device scale grid.
enum TDevScaleGridColumn { dsVak, dsCount, dsFormula, dsNumber, dsDescription };

// ---------------------------------------------------------------------------------
// Texts

// A number's text as the conversion grid shows it: a text holding "." keeps at most 4
// characters after the first "." and then loses its trailing "0"s, the "." staying
// ("1.23456" 1.2345, "2.50000" 2.5, "3.0" "3."). An exponent is kept behind the
// shortened mantissa ("1.23456E-7" 1.2345E-7). A text without "." (a whole number, a
// decimal comma, "1E20") is unchanged.
std::string ShortNumberText(const std::string& text);

// The formula of a conversion k, b as the device scale grid shows it: "X*" and k with
// 4 decimals and a blank; then for b > 0 "+" and b with 4 decimals and a blank, for
// b < 0 b with 4 decimals (its sign) and a blank, for b = 0 nothing ("X*2.0000
// -1.5000 ", "X*1.0000 +0.2500 ", "X*1.0000 "). The user's decimal separator.
std::string ScaleFormulaText(double k, double b);
// The formula of the document's conversion n (numbered from 1); "нет" for n below 1 or
// above the document's ScaleCount.
std::string ConversionFormula(const TZumo2Doc& doc, int64_t n);
// The same without its first blank, as the formula combo box lists it ("X*2.0000-1.5000
// ", "X*1.0000"); "нет" stays "нет".
std::string ConversionFormulaItem(const TZumo2Doc& doc, int64_t n);

// The conversion a device scale block's number n refers to: conversion n - 1 for
// 1 <= n <= ScaleCount, else none (nothing to show, nothing to jump to).
TScaleTIT* ReferencedConversion(const TZumo2Doc& doc, int64_t n);

// Column 4 of the device scale grid: the description of the conversion the row's
// number refers to (its "descr" lookup), "нет описания" for an empty one, a number out
// of range or a row without a description.
std::string DevScaleDescription(const TZumo2Doc& doc, const TGridRow& row);

// ---------------------------------------------------------------------------------
// Combo boxes of the device scale grid

// The formula combo box's items, before sorting: "нет" with 0, then each conversion's
// ConversionFormulaItem with its number; a text already listed is not listed again (its
// first number carries it).
TPickList FormulaItems(const TZumo2Doc& doc);
// The formula item selected when the list opens, by position in items as shown: the
// item carrying n; else the item whose text is n's formula item (an equal formula
// listed under an earlier number, or "нет" for a number out of range); else the first.
int FormulaPreselect(const TZumo2Doc& doc, int64_t n, const TPickList& items);

// The description combo box's items: the description texts of a "descr" lookup, each
// with its number from 1, an empty one as "Шаблон 01", "Шаблон 02" ... by position;
// sorted (SortPickList); then "нет" with 0 put first.
TPickList DescriptionItems(const TLookupProxyField& descr);
// The description item selected when the list opens: "нет" for n below 1 or above the
// document's ScaleCount, else the item carrying n ("нет" when none does).
int DescriptionPreselect(const TZumo2Doc& doc, int64_t n, const TPickList& items);

// ---------------------------------------------------------------------------------
// Grid specs

// The conversion grid. Columns: "№ Преобразования" (the row number on the button face,
// at least 115 pixels, edited by the page's scale calculator), "Коэффициент" and
// "Смещение" ("0001" and "0002" shortened, at least 100 pixels, float spins with 4
// decimals and no limits), "Описание" ("descr", "Нет описания" when empty, 400 pixels,
// a text edit of MaxValue - 1 characters; hidden without descriptions). Texts never
// widen a column. Keys act on release: Enter edits, Left/Right wrap, a digit edits the
// columns from 1; Up/Down are the view's own; no Ctrl steps, Alt copies, resets or
// fills. A double click edits. No help label.
TGridSpec ScaleGridSpec(bool descriptions);

// The device scale grid of a document's device. Columns (0..3 centred, at least 70,
// 50, 100 and 80 pixels, the formula column 200 at first):
//   "ВАК"    "0001", spin up to 2147483647, Ctrl steps capped at 16777215, fills, digits
//   "Кол-во" "0002", spin up to 65535, Ctrl steps capped at 65535, fills, digits
//   "Преобразование (выражение)" the formula of "0003" (ConversionFormula), the sorted
//            formula combo on "0003" (FormulaItems, FormulaPreselect, the widest item +
//            40 pixels), Ctrl steps capped at the document's ScaleCount
//   "№ шаблона" "0003", spin up to ScaleCount; no command acts here
//   "Описание" DevScaleDescription, the description combo on "0003" (DescriptionItems,
//            DescriptionPreselect); at least 400 pixels; hidden without descriptions;
//            no command acts here
// Rows whose "0002" is 0 are painted in silver (192, 192, 192). Enter edits on its
// press; Left/Right, Up/Down with the Alt copy, Delete and Alt+Delete act on release.
// A Ctrl-only click on the formula cell of a row whose number refers to a conversion
// (ReferencedConversion) posts the jump to it to the main window (PostRecordJump). The
// help label has the common lines and the Ctrl+click line.
TGridSpec DevScaleGridSpec(const TZumo2Doc& doc, bool descriptions);
extern const char* const DevScaleHelpLine;

// ---------------------------------------------------------------------------------
// The scale calculator

// The calculator's values: two input values and the results they map to.
struct TScaleCalc {
    double InMin = 0;
    double InMax = 2000;
    double OutMin = 0;
    double OutMax = 0;
};

// The values the calculator opens with for a conversion k, b: inputs 0 and 2000,
// outputs b and 2000 * k + b.
TScaleCalc ScaleCalcStart(double k, double b);
// The conversion through the two points: k := (OutMax - OutMin) / (InMax - InMin),
// b := OutMin - InMin * k. Equal inputs raise "Нижнее и верхнее входные значения
// совпадают".
struct TScaleFactors {
    double K = 1;
    double B = 0;
};
TScaleFactors ScaleCalcResult(const TScaleCalc& calc);
// Stores the result into the row's "0001" and "0002" (the conversion grid's factor and
// offset columns) through StoreCell. Raises before storing anything for equal inputs
// or for a result a single cannot hold.
void StoreScaleCalc(const TGridSpec& spec, const TGridRow& row, const TScaleCalc& calc);
