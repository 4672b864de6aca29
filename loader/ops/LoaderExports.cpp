#include "loader/ops/LoaderExports.h"

#include "loader/core/ExceptionLog.h"
#include "loader/dialogs/FParam.h"
#include "loader/core/LoaderConnection.h"
#include "loader/core/LoaderCore.h"
#include "loader/ops/DeviceSession.h"
#include "loader/ops/LoaderRead.h"
#include "loader/ops/LoaderWrite.h"
#include "loader/api/SarnupolexConst.h"
#include "model/Memory.h"
#include "platform/CodePages.h"
#include "platform/ErrorDisplay.h"
#include "platform/Format.h"
#include "platform/Tick.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

const char* const kOperationNotSupported = "Операция с кодом %d не поддерживается";
const char* const kNoDataBuffer = "Не задан буфер данных";
const char* const kBadDataLength = "Неверная длина данных: %d";

namespace {

// The catalogue rows in the order the host shows them.
struct TCatalogueRow {
    int32_t Code;
    const char* Text;
};
const TCatalogueRow kCatalogue[] = {
    {opSettings, "Caption=Настройки подключения"},
    {opSeparator, "Caption=Разделитель"},
    {opReadParams, "Caption=Считать параметры"},
    {opWriteParams, "Caption=Записать параметры"},
    {opSeparator, "Caption=Разделитель"},
    {opChooseFirmware, "Caption=Выбрать файл прошивки"},
    {opWriteFirmware, "Caption=Записать прошивку"},
    {opWriteFirmwareAndParams, "Caption=Записать прошивку и текущие параметры"},
    {opSeparator, "Caption=Разделитель"},
    {opReadEeprom, "Caption=Считать EEPROM и сохранить в файл"},
    {opReadFlash, "Caption=Считать FLASH и сохранить в файл"},
    {opSeparator, "Caption=Разделитель"},
    {opQuickSend, "Caption=Быстрая отправка"},
};

// Model code of the settings operation when the host gives none.
constexpr int32_t kDefaultModelCode = 16;
// The highest code Invoke3 may dispatch.
constexpr uint32_t kLastOperation = opChooseFirmware;

// What an operation gets from Invoke3.
struct TOperationContext {
    TLoaderCore& Core;
    const TInvokeRequest& Request;
    const std::string& Scheme;
    const TSettingsDialog& Settings;
};

using TOperation = bool (*)(TOperationContext& context);

bool RunSettings(TOperationContext& c)
{
    TBlockList* hostList = c.Request.Result ? *c.Request.Result : nullptr;
    return EditConnectionSettings(c.Core, c.Request.Device, c.Scheme, hostList, c.Settings);
}

bool RunReadParams(TOperationContext& c)
{
    const TInvokeRequest& r = c.Request;
    return ReadDeviceParams(c.Core, r.Device, c.Scheme, r.Blocks, r.BaseAddress, r.LinearHex, r.HostWindow, r.Result);
}

bool RunReadEeprom(TOperationContext& c) { return ReadEepromToFile(c.Core, c.Request.Device, c.Scheme); }

bool RunReadFlash(TOperationContext& c) { return ReadFlashToFile(c.Core, c.Request.Device, c.Scheme); }

bool RunWriteParams(TOperationContext& c)
{
    return WriteDeviceParams(c.Core, c.Request.Device, c.Scheme, c.Request.Blocks, c.Request.BaseAddress,
                             c.Request.LinearHex);
}

bool RunWriteFirmware(TOperationContext& c) { return WriteFirmware(c.Core, c.Request.Device, c.Scheme); }

bool RunWriteFirmwareAndParams(TOperationContext& c)
{
    return WriteFirmwareAndParams(c.Core, c.Request.Device, c.Scheme, c.Request.Blocks, c.Request.BaseAddress);
}

bool RunChooseFirmware(TOperationContext& c) { return ChooseFirmwareFile(c.Core); }

// The operations Invoke3 dispatches; a code without a row is refused.
struct TOperationRow {
    int32_t Code;
    TOperation Run;
};
const TOperationRow kOperations[] = {
    {opSettings, RunSettings},
    {opReadParams, RunReadParams},
    {opReadEeprom, RunReadEeprom},
    {opReadFlash, RunReadFlash},
    {opWriteParams, RunWriteParams},
    {opWriteFirmware, RunWriteFirmware},
    {opWriteFirmwareAndParams, RunWriteFirmwareAndParams},
    {opChooseFirmware, RunChooseFirmware},
};

// Deletes the operation log file when it is one; a directory in its place stays.
void DeleteLogFile(const fs::path& file) noexcept
{
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(file, ec);
    if (ec || !fs::exists(status) || fs::is_directory(status)) return;
    fs::remove(file, ec);
}

void ShowErrorBox(TLoaderCore& core, const std::exception_ptr& error) noexcept
{
    try {
        platform::ShowMessageBox(core.OperationWindow(), platform::ExceptionMessage(error), "Ошибка",
                                 platform::MsgIcon::Error, platform::MsgButtons::OK);
    } catch (...) {
        LogException(std::current_exception());
    }
}

// The error of a small entry point: the thread's last-error text and the rolling log.
void ReportFailure(TLoaderCore* core, const std::exception_ptr& error) noexcept
{
    LogException(error);
    try {
        const std::string text = platform::ExceptionMessage(error);
        platform::SetLastErrorText(text);
        if (core) core->Watch().Log(wlError, text);
    } catch (...) {
    }
}

void RequireBuffer(const void* buffer, int32_t count)
{
    if (count < 0) throw ESarnupolex(platform::Format(kBadDataLength, count));
    if (!buffer && count > 0) throw ESarnupolex(kNoDataBuffer);
}

// Runs an I/O body with its failure reported; failed is its result then.
template <class Fn>
int32_t Reported(TLoaderCore& core, int32_t failed, Fn&& fn) noexcept
{
    try {
        platform::SetLastErrorText({});
        return fn();
    } catch (...) {
        ReportFailure(&core, std::current_exception());
        return failed;
    }
}

} // namespace

const char* OperationCatalogue()
{
    static const std::string text = [] {
        std::string utf8;
        for (const TCatalogueRow& row : kCatalogue) {
            if (!utf8.empty()) utf8 += '\n';
            utf8 += platform::Format("OPCode=%d; %s", row.Code, row.Text);
        }
        return platform::Utf8ToAnsi(utf8);
    }();
    return text.c_str();
}

bool EditConnectionSettings(TLoaderCore& core, int32_t device, const std::string& scheme, TBlockList* hostList,
                            const TSettingsDialog& dialog)
{
    int32_t modelCode = kDefaultModelCode;
    if (hostList && hostList->Count() > 0) {
        modelCode = hostList->Integer(0);
        hostList->Delete(0);
    }
    (void)modelCode; // the dialog does not use it
    std::vector<std::string> devices = core.DeviceLines();
    int index = device;
    if (!dialog(core, devices, index)) return false;
    core.MarkSessionChanged();
    core.SaveDeviceList(scheme, devices);
    if (hostList) hostList->AddInteger(index);
    return true;
}

int32_t InvokeOperation(TLoaderCore& core, const TInvokeRequest& request, const TSettingsDialog& settings) noexcept
{
    int32_t result = 0;
    try {
        core.SetOperationWindow(request.HostWindow);
        if (request.Op != opSettings) DeleteLogFile(core.LogFileName());
        const TOperationRow* row = nullptr;
        if (static_cast<uint32_t>(request.Op) <= kLastOperation)
            for (const TOperationRow& r : kOperations)
                if (r.Code == request.Op) row = &r;
        if (!row) throw ESarnupolex(platform::Format(kOperationNotSupported, request.Op));
        const std::string scheme = request.Scheme ? request.Scheme : "";
        TOperationContext context{core, request, scheme, settings};
        result = row->Run(context) ? -1 : 0;
    } catch (...) {
        LogException(std::current_exception());
        ShowErrorBox(core, std::current_exception());
        result = 0;
    }
    core.SaveLog();
    return result;
}

int32_t QuickSendText(TLoaderCore& core, int32_t device, const char* text) noexcept
{
    return Reported(core, 0, [&] {
        if (!text) throw ESarnupolex(kNoDataBuffer);
        TDeviceSession session(core, device, TSessionKind::DirectIO);
        session.Open();
        const std::string bytes = std::string(text) + "\r\n";
        session.Connection().DeviceWrite(bytes.data(), static_cast<int32_t>(bytes.size()));
        return 1;
    });
}

int32_t DeviceIORead(TLoaderCore& core, int32_t device, void* buffer, int32_t count) noexcept
{
    return Reported(core, -1, [&] {
        RequireBuffer(buffer, count);
        TDeviceSession session(core, device, TSessionKind::DirectIO);
        session.Open();
        return session.Connection().DeviceRead(buffer, count);
    });
}

int32_t DeviceIOWrite(TLoaderCore& core, int32_t device, const void* buffer, int32_t count) noexcept
{
    return Reported(core, -1, [&] {
        RequireBuffer(buffer, count);
        TDeviceSession session(core, device, TSessionKind::DirectIO);
        session.Open();
        return session.Connection().DeviceWrite(buffer, count);
    });
}

int32_t DeviceIOWriteRead(TLoaderCore& core, int32_t device, void* buffer, int32_t writeLength, int32_t readLength,
                          int32_t delayMs, int32_t idleMs) noexcept
{
    return Reported(core, -1, [&] {
        RequireBuffer(buffer, writeLength);
        RequireBuffer(buffer, idleMs == 0 ? readLength : int32_t{kIOWriteReadIdleLimit});
        TDeviceSession session(core, device, TSessionKind::DirectIO);
        session.Open();
        TLoaderConnection& connection = session.Connection();
        connection.DeviceWrite(buffer, writeLength);
        if (delayMs > 0) platform::Sleep(static_cast<uint32_t>(delayMs));
        if (idleMs == 0) return connection.DeviceRead(buffer, readLength);
        auto* bytes = static_cast<uint8_t*>(buffer);
        int32_t count = 0;
        uint64_t last = platform::GetTickCount();
        while (count < kIOWriteReadIdleLimit) {
            if (connection.DeviceRead(bytes + count, 1) > 0) {
                ++count;
                last = platform::GetTickCount();
            } else if (static_cast<int64_t>(platform::GetTickCount() - last) >= idleMs) {
                break;
            }
        }
        return count;
    });
}

void ReportNoCore() noexcept
{
    try {
        platform::SetLastErrorText("Библиотека загрузчика не инициализирована");
    } catch (...) {
    }
}
