#pragma once

#include "configurator/rules/PageTable.h"
#include "configurator/rules/ParamBinding.h"

#include <QFrame>
#include <QPointer>

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

class QTreeWidget;

// The base of every editing page: a panel of controls that edits one field list.
// Controls are bound to fields by key, show the fields' values, and run every change
// through the binding cycle (TParamBinding). Six kinds of controls take part: TSpinEdit,
// QComboBox (the item data is the stored value), TRadioGroup, QCheckBox, QLineEdit and
// TIPAddressEdit; a bound widget of another kind only holds its field.
//
// Descendants design their controls in the constructor, fill their lists in FillLists,
// bind in Load before calling the base's Load, and never connect to a bound control's
// change signal: they give its own handler to SetChangeHandler, and the frame calls it
// after the cycle. A frame is made by MakeFrame: construct, FillLists, Load.
//
// A frame hosted inside another (a page inside the device page) keeps its controls to
// itself: the host's Load and RefreshAll do not reach them.
class TParamFrame : public QFrame, public TParamBinding {
    Q_OBJECT
public:
    ~TParamFrame() override;

    QTreeWidget* Tree = nullptr; // the main window's document tree (not owned)

    using TParamBinding::BindControl;
    using TParamBinding::BindControls;
    using TParamBinding::BindControlsTo;
    using TParamBinding::BindControlTo;
    using TParamBinding::SetChangeHandler;
    using TParamBinding::ShowValue;
    using TParamBinding::ShowValueQuiet;
    using TParamBinding::UnbindControl;
    using TParamBinding::UnbindControls;

    void BindControl(QWidget* control, std::string_view key) { BindControlTo(control, key, FieldList); }
    // Binds by the key the control's object name implies (ControlKey).
    void BindControl(QWidget* control);
    void BindControlTo(QWidget* control, std::string_view key, TFieldLst* list);
    void BindControls(const std::vector<QWidget*>& controls, const std::vector<std::string>& keys)
    {
        BindControlsTo(controls, FieldList, keys);
    }
    void BindControlsTo(const std::vector<QWidget*>& controls, TFieldLst* list, const std::vector<std::string>& keys);
    void UnbindControl(QWidget* control);
    void UnbindControls(const std::vector<QWidget*>& controls);
    // The control's own change handler; Sender is the widget.
    void SetChangeHandler(QWidget* control, TControlHandler handler);
    void ShowValue(QWidget* control);
    void ShowValueQuiet(QWidget* control);

    // The field a widget is bound to; none when it is unbound.
    TField* FieldOf(QWidget* control) const;
    // The bound control behind a widget; none for a widget the frame never bound or
    // gave a handler.
    TBoundControl* ControlOf(QWidget* control) const;
    // The widget behind a bound control of a frame.
    static QWidget* WidgetOf(const TBoundControl& control);

    // A grid of the frame, repainted by RefreshAll.
    void AddGrid(QWidget* grid);

    // A control a page table made (configurator/widgets/PageBuilder.h), with its row.
    struct TTableControl {
        const TPageRow* Row;
        QWidget* Control;
    };
    // Keeps a control the page builder made; Load binds it by its row's key.
    void AddTableRow(const TPageRow& row, QWidget* control);
    // The controls the page's tables made, in table order.
    const std::vector<TTableControl>& TableControls() const { return tableControls_; }

    // Binds every table control with a key to the field of its key in list, in table
    // order, then runs the binding core's Load. Descendants bind their other controls
    // before calling it.
    void Load(TFieldLst* list) override;

    // Fills the frame's combo boxes and lists; nothing here.
    virtual void FillLists() {}
    // Height := the lowest bottom edge of the visible direct children after layout
    // (0 without one) + 4 pixels. A frame with a layout is laid out at the height the
    // layout asks for first, and gets at least the height the layout needs.
    virtual void FitHeight();
    // Enables, disables, shows or hides controls from the current values. Runs on every
    // idle cycle: cheap, and it never stores. Nothing here.
    virtual void UpdateControls() {}
    // Every bound control shown again (storing the same value back), every grid
    // repainted.
    void RefreshAll() override;

protected:
    // The designer's frame: no tree and no list yet.
    explicit TParamFrame(QWidget* parent = nullptr);
    TParamFrame(QTreeWidget* tree, TFieldLst* fieldList, QWidget* parent = nullptr);

public:
    // The bound control of a widget (the frame's own).
    class TQtControl;

private:
    friend class TQtControl;

    // The bound control of a widget, made on first use.
    TBoundControl& Adapter(QWidget* control);
    void Forget(QWidget* control);

    std::unordered_map<QWidget*, std::unique_ptr<TQtControl>> adapters_;
    std::vector<QPointer<QWidget>> grids_;
    std::vector<TTableControl> tableControls_;
};

// Frames are made in two steps, as their designs and lists need the finished object:
// construct (the constructor keeps the tree, the list and the frame's own arguments),
// then FillLists and Load(FieldList). The frame belongs to its parent widget, or to the
// caller when it has none.
struct FrameFactory {
    template <class T>
    struct Made final : T {
        template <class... A>
        explicit Made(A&&... a) : T(std::forward<A>(a)...)
        {
        }
    };
};

template <class T, class... A>
T* MakeFrame(A&&... args)
{
    std::unique_ptr<T> frame(new FrameFactory::Made<T>(std::forward<A>(args)...));
    TParamFrame& base = *frame;
    base.FillLists();
    base.Load(base.FieldList);
    return frame.release();
}
