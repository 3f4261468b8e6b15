// Binding status callbacks that a transfer reports its progress to.
// StatusCallBack only keeps the caller's inactivity time-out from expiring;
// StatusProgressCallBack also shows the percent in a list row and carries the
// user's cancel back to the transfer as E_ABORT.
#pragma once
#include "download/transfer/progress_target.h"

#include <windows.h>
#include <urlmon.h>

namespace pelmora {

class StatusCallBack : public IBindStatusCallback {
public:
    explicit StatusCallBack(HANDLE progressEvent) noexcept : progressEvent_(progressEvent) {}
    virtual ~StatusCallBack() = default;
    StatusCallBack(const StatusCallBack&) = delete;
    StatusCallBack& operator=(const StatusCallBack&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD reserved, IBinding* binding) override;
    HRESULT STDMETHODCALLTYPE GetPriority(LONG* priority) override;
    HRESULT STDMETHODCALLTYPE OnLowResource(DWORD reserved) override;
    HRESULT STDMETHODCALLTYPE OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode,
                                         LPCWSTR statusText) override;
    HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT result, LPCWSTR error) override;
    HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD* flags, BINDINFO* info) override;
    HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD flags, DWORD size, FORMATETC* format,
                                              STGMEDIUM* medium) override;
    HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID riid, IUnknown* object) override;

protected:
    // Restarts the caller's inactivity time-out.
    void SignalProgress() noexcept { ::SetEvent(progressEvent_); }

private:
    LONG refCount_ = 1;     // every call comes from the one transfer thread
    HANDLE progressEvent_;  // borrowed from the job
};

class StatusProgressCallBack : public StatusCallBack {
public:
    StatusProgressCallBack(HANDLE progressEvent, ProgressTarget* progressTarget, int row) noexcept
        : StatusCallBack(progressEvent), progressTarget_(progressTarget), row_(row) {}

    HRESULT STDMETHODCALLTYPE OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode,
                                         LPCWSTR statusText) override;

private:
    ProgressTarget* progressTarget_;  // borrowed: the window that shows the row
    int row_;
    int lastPercent_ = 0;  // the row already shows 0 % when a download starts
};

}  // namespace pelmora
