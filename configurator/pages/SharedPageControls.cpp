#include "configurator/pages/SharedPageControls.h"

#include "configurator/widgets/PageBuilder.h"
#include "configurator/widgets/ParamControls.h"
#include "platform/Format.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>

void TIecSizeControls::Take(const TPageControls& made)
{
    cb061 = made.Get<QComboBox>("cb061");
    cb062 = made.Get<QComboBox>("cb062");
    cb063 = made.Get<QComboBox>("cb063");
    cb064 = made.Get<QComboBox>("cb064");
}

void TIecAsduControls::Take(const TPageControls& made)
{
    cb065 = made.Get<QComboBox>("cb065");
    cb066 = made.Get<QComboBox>("cb066");
    cb067 = made.Get<QComboBox>("cb067");
}

void TIecTimeoutControls::Take(const TPageControls& made)
{
    gbTimeouts = made.Get<QGroupBox>("gbTimeouts");
    gbWindow = made.Get<QGroupBox>("gbWindow");
}

void TIecPointControls::Take(const TPageControls& made)
{
    TIecSizeControls::Take(made);
    TIecTimeoutControls::Take(made);
    ed0104 = made.Get<TSpinEdit>("ed0104");
    ed0107 = made.Get<TSpinEdit>("ed0107");
    ed0108 = made.Get<TSpinEdit>("ed0108");
    gbGroupPoll = made.Get<QGroupBox>("gbGroupPoll");
    edGroupPoll = made.Run<TSpinEdit, 16>([](int n) { return platform::Format("ed%.4d", 108 + n); });
    ch0102 = made.Get<QCheckBox>("ch0102");
    ch0103 = made.Get<QCheckBox>("ch0103");
    ch0105 = made.Get<QCheckBox>("ch0105");
}

void TPollSettingControls::Take(const TPageControls& made)
{
    edTSLink = made.Get<TSpinEdit>("edTSLink");
    edTITLink = made.Get<TSpinEdit>("edTITLink");
    ed0004 = made.Get<TSpinEdit>("ed0004");
    ed0013 = made.Get<TSpinEdit>("ed0013");
    ed0014 = made.Get<TSpinEdit>("ed0014");
    ed0015 = made.Get<TSpinEdit>("ed0015");
}
