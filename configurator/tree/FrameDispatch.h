#pragma once

#include "configurator/tree/TreeNodes.h"
#include "model/uDocument.h"

#include <functional>
#include <map>
#include <memory>

class QTreeWidget;
class QWidget;
class TDevice;
class TFrameRegistry;
class TZumo2Doc;

// Which editing page a tree node gets, and the registry of the page factories.

// The pages by what they edit.
enum class TFrameKind {
    None,
    Common,           // the document's common parameters
    Port,             // a port record (TUART)
    Device,           // a device slot
    DeviceHask1,      // a device of a Hask document
    DeviceGrendal,    // a device of a Grendal document
    Modem,            // a modem record
    DeviceGroup,      // the used devices
    LogicChannels,    // the logical channel table
    InternalChannels, // the own channels of a Zumo 7 document
    DIOChannels,      // the DIO channels of a Zumo 7 document
    Apertures,        // the TIT apertures
    Scales,           // the TIT conversions
    DevChannels,      // a device's channel blocks
    DevApertures,     // a device's aperture blocks
    DevScales,        // a device's scale blocks
};

const char* FrameKindName(TFrameKind kind);

// The group nodes of the current tree; a builder sets those its family has.
struct TTreeGroups {
    TNodeTree* Root = nullptr;
    TNodeTree* Devices = nullptr;
    TNodeTree* LogicChannels = nullptr;
    TNodeTree* Apertures = nullptr;
    TNodeTree* Scales = nullptr;
    TNodeTree* OwnChannels = nullptr;
    TNodeTree* DIO = nullptr;

    void Clear() { *this = TTreeGroups(); }
};

// A page kind and the list it edits.
struct TFrameChoice {
    TFrameKind Kind = TFrameKind::None;
    TFieldLst* List = nullptr;
    bool operator==(const TFrameChoice&) const = default;
};

// The page of an element's own list, by the list's class (tested in this order): the
// document, a port, a Pelvar device (THask1Device), a Tramel-5141 device
// (TDeviceGrendal), any other device, a modem (TModem and its halves), anything else
// none. No list: none.
TFrameChoice ObjectFrameKind(TFieldLst* list);

// The page of a node: none without a node or when the document is not a base-model
// document; the group nodes by the references in groups; a device's "Каналы",
// "Апертуры" and "Преобразования ТИТ" their grids over the device; any other element
// node the page of its list; any other group node none.
TFrameChoice FrameKindForNode(const TNodeTree* node, TDocument* document, const TTreeGroups& groups);

// Everything a page factory gets.
struct TFrameArgs {
    TFrameKind Kind = TFrameKind::None;
    TZumo2Doc* Document = nullptr;
    TFieldLst* List = nullptr;            // what the page edits (the document for the group pages)
    TBindingTree* Tree = nullptr;         // the document tree
    TNodeTree* DevicesGroup = nullptr;    // the devices group node
    TFieldValidateEvent OnValidate;       // the page's validate event, when it has one
    QWidget* Parent = nullptr;            // the frame host (none without widgets)
    QTreeWidget* View = nullptr;          // the tree's view (none without widgets)
    const TFrameRegistry* Registry = nullptr; // the registry that makes the page (set by Create)
};

// Grid pages that can show one of their records: the row whose record it is gets the
// focus at the given column, is scrolled into view, and the grid takes the input focus.
class IRecordSelector {
public:
    virtual ~IRecordSelector();
    // False when no row holds the record.
    virtual bool SelectRecord(const TFieldLst* record, int column) = 0;
};

// Pages whose rows are a model of the records they show (a Qt item model): told when
// the records changed behind them, since repainting alone would show the old rows.
class IRecordsView {
public:
    virtual ~IRecordsView();
    virtual void RecordsChanged() = 0;
};

// The shown page as the document tree uses it.
class TShownFrame {
public:
    virtual ~TShownFrame();
    // The page's widget; none without widgets.
    virtual QWidget* Widget() const { return nullptr; }
    // Every control shows its field again.
    virtual void RefreshAll() = 0;
    // The records a grid shows were changed behind its back: it reads them again.
    virtual void RecordsChanged() = 0;
    // Enabling and visibility from the current values; stores nothing.
    virtual void UpdateControls() {}
    // The page's row selection, when it has rows.
    virtual IRecordSelector* RecordSelector() { return nullptr; }
};

// Makes a page: constructs it and loads it. An exception leaves no page.
using TFrameFactory = std::function<std::unique_ptr<TShownFrame>(const TFrameArgs& args)>;

// Everything a protocol page factory gets: the device, the tree's view and the device
// page's panel that hosts the page.
struct TProtocolPageArgs {
    TDevice* Device = nullptr;
    QTreeWidget* View = nullptr;
    QWidget* Host = nullptr;
};

// Makes a protocol page with the host as its parent (constructed, filled and loaded);
// none when it makes none.
using TProtocolPageFactory = std::function<QWidget*(const TProtocolPageArgs& args)>;

// The page factories: the pages by kind, and the protocol pages the device page hosts
// by their number (TProtocolPage of configurator/rules/PageRules.h). A kind or number
// without a factory gives no page.
class TFrameRegistry {
public:
    // Replaces the kind's factory; an empty factory removes it.
    void Register(TFrameKind kind, TFrameFactory factory);
    bool Has(TFrameKind kind) const { return factories_.count(kind) != 0; }
    // The page of args.Kind, made with Registry set to this registry; none without a
    // factory or for a factory that makes none.
    std::unique_ptr<TShownFrame> Create(const TFrameArgs& args) const;

    // Replaces a protocol page's factory; an empty factory removes it.
    void RegisterProtocolPage(int page, TProtocolPageFactory factory);
    bool HasProtocolPage(int page) const { return protocolPages_.count(page) != 0; }
    // The protocol page of a number; none without a factory.
    QWidget* CreateProtocolPage(int page, const TProtocolPageArgs& args) const;

private:
    std::map<TFrameKind, TFrameFactory> factories_;
    std::map<int, TProtocolPageFactory> protocolPages_;
};

// The program's registry, which the pages fill.
TFrameRegistry& Frames();
