#include "configurator/pages/ProtocolPages.h"

#include "configurator/pages/FDevice.h"
#include "configurator/pages/FKPDCON.h"
#include "configurator/pages/FKPGranit.h"
#include "configurator/pages/FKPIEC.h"
#include "configurator/pages/FKPIEC_Grendal.h"
#include "configurator/pages/FKPKOMPAS.h"
#include "configurator/pages/FKPMKT1.h"
#include "configurator/pages/FKPMKT2.h"
#include "configurator/pages/FKPMKT3.h"
#include "configurator/pages/FKPMeters.h"
#include "configurator/pages/FKPModbus.h"
#include "configurator/pages/FKPOrion.h"
#include "configurator/pages/FKPRPT80.h"
#include "configurator/pages/FKPSiemensSymap.h"
#include "configurator/pages/FKPSirius_2V.h"
#include "configurator/pages/FKPTK113Shield.h"
#include "configurator/pages/FKPTM512.h"
#include "configurator/pages/FKPTM800B.h"
#include "configurator/pages/FKPUTM7.h"
#include "configurator/pages/FPUGranit.h"
#include "configurator/pages/FPUIEC.h"
#include "configurator/pages/FPUTM120.h"

namespace {

// The page class F for a kind.
template <class F>
void Register(TFrameRegistry& registry, TProtocolPage page)
{
    RegisterProtocolPage(registry, page, [](QTreeWidget* tree, TDevice* device, QWidget* host) -> TParamFrame* {
        return MakeFrame<F>(tree, device, host);
    });
}

} // namespace

void RegisterProtocolPages(TFrameRegistry& registry)
{
    using P = TProtocolPage;
    Register<TfrKPIEC>(registry, P::KPIEC);
    Register<TfrPUIEC>(registry, P::PUIEC);
    Register<TfrKPModbus>(registry, P::KPModbus);
    Register<TfrKPTM800B>(registry, P::KPTM800B);
    Register<TfrKPKOMPAS>(registry, P::KPKOMPAS);
    Register<TfrKPMercury>(registry, P::KPMercury);
    Register<TfrKPMKT2>(registry, P::KPMKT2);
    Register<TfrKPMKT3>(registry, P::KPMKT3);
    Register<TFrPUTM120>(registry, P::PUTM120);
    Register<TfrKPCE304>(registry, P::KPCE304);
    Register<TfrKPProton>(registry, P::KPProton);
    // Only over the block of a Siemens document's device: the page needs the register names.
    RegisterProtocolPage(registry, P::KPSiemensSymap, &TFrKPSiemensSymap::Create);
    Register<TfrKPTM512>(registry, P::KPTM512);
    Register<TfrPUTM512>(registry, P::PUTM512);
    Register<TfrKPRPT80>(registry, P::KPRPT80);
    Register<TfrPURPT80>(registry, P::PURPT80);
    Register<TfrKPANSI>(registry, P::KPANSI);
    Register<TfrKPUTM7>(registry, P::KPUTM7);
    Register<TfrKPSET>(registry, P::KPSET);
    Register<TfrKPMKT1>(registry, P::KPMKT1);
    Register<TfrKPTM500>(registry, P::KPTM500);
    Register<TfrPUTM500>(registry, P::PUTM500);
    Register<TfrKPMK51>(registry, P::KPMK51);
    Register<TfrKPMK55>(registry, P::KPMK55);
    Register<TfrKPTK113Shield>(registry, P::KPTK113Shield);
    Register<TFrKPOrion>(registry, P::KPOrion);
    Register<TFrKPSirius_2V>(registry, P::KPSirius_2V);
    Register<TfrKPGranit>(registry, P::KPGranit);
    Register<TFrPUGranit>(registry, P::PUGranit);
    Register<TfrKPIEC_Grendal>(registry, P::KPIEC_Grendal);
    Register<TfrKPDCON>(registry, P::KPDCON);
}
