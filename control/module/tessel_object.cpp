// The control object: its interfaces, reference count, container
// notifications and the standard control members.
#include "control/module/tessel_object.h"

#include <new>

#include "platform/debug_trace.h"

namespace {

using Self = TesselControlObject;

// One interface the object answers; `cast` finds its table in the object.
struct InterfaceEntry {
  const IID* iid;
  IUnknown* (*cast)(Self* self);
};

template <class Interface, class Via = Interface>
IUnknown* as(Self* self) {
  return static_cast<Interface*>(static_cast<Via*>(self));
}

// In the order the object answers them; the first is its identity.
constexpr InterfaceEntry kInterfaces[] = {
    {&IID_ITesselCtrl, as<ITesselCtrl>},
    {&IID_IDispatch, as<IDispatch, ITesselCtrl>},
    {&IID_IPersistStreamInit, as<IPersistStreamInit>},
    {&IID_IPersist, as<IPersist, IPersistStreamInit>},
    {&IID_IOleControl, as<IOleControl>},
    {&IID_IOleObject, as<IOleObject>},
    {&IID_IOleInPlaceActiveObject, as<IOleInPlaceActiveObject>},
    {&IID_IOleWindow, as<IOleWindow, IOleInPlaceActiveObject>},
    {&IID_IViewObjectEx, as<IViewObjectEx>},
    {&IID_IViewObject2, as<IViewObject2, IViewObjectEx>},
    {&IID_IViewObject, as<IViewObject, IViewObjectEx>},
    {&IID_IOleInPlaceObjectWindowless, as<IOleInPlaceObjectWindowless>},
    {&IID_IOleInPlaceObject, as<IOleInPlaceObject, IOleInPlaceObjectWindowless>},
    {&IID_IPersistStorage, as<IPersistStorage>},
    {&IID_ISpecifyPropertyPages, as<ISpecifyPropertyPages>},
    {&IID_IQuickActivate, as<IQuickActivate>},
    {&IID_IDataObject, as<IDataObject>},
    {&IID_IProvideClassInfo2, as<IProvideClassInfo2>},
    {&IID_IProvideClassInfo, as<IProvideClassInfo, IProvideClassInfo2>},
    {&IID_IPersistPropertyBag, as<IPersistPropertyBag>},
    {&IID_IObjectSafety, as<IObjectSafety>},
    {&IID_ISupportErrorInfo, as<ISupportErrorInfo>},
};

constexpr char kUserType[] = "CTesselCtrl Object";
constexpr DWORD kMiscStatus = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_INSIDEOUT |
                              OLEMISC_CANTLINKINSIDE | OLEMISC_RECOMPOSEONRESIZE;
static_assert(kMiscStatus == 131473);

std::atomic<long> usage{0};

}  // namespace

void module_lock() {
  ++usage;
}

void module_unlock() {
  --usage;
}

long module_usage() {
  return usage;
}

TesselControlObject::TesselControlObject() {
  module_lock();
  // Page moves ask the container to redraw the view.
  control_.on_repaint_request = [this] { view_changed(); };
}

TesselControlObject::~TesselControlObject() {
  module_unlock();
}

HRESULT TesselControlObject::create(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  auto* created = new (std::nothrow) TesselControlObject;
  if (created == nullptr) return E_OUTOFMEMORY;
  created->AddRef();
  const HRESULT hr = created->QueryInterface(iid, object);
  created->Release();
  return hr;
}

HRESULT TesselControlObject::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  IUnknown* found = nullptr;
  if (iid == IID_IUnknown) found = kInterfaces[0].cast(this);
  for (const InterfaceEntry& entry : kInterfaces)
    if (found == nullptr && *entry.iid == iid) found = entry.cast(this);
  if (found == nullptr) return E_NOINTERFACE;
  found->AddRef();
  *object = found;
  return S_OK;
}

ULONG TesselControlObject::AddRef() {
  return ++refs_;
}

ULONG TesselControlObject::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

// Container notifications. The site takes part when it answers
// IPropertyNotifySink; without one every edit is allowed.

bool TesselControlObject::request_edit(DISPID id) {
  if (!site_) return true;
  const ComPtr<IPropertyNotifySink> sink = site_.query<IPropertyNotifySink>();
  return !sink || sink->OnRequestEdit(id) != S_FALSE;
}

void TesselControlObject::notify_changed(DISPID id) {
  if (!site_) return;
  if (const ComPtr<IPropertyNotifySink> sink = site_.query<IPropertyNotifySink>()) sink->OnChanged(id);
}

void TesselControlObject::view_changed() {
  if (view_sink_ && (view_aspects_ & DVASPECT_CONTENT) != 0) {
    const ComPtr<IAdviseSink> sink = view_sink_;  // the sink may unadvise itself
    sink->OnViewChange(DVASPECT_CONTENT);
  }
}

void TesselControlObject::data_changed() {
  std::vector<ComPtr<IAdviseSink>> sinks;
  for (const auto& [connection, sink] : data_sinks_) sinks.push_back(sink);
  for (const ComPtr<IAdviseSink>& sink : sinks) sink->OnDataChange();
}

// The stock fill colour: the container may refuse the edit unless its events
// are frozen; the value itself does not change the drawing.
HRESULT TesselControlObject::put_FillColor(OLE_COLOR color) {
  if (freeze_count_ == 0 && !request_edit(DISPID_FILLCOLOR)) return S_FALSE;
  control_.m_clrFillColor = color;
  dirty_ = true;
  if (freeze_count_ == 0) notify_changed(DISPID_FILLCOLOR);
  debug_trace("OnFillColorChanged\n");
  if (control_.on_repaint_request) control_.on_repaint_request();
  data_changed();
  return S_OK;
}

HRESULT TesselControlObject::get_FillColor(OLE_COLOR* color) {
  if (color == nullptr) return E_POINTER;
  *color = control_.m_clrFillColor;
  return S_OK;
}

HRESULT TesselControlObject::get_src(BSTR* value) {
  if (value == nullptr) return E_POINTER;
  std::string text;
  control_.get_src(&text);
  *value = bstr_from_ansi(text.c_str());
  return *value != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT TesselControlObject::put_src(BSTR value) {
  const std::string text = bstr_to_ansi(value, SysStringLen(value));
  return control_.put_src(text.c_str());
}

HRESULT TesselControlObject::Print() {
  return control_.Print();
}

HRESULT TesselControlObject::NextPage() {
  return control_.NextPage();
}

HRESULT TesselControlObject::PrevPage() {
  return control_.PrevPage();
}

HRESULT TesselControlObject::Sync() {
  return control_.Sync();
}

// IOleControl

HRESULT TesselControlObject::GetControlInfo(void* /*info*/) {
  return E_NOTIMPL;
}

HRESULT TesselControlObject::OnMnemonic(void* /*message*/) {
  return E_NOTIMPL;
}

HRESULT TesselControlObject::OnAmbientPropertyChange(DISPID /*id*/) {
  return S_OK;
}

HRESULT TesselControlObject::FreezeEvents(BOOL freeze) {
  if (freeze)
    ++freeze_count_;
  else if (freeze_count_ > 0)
    --freeze_count_;
  return S_OK;
}

// IOleObject

HRESULT TesselControlObject::SetClientSite(IOleClientSite* site) {
  site_ = ComPtr<IOleClientSite>(site);
  return S_OK;
}

HRESULT TesselControlObject::GetClientSite(IOleClientSite** site) {
  if (site == nullptr) return E_POINTER;
  *site = ComPtr<IOleClientSite>(site_).detach();
  return S_OK;
}

HRESULT TesselControlObject::Close(DWORD /*save_option*/) {
  view_sink_.reset();
  data_sinks_.clear();
  return S_OK;
}

HRESULT TesselControlObject::GetUserClassID(CLSID* clsid) {
  return GetClassID(clsid);
}

HRESULT TesselControlObject::GetUserType(DWORD /*form*/, BSTR* type) {
  if (type == nullptr) return E_POINTER;
  *type = bstr_from_ansi(kUserType);
  return *type != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT TesselControlObject::SetExtent(DWORD aspect, const SIZEL* size) {
  if (size == nullptr) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return E_FAIL;
  control_.m_cx = static_cast<uint32_t>(size->cx);
  control_.m_cy = static_cast<uint32_t>(size->cy);
  dirty_ = true;
  return S_OK;
}

HRESULT TesselControlObject::GetExtent(DWORD aspect, SIZEL* size) {
  if (size == nullptr) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return E_FAIL;
  size->cx = static_cast<int32_t>(control_.m_cx);
  size->cy = static_cast<int32_t>(control_.m_cy);
  return S_OK;
}

HRESULT TesselControlObject::GetMiscStatus(DWORD /*aspect*/, DWORD* status) {
  if (status == nullptr) return E_POINTER;
  *status = kMiscStatus;
  return S_OK;
}

// In-place members: the control draws into the container's context and has
// no window of its own.

HRESULT TesselControlObject::GetWindow(void** window) {
  if (window == nullptr) return E_POINTER;
  *window = nullptr;
  return E_FAIL;
}

HRESULT TesselControlObject::ContextSensitiveHelp(BOOL /*enter*/) {
  return E_NOTIMPL;
}

HRESULT TesselControlObject::InPlaceDeactivate() {
  return S_OK;
}

HRESULT TesselControlObject::UIDeactivate() {
  return S_OK;
}

HRESULT TesselControlObject::GetDropTarget(void** target) {
  if (target == nullptr) return E_POINTER;
  *target = nullptr;
  return E_NOTIMPL;
}

HRESULT TesselControlObject::OnFrameWindowActivate(BOOL /*activate*/) {
  return S_OK;
}

HRESULT TesselControlObject::EnableModeless(BOOL /*enable*/) {
  return S_OK;
}

// Views

HRESULT TesselControlObject::Draw(DWORD aspect, DeviceContext* dc, const DcRect* bounds) {
  if (dc == nullptr || bounds == nullptr) return E_INVALIDARG;
  if (aspect != DVASPECT_CONTENT) return E_INVALIDARG;
  control_.Draw(dc, *bounds);
  return S_OK;
}

HRESULT TesselControlObject::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
  view_aspects_ = aspects;
  view_flags_ = flags;
  view_sink_ = ComPtr<IAdviseSink>(sink);
  return S_OK;
}

HRESULT TesselControlObject::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
  if (aspects != nullptr) *aspects = view_aspects_;
  if (flags != nullptr) *flags = view_flags_;
  if (sink != nullptr) *sink = ComPtr<IAdviseSink>(view_sink_).detach();
  return S_OK;
}

HRESULT TesselControlObject::GetViewStatus(DWORD* status) {
  if (status == nullptr) return E_POINTER;
  *status = VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND;
  return S_OK;
}

// Property pages, quick activation, data sinks

HRESULT TesselControlObject::GetPages(CAUUID* pages) {
  if (pages == nullptr) return E_POINTER;
  pages->cElems = 0;
  pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
  if (pages->pElems == nullptr) return E_OUTOFMEMORY;
  // FillColor is edited on the stock colour page; the extent has none.
  pages->pElems[0] = CLSID_StockColorPage;
  pages->cElems = 1;
  return S_OK;
}

HRESULT TesselControlObject::SetContentExtent(const SIZEL* size) {
  return SetExtent(DVASPECT_CONTENT, size);
}

HRESULT TesselControlObject::GetContentExtent(SIZEL* size) {
  return GetExtent(DVASPECT_CONTENT, size);
}

HRESULT TesselControlObject::DAdvise(IAdviseSink* sink, DWORD* connection) {
  if (sink == nullptr || connection == nullptr) return E_POINTER;
  *connection = next_connection_++;
  data_sinks_[*connection] = ComPtr<IAdviseSink>(sink);
  return S_OK;
}

HRESULT TesselControlObject::DUnadvise(DWORD connection) {
  return data_sinks_.erase(connection) != 0 ? S_OK : OLE_E_NOCONNECTION;
}

// Class information, safety, error information

HRESULT TesselControlObject::GetClassInfo(ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  ITypeLib* lib = tessel_type_lib();
  return lib != nullptr ? lib->GetTypeInfo(kTypeIndexClass, info) : E_OUTOFMEMORY;
}

HRESULT TesselControlObject::GetGUID(DWORD kind, GUID* guid) {
  if (guid == nullptr) return E_POINTER;
  *guid = GUID_NULL;
  // The class has no event interface to name.
  return kind == GUIDKIND_DEFAULT_SOURCE_DISP_IID ? E_FAIL : E_INVALIDARG;
}

// Scriptable and initialisable from any page, for every interface.
HRESULT TesselControlObject::GetInterfaceSafetyOptions(REFIID /*iid*/, DWORD* supported, DWORD* enabled) {
  if (supported == nullptr || enabled == nullptr) return E_POINTER;
  *supported = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;
  *enabled = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;
  return S_OK;
}

HRESULT TesselControlObject::SetInterfaceSafetyOptions(REFIID /*iid*/, DWORD /*mask*/, DWORD /*enabled*/) {
  return S_OK;
}

HRESULT TesselControlObject::InterfaceSupportsErrorInfo(REFIID iid) {
  return iid == IID_ITesselCtrl ? S_OK : S_FALSE;
}
