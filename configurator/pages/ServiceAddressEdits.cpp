#include "configurator/pages/ServiceAddressEdits.h"

#include "configurator/rules/ProtocolPageRules.h"
#include "configurator/widgets/ParamControls.h"
#include "model/uDocument.h"
#include "platform/ErrorDisplay.h"

#include <QSignalBlocker>

#include <cmath>

TServiceAddressEdits::TServiceAddressEdits(TSpinEdit* block, TSpinEdit* group, TSpinEdit* object, QObject* parent)
    : QObject(parent), block_(block), group_(group), object_(object)
{
    for (TSpinEdit* edit : {block_, group_, object_})
        connect(edit, &QDoubleSpinBox::valueChanged, this, platform::Guarded([this] { Store(); }));
}

void TServiceAddressEdits::Show(TField* address)
{
    address_ = address;
    const TServiceAddress shown =
        address ? DecodeServiceAddress(static_cast<uint8_t>(address->GetValue().ToInt32())) : TServiceAddress{};
    const QSignalBlocker b(block_), g(group_), o(object_);
    block_->setValue(shown.Block);
    group_->setValue(shown.Group);
    object_->setValue(shown.Object);
}

void TServiceAddressEdits::Store() const
{
    if (!address_) return;
    // Whole numbers: the fraction of a value is dropped.
    const auto whole = [](const TSpinEdit* edit) { return static_cast<int>(std::trunc(edit->value())); };
    const uint8_t byte = EncodeServiceAddress({whole(block_), whole(group_), whole(object_)});
    address_->SetValue(Variant(int32_t{byte}));
}
