#include "tests/support/TreeFixtures.h"

namespace testsupport {

void THaskListsDoc::Build()
{
    TZumo2Doc::Build();
    TLayout extra(*this, AddImageBlock(0x8000, 32), 0);
    extra.List<TUART>("ADSP", "ADSP канал 1", 0);
    extra.List<TUART>("ADSP2", "ADSP канал 2", 0);
    extra.List<TModemPort>("Modem1", "Модем 1", 0);
    extra.List<TUART>("Modem2", "Модем 2", 0);
}

std::unique_ptr<TZumo2Doc> NewZumo2Doc()
{
    auto doc = MakeZumo2Doc();
    doc->ResetDefaults();
    return doc;
}

void UseSlot(TZumo2Doc& doc, int slot, int protocolIndex, int port, int role, int address)
{
    TDevice& device = *doc.DeviceByIndex(slot);
    device.PortField()->SetValue(int32_t{port});
    device.ProtocolField()->SetValue(int32_t{ProtocolCodes[protocolIndex]});
    device.RoleField()->SetValue(int32_t{role});
    device.AddressField()->SetValue(int32_t{address});
}

} // namespace testsupport
