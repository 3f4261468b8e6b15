#include "app/settings/machine_policy_win.h"

#include "app/settings/settings.h"
#include "win/diagnostics_win.h"
#include "win/text_win.h"

#include <windows.h>

namespace pelmora {
namespace {

constexpr wchar_t kPolicyKey[] = L"SOFTWARE\\Policies\\Korvath\\Pelmora";

// A 0/1 switch, as a REG_DWORD or the text "0"/"1" (a REG_SZ written by
// hand or by a script): nullopt (logged) for anything else.
std::optional<bool> ReadSwitch(HKEY key, const wchar_t* name) {
    union {
        DWORD number;
        wchar_t text[4];
    } data = {};
    DWORD type = 0, size = sizeof data - sizeof(wchar_t);
    const LSTATUS status =
        ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
    if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;
    DWORD value = 2;
    if (status == ERROR_SUCCESS && type == REG_DWORD && size == sizeof(DWORD)) {
        value = data.number;
    } else if (status == ERROR_SUCCESS && type == REG_SZ) {
        const std::wstring text(data.text, wcsnlen(data.text, size / sizeof(wchar_t)));
        if (text == L"0" || text == L"1") value = text[0] - L'0';
    }
    if (value > 1) {
        win::Diag(std::wstring(L"[Pelmora]Policy ") + name +
                  L" ignored: not a REG_DWORD or REG_SZ of 0 or 1\n");
        return std::nullopt;
    }
    win::Diag(std::wstring(L"[Pelmora]Policy ") + name + L" = " + std::to_wstring(value) + L"\n");
    return value == 1;
}

std::optional<int> ReadRegion(HKEY key) {
    wchar_t text[16] = {};
    DWORD type = 0, size = sizeof text - sizeof(wchar_t);
    const LSTATUS status =
        ::RegQueryValueExW(key, L"Region", nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
    if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;
    const std::optional<int> region =
        status == ERROR_SUCCESS && type == REG_SZ
            ? RegionFromName(win::ToUtf8(std::wstring(text, size / sizeof(wchar_t)).c_str()))
            : std::nullopt;
    if (!region) {
        win::Diag(L"[Pelmora]Policy Region ignored: not one of HQ, AMR, EUR, CHNA\n");
        return std::nullopt;
    }
    win::Diag(L"[Pelmora]Policy Region = " + win::FromUtf8(RegionCode(*region)) + L"\n");
    return region;
}

}  // namespace

MachinePolicy ReadMachinePolicy() {
    MachinePolicy policy;
    HKEY key = nullptr;
    // Policies are written to the native view; a 32-bit writer's land in the other.
    for (const REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        const LSTATUS status =
            ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPolicyKey, 0, KEY_QUERY_VALUE | view, &key);
        if (status == ERROR_SUCCESS) break;
        key = nullptr;
        if (status != ERROR_FILE_NOT_FOUND)
            win::Diag(L"[Pelmora]Policy key cannot be read (error " + std::to_wstring(status) +
                      L"); no policy applies\n");
    }
    if (!key) return policy;
    policy.region = ReadRegion(key);
    policy.selfUpdate = ReadSwitch(key, L"SelfUpdate").value_or(true);
    policy.userUpdates = ReadSwitch(key, L"UserUpdates").value_or(true);
    policy.allowUnverifiedInstallers =
        ReadSwitch(key, L"AllowUnverifiedInstallers").value_or(false);
    ::RegCloseKey(key);
    return policy;
}


}  // namespace pelmora
