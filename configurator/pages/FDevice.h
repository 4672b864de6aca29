#pragma once

#include "configurator/pages/HostPanel.h"
#include "configurator/rules/PageRules.h"
#include "configurator/tree/FrameDispatch.h"
#include "configurator/widgets/uParamFrame.h"

#include <functional>
#include <optional>

class QComboBox;
class QWidget;
class TDevice;
class TNodeTree;
class TSpinEdit;

// Makes the protocol page of a kind for a device inside its host panel: the page is
// made (constructed, filled and loaded) with the host as its parent. A factory may
// make none (a page that refuses the device's document): the device page then hosts
// no protocol page.
using TProtocolFrameFactory = std::function<TParamFrame*(QTreeWidget* tree, TDevice* device, QWidget* host)>;

// Puts a protocol page the device page can host into a registry; replaces the kind's
// factory, an empty factory removes it.
void RegisterProtocolPage(TFrameRegistry& registry, TProtocolPage page, TProtocolFrameFactory factory);

// The page of one device slot: its port, address, speed, channel protocol and serial
// settings, above a role page (by the role) and a protocol page (by the protocol and
// role) that it hosts in two panels. The protocol page comes from the registry, and
// only over a protocol block the device holds (CreateHostedProtocolPage). On every idle
// cycle, after the hosted pages' UpdateControls, a hosted page that showed or hid
// widgets is fitted again, and the device page with it.
class TfrDevice : public TParamFrame {
    Q_OBJECT
public:
    // The page's own controls; the role and protocol pages it hosts have theirs.
    static const TPageTable Table;

    void FillLists() override;
    void Load(TFieldLst* list) override;
    void FitHeight() override;
    void UpdateControls() override;
    void RefreshAll() override;

    // Frees the hosted pages and makes those of the device's current role and protocol,
    // then fits the page.
    void CreateProtocolFrames();
    // Renames the device's node when its caption changed.
    void UpdateNodeCaption();

    TParamFrame* RoleFrame() const { return roleHost_->Page(); }
    TParamFrame* ProtocolFrame() const { return protocolHost_->Page(); }
    // The device's port field "002".
    TField* PortField() const;
    TDevice* Device() const { return device_; }
    TNodeTree* Node() const { return node_; }
    // The port record the serial settings depend on; none when the document has none.
    TFieldLst* PortList() const { return portList_; }

    QComboBox* cbPort;
    TSpinEdit* edAddr;
    TSpinEdit* edSpeed;
    QComboBox* cb005;
    QWidget* paPort; // the serial settings
    QComboBox* cb068_1;
    QComboBox* cb068_2;
    QComboBox* cb068_3;
    TSpinEdit* ed006;
    QWidget* paRole;
    QWidget* paProtocol;

protected:
    // The protocol pages come from pages; none: the device page hosts none.
    TfrDevice(QTreeWidget* tree, TNodeTree* devicesGroup, TDevice* device, const TFrameRegistry* pages,
              QWidget* parent = nullptr);

private:
    // Sets the port list the serial settings depend on from the stored port number:
    // at Load and after every change of cbPort (its own change handler).
    void FollowPort();

    TDevice* device_;
    TDocument* document_;
    const TFrameRegistry* pages_;
    TFieldLst* portList_ = nullptr;
    TNodeTree* node_ = nullptr;
    std::optional<THostPanel> roleHost_;
    std::optional<THostPanel> protocolHost_;
};
