#pragma once

#include "model/uDocument.h"

#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

// The widget-free core of the editing frames: controls bound to fields by key, and
// the one validate-then-write cycle every change of a bound control runs through.
// Widgets come in through TBoundControl; the Qt frame maps its six control kinds onto
// it, tests drive it with fake controls.

class TParamBinding;

// A change handler a control has of its own; Sender is the control as handlers know
// it (the widget).
using TControlHandler = std::function<void(const void* Sender)>;

// Where errors of a change go; never raises.
using TErrorDisplay = std::function<void(std::exception_ptr)>;

// Raised after a value was stored (Sender control, Field).
using TFieldChangedEvent = TEvent<void(const void* Sender, TField* Field)>;
// Raised after a vetoed value was undone on the control (Sender control, Field, Value).
using TValueRejectedEvent = TEvent<void(const void* Sender, TField* Field, const Variant& Value)>;

// One control a frame may bind: it shows a field's value and reads one back, each
// kind in its own way, and reports its changes through Changed.
class TBoundControl {
public:
    TBoundControl() = default;
    virtual ~TBoundControl();
    TBoundControl(const TBoundControl&) = delete;
    TBoundControl& operator=(const TBoundControl&) = delete;

    // The field the control edits; none while it is unbound.
    TField* Field() const { return field_; }

    // What handlers receive as Sender.
    virtual const void* Sender() const { return this; }
    // Whether the frame shows and reads this control. Controls of other kinds may hold
    // a field, but the frame leaves them alone.
    virtual bool Edits() const { return true; }
    // Sets the control from the field as its kind shows a value. Setting raises the
    // control's change (Changed) when what it shows changes.
    virtual void Show(const TField& field) = 0;
    // The value the control holds as its kind reads it back; none while it offers
    // nothing to store (no item chosen).
    virtual std::optional<Variant> Read() const = 0;

    // The control's change event: the kind calls it whenever its value changed, by
    // the user or by the program. A frame that hooked the control runs its cycle;
    // otherwise the control's own handler, if any, runs. Errors of a hooked control
    // go to its frame's display; those of an own handler pass to the caller.
    void Changed();

private:
    friend class TParamBinding;

    TField* field_ = nullptr;
    TParamBinding* owner_ = nullptr; // the frame whose registry holds the control
    bool hooked_ = false;            // the change event is the owner's cycle
    TControlHandler onChange_;       // the own handler while the control is not hooked
};

// The binding core of a frame: its bound controls in binding order, the handler store,
// the validate and change events, and the cycle.
class TParamBinding {
public:
    explicit TParamBinding(TErrorDisplay display = {});
    virtual ~TParamBinding();
    TParamBinding(const TParamBinding&) = delete;
    TParamBinding& operator=(const TParamBinding&) = delete;

    TFieldLst* FieldList = nullptr; // the list the frame edits (not owned)
    TFieldChangedEvent OnFieldChanged;
    // The frame's veto before a value is stored; Row is none.
    TFieldValidateEvent OnValidate;
    TValueRejectedEvent OnRejected;
    // Set while controls are being set from their fields: nothing is stored then.
    bool Loading = false;

    // The display for errors of the cycle; none: the application's error display.
    void SetErrorDisplay(TErrorDisplay display) { display_ = std::move(display); }
    // Hands an error to the frame's display.
    void ShowError(std::exception_ptr error) const noexcept;

    // The control edits the field of the key in FieldList (or in list); a key the list
    // lacks, or one that names no field, leaves the control unbound. The control joins
    // the registry at its first binding and keeps its place.
    void BindControl(TBoundControl& control, std::string_view key) { BindControlTo(control, key, FieldList); }
    void BindControlTo(TBoundControl& control, std::string_view key, TFieldLst* list);
    // Binds control i to key i for every key; there must be a control for each key.
    void BindControls(const std::vector<TBoundControl*>& controls, const std::vector<std::string>& keys)
    {
        BindControlsTo(controls, FieldList, keys);
    }
    void BindControlsTo(const std::vector<TBoundControl*>& controls, TFieldLst* list,
                        const std::vector<std::string>& keys);
    // The control loses its field. A control hooked by this frame gets its own handler
    // back from the store, or no handler when the store holds none; its later changes
    // store nothing.
    void UnbindControl(TBoundControl& control);
    void UnbindControls(const std::vector<TBoundControl*>& controls);

    // Gives the frame a control's own handler (none removes it): it runs after every
    // change of the control, as the cycle's last step once the control is hooked, and
    // on its own before.
    void SetChangeHandler(TBoundControl& control, TControlHandler handler);

    // Every control this frame ever bound, in binding order.
    const std::vector<TBoundControl*>& Controls() const { return controls_; }

    // A binding whose key named no field of its list (or had no list).
    struct TMissedKey {
        const TBoundControl* Control;
        std::string Key;
    };
    // Every such binding since the frame was made, in binding order.
    const std::vector<TMissedKey>& MissedKeys() const { return missed_; }

    // Sets every bound control from its field (with Loading set, so nothing is stored
    // and no own handler runs) and hooks its change event; the control's own handler
    // goes into the store. The list is the one the frame edits; the base uses the
    // controls' fields.
    virtual void Load(TFieldLst* list);
    // The hooked change event of every bound control: read, validate, store, notify,
    // then the own handler. Nothing at all while Loading. An error of the store leaves
    // at once: the control keeps what it shows, the field its value.
    virtual void ControlChanged(TBoundControl& sender);
    // The frame's veto: OnValidate (an exception in it vetoes without a message); a
    // veto sets the control back quietly and raises OnRejected.
    virtual void ValidateValue(TBoundControl& sender, TField* field, const Variant& value, TFieldLst* row,
                               bool& accept);
    // ShowValue for every bound control, in binding order.
    virtual void RefreshAll();
    // Sets a bound control from its field. The control's change follows, which stores
    // the same value back unless Loading is set.
    virtual void ShowValue(TBoundControl& control);
    // ShowValue with Loading set.
    virtual void ShowValueQuiet(TBoundControl& control);

private:
    friend class TBoundControl;

    // The hooked change event: the cycle, its errors to the display.
    void Hooked(TBoundControl& control);
    void Register(TBoundControl& control);
    // Drops a control from the registry and the store (the control is going).
    void Forget(TBoundControl& control);
    // Moves the control's own handler into the store and hooks the control.
    void Hook(TBoundControl& control);

    TErrorDisplay display_;
    std::vector<TBoundControl*> controls_;
    std::unordered_map<TBoundControl*, TControlHandler> store_;
    std::vector<TMissedKey> missed_;
};

// The key a control's name implies: the name without its short prefix ("cb" combo
// box, "ed" edit or spin edit, "ch" check box, "rg" radio group, "se" spin edit); a
// name without one of them is its own key.
std::string ControlKey(std::string_view controlName);

// The range of values a field's type holds: what a spin edit offers when neither the
// field's limits nor the frame's design set one. Texts hold no range (0, 0).
std::pair<double, double> FieldTypeRange(uint16_t fieldType);
