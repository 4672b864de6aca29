#pragma once

#include "configurator/rules/PageRules.h"
#include "configurator/widgets/PageBuilder.h"
#include "configurator/widgets/uParamFrame.h"

class TDevice;

// The base of the role pages the Pelvar and Tramel-5141 device pages host: a page over
// one device made from the page's table in one column. Its object name is "fr" and the
// role page's class name after its "Tfr" ("frKPdpNone_Hask1"). Made by MakeFrame with
// (tree, device, host panel).
class TFamilyRoleFrame : public TParamFrame {
    Q_OBJECT
public:
    TDevice* Device() const { return device_; }
    TDeviceFamily Family() const { return family_; }
    TFamilyRolePage Kind() const { return kind_; }

protected:
    TFamilyRoleFrame(QTreeWidget* tree, TDevice* device, TDeviceFamily family, TFamilyRolePage kind,
                     const TPageTable& table, QWidget* parent);

    // A widget the table made; raises std::logic_error for a name it did not make or a
    // widget of another class.
    template <class T = QWidget>
    T* Control(const char* name) const
    {
        return made_.Get<T>(name);
    }
    // Everything the table made.
    const TPageControls& Controls() const { return made_; }

private:
    TDevice* device_;
    TDeviceFamily family_;
    TFamilyRolePage kind_;
    TPageControls made_;
};
