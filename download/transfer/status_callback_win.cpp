#include "download/transfer/status_callback_win.h"

#include "download/transfer/progress_percent.h"

namespace pelmora {

HRESULT StatusCallBack::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IBindStatusCallback))
        return E_NOINTERFACE;
    *ppv = static_cast<IBindStatusCallback*>(this);
    AddRef();
    return S_OK;
}

ULONG StatusCallBack::AddRef() { return static_cast<ULONG>(++refCount_); }

ULONG StatusCallBack::Release() {
    const LONG count = --refCount_;
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

HRESULT StatusCallBack::OnStartBinding(DWORD, IBinding*) { return E_NOTIMPL; }
HRESULT StatusCallBack::GetPriority(LONG*) { return E_NOTIMPL; }
HRESULT StatusCallBack::OnLowResource(DWORD) { return E_NOTIMPL; }
HRESULT StatusCallBack::OnStopBinding(HRESULT, LPCWSTR) { return E_NOTIMPL; }
HRESULT StatusCallBack::GetBindInfo(DWORD*, BINDINFO*) { return E_NOTIMPL; }
HRESULT StatusCallBack::OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }
HRESULT StatusCallBack::OnObjectAvailable(REFIID, IUnknown*) { return E_NOTIMPL; }

HRESULT StatusCallBack::OnProgress(ULONG, ULONG, ULONG, LPCWSTR) {
    SignalProgress();
    return S_OK;
}

HRESULT StatusProgressCallBack::OnProgress(ULONG progress, ULONG progressMax, ULONG, LPCWSTR) {
    const int percent = ProgressPercent(progress, progressMax);
    // At most one list update per distinct percent, however many notifications.
    if (percent != lastPercent_) {
        lastPercent_ = percent;
        progressTarget_->ShowRowProgress(row_, percent);
    }
    SignalProgress();
    return progressTarget_->InstallActive() ? S_OK : E_ABORT;
}

}  // namespace pelmora
