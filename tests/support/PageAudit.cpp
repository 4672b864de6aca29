#include "tests/support/PageAudit.h"

#include "configurator/rules/ParamBinding.h"
#include "configurator/widgets/ParamControls.h"
#include "configurator/widgets/uParamFrame.h"
#include "model/uDocument.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>

#include <set>
#include <sstream>
#include <string>

namespace testsupport {

namespace {

// The caption of a widget as the audit reads it.
QString TextOf(const TParamFrame& page, const QWidget* widget)
{
    if (auto* check = qobject_cast<const QCheckBox*>(widget)) return check->text();
    if (auto* group = qobject_cast<const QGroupBox*>(widget)) return group->title();
    if (auto* label = qobject_cast<const QLabel*>(widget)) return label->text();
    for (const QLabel* label : page.findChildren<QLabel*>())
        if (label->buddy() == widget) return label->text();
    return QStringLiteral("<no caption>");
}

std::vector<std::pair<QString, int>> ItemsOf(const QWidget* widget)
{
    std::vector<std::pair<QString, int>> items;
    if (auto* combo = qobject_cast<const QComboBox*>(widget)) {
        for (int i = 0; i < combo->count(); ++i) items.emplace_back(combo->itemText(i), combo->itemData(i).toInt());
    } else if (auto* group = qobject_cast<const TRadioGroup*>(widget)) {
        for (int i = 0; i < group->Count(); ++i) items.emplace_back(group->Button(i)->text(), i);
    }
    return items;
}

std::string Quoted(const QString& text) { return "\"" + text.toStdString() + "\""; }

} // namespace

::testing::AssertionResult AuditPage(const TParamFrame& page, const TFieldLst& list,
                                     std::span<const TAuditControl> controls)
{
    std::ostringstream problems;
    const std::string where = page.objectName().toStdString();
    std::set<const QWidget*> listed;

    for (const TAuditControl& c : controls) {
        const QWidget* widget = page.findChild<QWidget*>(c.Name);
        if (!widget) {
            problems << "\n  " << c.Name << ": missing";
            continue;
        }
        listed.insert(widget);
        if (std::string(widget->metaObject()->className()) != c.Class)
            problems << "\n  " << c.Name << ": a " << widget->metaObject()->className() << ", not a " << c.Class;
        if (c.Text && TextOf(page, widget) != QString::fromUtf8(c.Text))
            problems << "\n  " << c.Name << ": text " << Quoted(TextOf(page, widget)) << ", not \"" << c.Text << "\"";
        if (!c.Items.empty()) {
            std::vector<std::pair<QString, int>> expected;
            for (const auto& [text, value] : c.Items) expected.emplace_back(QString::fromUtf8(text), value);
            const std::vector<std::pair<QString, int>> items = ItemsOf(widget);
            if (items != expected) {
                problems << "\n  " << c.Name << ": items";
                for (const auto& [text, value] : items) problems << " " << Quoted(text) << "=" << value;
            }
        }
        if (c.Unit) {
            const std::string unitName = "lb" + ControlKey(c.Name) + "Unit";
            const auto* unit = page.findChild<QLabel*>(QString::fromStdString(unitName));
            if (!unit || unit->text() != QString::fromUtf8(c.Unit))
                problems << "\n  " << c.Name << ": unit " << (unit ? Quoted(unit->text()) : "missing") << ", not \""
                         << c.Unit << "\"";
        }
        const TField* bound = page.FieldOf(const_cast<QWidget*>(widget));
        const TFieldLst& keys = c.List ? *c.List : list;
        const TField* expected = c.Key ? dynamic_cast<const TField*>(keys.FindField(c.Key)) : nullptr;
        if (bound != expected) {
            problems << "\n  " << c.Name << ": ";
            if (!expected)
                problems << "bound, though " << (c.Key ? std::string("the list has no \"") + c.Key + "\"" : "listed unbound");
            else if (!bound)
                problems << "unbound, not bound to \"" << c.Key << "\"";
            else
                problems << "bound to another field than \"" << c.Key << "\"";
        }
    }
    for (const TBoundControl* control : page.Controls()) {
        const QWidget* widget = TParamFrame::WidgetOf(*control);
        if (control->Field() && widget && !listed.count(widget))
            problems << "\n  " << widget->objectName().toStdString() << ": bound, and not in the audit table";
    }
    const std::string found = problems.str();
    if (found.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << where << ":" << found;
}

} // namespace testsupport
