#include "flash_player.h"

#include <ocidl.h>
#include <oleauto.h>

#include "support/text.h"

namespace tessaly::app::win32 {

namespace {

// {D27CDB6E-AE6D-11cf-96B8-444553540000}
constexpr CLSID kFlashClass = {0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

// A BSTR of UTF-8 text; freed with the object.
class Bstr {
public:
    explicit Bstr(std::string_view utf8) {
        const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
        value_ = ::SysAllocStringLen(nullptr, static_cast<UINT>(n > 0 ? n : 0));
        if (value_ && n > 0)
            (void)::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), value_, n);
    }
    ~Bstr() { ::SysFreeString(value_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return value_; }

private:
    BSTR value_ = nullptr;
};

std::string hresultText(const char* what, HRESULT result) {
    return formatNarrow("%s failed (0x%08lx)", what, static_cast<unsigned long>(result));
}

}  // namespace

// The container's side of the control: client site, in-place site and the
// frame, with only what in-place activation in a dialog needs. COM objects
// end through Release, never through a base's destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class FlashSite final : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame {
public:
    FlashSite(HWND parent, const RECT& rect) : parent_(parent), rect_(rect) {}
    void setRect(const RECT& rect) { rect_ = rect; }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite)) {
            *out = static_cast<IOleClientSite*>(this);
        } else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceSite)) {
            *out = static_cast<IOleInPlaceSite*>(this);
        } else if (IsEqualIID(iid, IID_IOleInPlaceFrame) || IsEqualIID(iid, IID_IOleInPlaceUIWindow)) {
            *out = static_cast<IOleInPlaceFrame*>(this);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP GetContainer(IOleContainer** container) override {
        if (container) *container = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow (both sites)
    STDMETHODIMP GetWindow(HWND* window) override {
        if (!window) return E_POINTER;
        *window = parent_;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                  LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
        if (!frame || !document || !position || !clip || !info) return E_POINTER;
        *frame = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
        *document = nullptr;
        *position = rect_;
        *clip = rect_;
        info->fMDIApp = FALSE;
        info->hwndFrame = parent_;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnPosRectChange(LPCRECT rect) override {
        if (rect) rect_ = *rect;
        return S_OK;
    }

    // IOleInPlaceUIWindow
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }

    // IOleInPlaceFrame
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

private:
    ~FlashSite() = default;
    ULONG references_ = 1;
    HWND parent_;
    RECT rect_;
};
#pragma GCC diagnostic pop

int FlashPlayer::create(HWND parent, const RECT& rect, std::string* why) {
    destroy();
    IOleObject* object = nullptr;
    HRESULT result = ::CoCreateInstance(kFlashClass, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                        reinterpret_cast<void**>(&object));
    if (FAILED(result) || !object) {
        if (why) *why = hresultText("creating the control", result);
        return 0;
    }
    object_ = object;
    site_ = new FlashSite(parent, rect);
    auto fail = [&](const char* what, HRESULT code) {
        if (why) *why = hresultText(what, code);
        destroy();
        return 0;
    };
    if (FAILED(result = object_->SetClientSite(site_))) return fail("SetClientSite", result);
    IPersistStreamInit* persist = nullptr;
    if (SUCCEEDED(object_->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist))) && persist) {
        (void)persist->InitNew();
        persist->Release();
    }
    RECT place = rect;
    if (FAILED(result = object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_, 0, parent, &place)))
        return fail("in-place activation", result);
    if (FAILED(result = object_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace_))) ||
        !inPlace_)
        return fail("IOleInPlaceObject", result);
    if (FAILED(result = inPlace_->GetWindow(&window_)) || !window_) return fail("the control's window", result);
    if (FAILED(result = object_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch_))) || !dispatch_)
        return fail("IDispatch", result);
    ::SetWindowLongPtrW(window_, GWLP_ID, 1235);
    ::SetWindowTextW(window_, L"Flash Player");
    return 1;
}

void FlashPlayer::destroy() {
    if (dispatch_) {
        DISPPARAMS none{};
        (void)dispatch_->Invoke(kFlashStop, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr, nullptr,
                                nullptr);
        dispatch_->Release();
        dispatch_ = nullptr;
    }
    if (inPlace_) {
        (void)inPlace_->InPlaceDeactivate();
        inPlace_->Release();
        inPlace_ = nullptr;
    }
    if (object_) {
        (void)object_->Close(OLECLOSE_NOSAVE);
        (void)object_->SetClientSite(nullptr);
        object_->Release();
        object_ = nullptr;
    }
    if (site_) {
        site_->Release();
        site_ = nullptr;
    }
    window_ = nullptr;
}

void FlashPlayer::move(const RECT& rect) {
    if (!site_) return;
    site_->setRect(rect);
    if (inPlace_) (void)inPlace_->SetObjectRects(&rect, &rect);
}

void FlashPlayer::focus() {
    if (window_) ::SetFocus(window_);
}

int FlashPlayer::put(long id, VARIANT& value) {
    if (!dispatch_) return 0;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS parameters{&value, &named, 1, 1};
    return SUCCEEDED(dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &parameters, nullptr,
                                       nullptr, nullptr))
               ? 1
               : 0;
}

int FlashPlayer::putString(long id, std::string_view text) {
    Bstr value(text);
    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = value.get();
    return put(id, v);
}

int FlashPlayer::putInteger(long id, long number) {
    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = number;
    return put(id, v);
}

int FlashPlayer::putBoolean(long id, bool on) {
    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_BOOL;
    v.boolVal = on ? VARIANT_TRUE : VARIANT_FALSE;
    return put(id, v);
}

int FlashPlayer::setVariable(std::string_view name, std::string_view value) {
    if (!dispatch_) return 0;
    Bstr n(name), v(value);
    // Arguments go last first.
    VARIANT arguments[2];
    ::VariantInit(&arguments[0]);
    ::VariantInit(&arguments[1]);
    arguments[0].vt = VT_BSTR;
    arguments[0].bstrVal = v.get();
    arguments[1].vt = VT_BSTR;
    arguments[1].bstrVal = n.get();
    DISPPARAMS parameters{arguments, nullptr, 2, 0};
    return SUCCEEDED(dispatch_->Invoke(kFlashSetVariable, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters,
                                       nullptr, nullptr, nullptr))
               ? 1
               : 0;
}

uint32_t FlashPlayer::version() {
    if (!dispatch_) return 0;
    DISPPARAMS none{};
    VARIANT result;
    ::VariantInit(&result);
    if (FAILED(dispatch_->Invoke(kFlashVersion, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, &result,
                                 nullptr, nullptr)))
        return 0;
    VARIANT number;
    ::VariantInit(&number);
    uint32_t version = 0;
    if (SUCCEEDED(::VariantChangeType(&number, &result, 0, VT_I4))) version = static_cast<uint32_t>(number.lVal);
    ::VariantClear(&result);
    return version;
}

}  // namespace tessaly::app::win32
