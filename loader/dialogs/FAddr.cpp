#include "loader/dialogs/FAddr.h"

#include "loader/core/ExceptionLog.h"
#include "platform/Registry.h"

#include <algorithm>
#include <exception>
#include <mutex>

const char* const kAddrFormCaption = "Парметры";
const char* const kAddrUnitNames[3] = {"байт", "Кб", "Мб"};
const char* const kAddrStartValue = "edAddr.Value";
const char* const kAddrCountValue = "edCount.Value";
const char* const kAddrUnitValue = "cbLength.ItemIndex";
const char* const kAddrWindowState = "WindowState";

namespace {

// Bytes of one unit of the count, by unit index.
constexpr uint64_t kUnitBytes[3] = {1, 1024, 1048576};

int32_t Clamp(int64_t value) { return static_cast<int32_t>(std::clamp<int64_t>(value, 0, kAddrMaxValue)); }

// The view of the loaded library. A plain pointer: the unload hook of a process that
// exits without unloading runs after the static destructors.
std::mutex g_viewLock;
std::shared_ptr<const platform::FormView>* g_view = nullptr;

// The stored value when it is a number within the range.
bool StoredNumber(const platform::RegistryData& data, const char* name, int64_t low, int64_t high, int64_t& value)
{
    const std::optional<platform::RegistryValue> stored = data.Get(AddrStorageKey(), name);
    if (!stored || stored->type != platform::RegistryValue::Type::Dword) return false;
    const int64_t number = static_cast<int32_t>(stored->number);
    if (number < low || number > high) return false;
    value = number;
    return true;
}

} // namespace

std::string AddrStorageKey()
{
    return platform::RegistryKey(platform::kHKeyCurrentUser, "Software\\Quorvandell\\Sarnupolex\\Options");
}

TfmAddrModel::TfmAddrModel() : caption_(kAddrFormCaption)
{
    try {
        Load();
    } catch (...) {
        LogException(std::current_exception());
    }
}

TfmAddrModel::~TfmAddrModel()
{
    try {
        Save();
    } catch (...) {
        LogException(std::current_exception());
    }
}

void TfmAddrModel::SetStart(int64_t value) { start_ = Clamp(value); }

void TfmAddrModel::SetCount(int64_t value) { count_ = Clamp(value); }

uint64_t TfmAddrModel::AreaSize() const
{
    if (unit_ < 0 || unit_ > 2) return 0;
    return static_cast<uint64_t>(count_) * kUnitBytes[unit_];
}

void TfmAddrModel::Load()
{
    const platform::RegistryData data = platform::RegistryStore(platform::RegistryStore::DefaultFile()).Load();
    int64_t value = 0;
    if (StoredNumber(data, kAddrStartValue, 0, kAddrMaxValue, value)) start_ = static_cast<int32_t>(value);
    if (StoredNumber(data, kAddrCountValue, 0, kAddrMaxValue, value)) count_ = static_cast<int32_t>(value);
    if (StoredNumber(data, kAddrUnitValue, 0, 2, value)) unit_ = static_cast<int>(value);
    if (StoredNumber(data, kAddrWindowState, 0, 2, value)) windowState_ = static_cast<int>(value);
}

void TfmAddrModel::Save() const
{
    platform::RegistryStore(platform::RegistryStore::DefaultFile()).Update([this](platform::RegistryData& data) {
        const std::string key = AddrStorageKey();
        data.Set(key, kAddrStartValue, platform::RegistryValue::Dword(static_cast<uint32_t>(start_)));
        data.Set(key, kAddrCountValue, platform::RegistryValue::Dword(static_cast<uint32_t>(count_)));
        data.Set(key, kAddrUnitValue, platform::RegistryValue::Dword(static_cast<uint32_t>(unit_)));
        data.Set(key, kAddrWindowState, platform::RegistryValue::Dword(static_cast<uint32_t>(windowState_)));
        return true;
    });
}

void SetAddrFormView(std::shared_ptr<const platform::FormView> view)
{
    const std::lock_guard<std::mutex> guard(g_viewLock);
    if (view && !g_view) g_view = new std::shared_ptr<const platform::FormView>;
    if (view) {
        *g_view = std::move(view);
    } else {
        delete g_view;
        g_view = nullptr;
    }
}

bool ShowAddrForm(TfmAddrModel& model, platform::HWND owner)
{
    std::shared_ptr<const platform::FormView> view;
    {
        const std::lock_guard<std::mutex> guard(g_viewLock);
        if (g_view) view = *g_view;
    }
    return platform::ShowForm(platform::FormRequest{owner, &model, view}) == platform::MsgResult::OK;
}
