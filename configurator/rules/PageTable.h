#pragma once

#include <array>
#include <functional>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// A page's editable controls as plain data: what each control is, what it binds and
// where it sits. The page builder (configurator/widgets/PageBuilder.h) makes, names,
// lays out and binds them; the page keeps only its rules and unbound controls as code.

// The kinds of editable controls.
enum class TControlKind {
    SpinEdit,   // TSpinEdit, with a caption and an optional unit
    CheckBox,   // QCheckBox, its caption as its text
    RadioGroup, // TRadioGroup, its caption as its title, one button per item
    ComboBox,   // QComboBox, filled by the page
    IPv4Edit,   // TIPAddressEdit, with a caption
    TextEdit,   // QLineEdit, with a caption
};

// How a panel holds what it contains.
enum class TPanelKind {
    Panel, // a plain panel without a frame or margins
    Group, // a group box with its title
    Row,   // a plain panel holding other panels side by side
};

// A panel of a page. Panels take their place in the page's column (or in their row
// panel) when the first row or panel inside them is laid out.
struct TPagePanel {
    const char* Name;             // object name ("gbBuffer")
    TPanelKind Kind;
    const char* Title = nullptr;  // a group's title; none: no title
    const char* Parent = nullptr; // the row panel it sits in; none: the page's column
    // Lines side by side: the panel's lines fill this many columns, row by row (a run
    // of like check boxes or radio groups). A line is one captioned editor with its
    // labels, or one whole-line control.
    int Columns = 1;
};

// One editable control. Caption-and-editor controls (spin edits, combo boxes with a
// caption, IPv4 and text edits) sit in a panel's grid of caption, editor and unit, their
// labels named "lb" + the control's key part and "lb" + key part + "Unit"; check boxes,
// radio groups and captionless controls take a whole line.
struct TPageRow {
    const char* Panel;              // the panel it sits in; none: the page's column
    const char* Name;               // object name ("edTSLink")
    TControlKind Kind;
    const char* Key;                // the field it binds; none: bound by the page's code, or by none
    const char* Caption = nullptr;  // caption label, check box text or radio group title
    const char* Unit = nullptr;     // unit label after the editor
    double Minimum = 0;             // a spin edit's range by design, when Minimum < Maximum
    double Maximum = 0;
    std::array<const char*, 4> Items{}; // a radio group's buttons, up to the first none
    // Documents without the key leave the control unbound; otherwise every document the
    // page is shown for has the key.
    bool WhereDocumentHasIt = false;
    // A captionless control in the unit place of the captioned row before it in the
    // same panel, which has no unit (a poll period's unit combo).
    bool Beside = false;
};

// A page's panels and rows, in layout order.
struct TPageTable {
    const char* Page; // the page's class, for messages
    std::span<const TPagePanel> Panels;
    std::span<const TPageRow> Rows;
};

// Refuses a table that cannot be built: a control or panel name given twice, a key that
// two rows bind, a row or panel in a panel the table lacks, a panel inside one that is
// not a row panel, an editor with a caption directly in the page's column, a row beside
// one that is not a captioned row without a unit in its panel, or a row beside another
// with a caption of its own. Raises std::logic_error naming the page and the offending
// name or key.
void CheckPageTable(const TPageTable& table);

// A control or panel of a page with the group or panel that holds it (none for one in
// the page's column).
struct TPageControl {
    const char* Name;
    const char* Group;
};

// Everything a table makes, in layout order: each panel before what it holds, each row's
// caption label, control and unit label. Label names are returned as owned strings.
struct TPageControlName {
    std::string Name;
    const char* Group;
};
std::vector<TPageControlName> PageTableControls(const TPageTable& table);

// The label names of a caption-and-editor row.
std::string CaptionLabelName(const TPageRow& row);
std::string UnitLabelName(const TPageRow& row);
// Whether the row sits in a caption, editor and unit line of its panel's grid.
bool HasCaptionLabel(const TPageRow& row);

// Keeps a text for the program's lifetime and gives it back: the names, keys and
// captions of rows a page makes from a pattern (a run of numbered controls) rather
// than writing each. Equal texts are kept once.
const char* KeptText(std::string_view text);

// A page's rows with a run of like rows among them: head, then row(n) for n = first ..
// last, then tail. The run's names, keys and captions are made from n and kept with
// KeptText ("ed0109" .. "ed0124" captioned "1" .. "16").
std::vector<TPageRow> RowsWithRun(std::span<const TPageRow> head, int first, int last,
                                  const std::function<TPageRow(int n)>& row, std::span<const TPageRow> tail = {});

// The rows of several parts one after the other: a page built on another page's table
// takes that table's rows with its own before and after them.
std::vector<TPageRow> JoinRows(std::initializer_list<std::span<const TPageRow>> parts);
