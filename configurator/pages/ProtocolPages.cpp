#include "configurator/pages/ProtocolPages.h"

#include "configurator/pages/FDevice.h"
#include "configurator/pages/FKPIEC.h"
#include "configurator/pages/FKPIEC_Grendal.h"
#include "configurator/pages/FKPKOMPAS.h"
#include "configurator/pages/FKPMKT2.h"
#include "configurator/pages/FKPMKT3.h"
#include "configurator/pages/FKPMeters.h"
#include "configurator/pages/FKPModbus.h"
#include "configurator/pages/FKPTM800B.h"
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
    Register<TfrKPIEC_Grendal>(registry, P::KPIEC_Grendal);
}
