#pragma once

#include "configurator/pages/HostPanel.h"
#include "configurator/rules/PageRules.h"
#include "configurator/widgets/PageBuilder.h"
#include "configurator/widgets/uParamFrame.h"

#include <optional>
#include <span>
#include <vector>

class QComboBox;
class TDevice;
class TDocument;
class TFrameRegistry;
class TIPAddressEdit;
class TNodeTree;
class TRadioGroup;
class TSpinEdit;

// The rows both family device pages have: in the panel "paLink" cbPort "Стык" ("002")
// and edAddr "Адрес" ("000", 0..65535); then the serial rows a page has; then in the
// panel ethernetPanel ed003 "IP" (the 16-character text "003" as an IPv4 address),
// ed007 "Порт" ("007"), rg022 "Клиент"/"Сервер" ("022") and rg024 "TCP"/"UDP" ("024").
std::vector<TPageRow> FamilyDeviceRows(const char* ethernetPanel, std::span<const TPageRow> serialRows = {});

// The base of the device pages of the Pelvar (TfrDevice_Hask1) and Tramel-5141
// (TfrDeviceGrendal) devices: the port, the address and the port's settings from the
// page's table, then, one below the other, a protocol page in paProtocol and the
// family's role page in paMode, as FamilyPagesOf picks them. Role pages are made
// directly; protocol pages come from the registry and only over a protocol block the
// device holds (CreateHostedProtocolPage). Heights come from the pages' layouts:
// a hosted page that shows or hides widgets is fitted again on the next idle cycle,
// and the device page with it.
//
// The device's node is looked up among the devices group node's children when the page
// is made; without one the page never touches the tree.
class TFamilyDevicePage : public TParamFrame {
    Q_OBJECT
public:
    // cbPort: the port names that are not empty, with their indexes.
    void FillLists() override;
    // Binds (the base Load), shows the port's settings as UpdateControls does, then
    // CreateProtocolFrames.
    void Load(TFieldLst* list) override;
    // The protocol page's, the role page's (each panel at its page's height, 0 without
    // one), then the page's own.
    void FitHeight() override;
    // The port settings panel, the node's caption (renamed only when it differs), then
    // the protocol page's and the role page's; fits again what changed height.
    void UpdateControls() override;
    // The page's controls, then the role page's, then the protocol page's.
    void RefreshAll() override;

    // Frees the hosted pages and makes those of the device's current protocol and role,
    // then fits the page.
    void CreateProtocolFrames();

    TParamFrame* ProtocolFrame() const { return protocolHost_->Page(); }
    TParamFrame* RoleFrame() const { return roleHost_->Page(); }
    TDevice* Device() const { return device_; }
    TNodeTree* Node() const { return node_; }
    TDeviceFamily Family() const { return family_; }

    QComboBox* cbPort;
    TSpinEdit* edAddr;
    QWidget* paPort; // the port's settings
    TIPAddressEdit* ed003;
    TSpinEdit* ed007;
    TRadioGroup* rg022;
    TRadioGroup* rg024;
    QWidget* paProtocol;
    QWidget* paMode;

protected:
    TFamilyDevicePage(QTreeWidget* tree, TNodeTree* devicesGroup, TDevice* device, const TFrameRegistry* pages,
                      TDeviceFamily family, const TPageTable& table, QWidget* parent);

    // A widget the table made; raises std::logic_error for a name it did not make.
    template <class T = QWidget>
    T* Control(const char* name) const
    {
        return made_.Get<T>(name);
    }
    TDocument* Document() const { return document_; }

    // Shows the port's settings that fit the selected port; true when a panel was shown
    // or hidden.
    virtual bool UpdatePortPanel() = 0;
    // The family's role page of a kind, made (MakeFrame) with the host as its parent.
    virtual TParamFrame* MakeRolePage(TFamilyRolePage page, QWidget* host) = 0;
    // MakeRolePage over a family's role page classes, one per kind.
    template <class KPdpNone, class PUdpNone, class PUIEC>
    TParamFrame* MakeRolePageOf(TFamilyRolePage page, QWidget* host)
    {
        switch (page) {
        case TFamilyRolePage::KPdpNone: return MakeFrame<KPdpNone>(Tree, Device(), host);
        case TFamilyRolePage::PUdpNone: return MakeFrame<PUdpNone>(Tree, Device(), host);
        case TFamilyRolePage::PUIEC: return MakeFrame<PUIEC>(Tree, Device(), host);
        }
        return nullptr;
    }

    // Shows or hides a widget; true when its state changed.
    static bool ShowChanged(QWidget* widget, bool shown);

private:
    TDevice* device_;
    TDocument* document_;
    const TFrameRegistry* pages_;
    TDeviceFamily family_;
    TNodeTree* node_;
    TPageControls made_;
    std::optional<THostPanel> protocolHost_;
    std::optional<THostPanel> roleHost_;
};
