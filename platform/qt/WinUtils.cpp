#include "platform/qt/WinUtils.h"

#include <QVariant>
#include <QWidget>

namespace {

// On the control: its children are disabled by EnableChildren.
constexpr const char* kChildrenDisabled = "mirvakChildrenDisabled";
// On a child: it was disabled on its own before EnableChildren disabled its siblings.
constexpr const char* kKeptDisabled = "mirvakKeptDisabled";

} // namespace

void EnableChildren(QWidget* control, bool enabled)
{
    if (!control) return;
    const bool locked = control->property(kChildrenDisabled).toBool();
    if (!enabled && locked) return;
    for (QObject* object : control->children()) {
        auto* child = qobject_cast<QWidget*>(object);
        if (!child || child->isWindow()) continue;
        if (!enabled) {
            // Disabled on its own: isEnabledTo looks at the child alone, not its parents.
            child->setProperty(kKeptDisabled, !child->isEnabledTo(control));
            child->setEnabled(false);
        } else {
            if (!child->property(kKeptDisabled).toBool()) child->setEnabled(true);
            child->setProperty(kKeptDisabled, QVariant());
        }
    }
    control->setProperty(kChildrenDisabled, enabled ? QVariant() : QVariant(true));
}
