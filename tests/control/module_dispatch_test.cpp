// The control as a container and a page's script meet it: its interfaces,
// members by id and by name, the type library's names, FillColor's
// conversation with the container, and the safety answers.
#include <atomic>

#include "module_fixture.h"
#include "platform/debug_trace.h"

namespace {

using tessel_testing::ModuleTest;

// Invokes a member through IDispatch with the arguments given (first first).
HRESULT invoke(IDispatch* d, DISPID id, WORD flags, std::vector<VARIANT> args, VARIANT* result) {
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPID put = DISPID_PROPERTYPUT;
  const bool named = flags == DISPATCH_PROPERTYPUT && !args.empty();
  DISPPARAMS params{reversed.data(), named ? &put : nullptr, static_cast<UINT>(reversed.size()), named ? 1u : 0u};
  return d->Invoke(id, IID_NULL, 0, flags, &params, result, nullptr, nullptr);
}

VARIANT i4(int32_t n) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = n;
  return v;
}

DISPID id_of(IDispatch* d, const char16_t* name) {
  OLECHAR* names[] = {const_cast<OLECHAR*>(name)};
  DISPID id = 12345;
  const HRESULT hr = d->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
  return hr == S_OK ? id : DISPID_UNKNOWN;
}

TEST_F(ModuleTest, AnswersTheControlInterfacesWithOneIdentity) {
  ComPtr<ITesselCtrl> control = create<ITesselCtrl>();
  ASSERT_TRUE(control);
  const IID* all[] = {&IID_ITesselCtrl,
                      &IID_IDispatch,
                      &IID_IPersistStreamInit,
                      &IID_IPersist,
                      &IID_IOleControl,
                      &IID_IOleObject,
                      &IID_IOleInPlaceActiveObject,
                      &IID_IOleWindow,
                      &IID_IViewObjectEx,
                      &IID_IViewObject2,
                      &IID_IViewObject,
                      &IID_IOleInPlaceObjectWindowless,
                      &IID_IOleInPlaceObject,
                      &IID_IPersistStorage,
                      &IID_ISpecifyPropertyPages,
                      &IID_IQuickActivate,
                      &IID_IDataObject,
                      &IID_IProvideClassInfo2,
                      &IID_IProvideClassInfo,
                      &IID_IPersistPropertyBag,
                      &IID_IObjectSafety,
                      &IID_ISupportErrorInfo};
  void* identity = nullptr;
  ASSERT_EQ(control->QueryInterface(IID_IUnknown, &identity), S_OK);
  for (const IID* iid : all) {
    void* p = nullptr;
    EXPECT_EQ(control->QueryInterface(*iid, &p), S_OK) << guid_to_string(*iid);
    ASSERT_NE(p, nullptr);
    // Every interface leads back to the same object.
    void* back = nullptr;
    EXPECT_EQ(static_cast<IUnknown*>(p)->QueryInterface(IID_IUnknown, &back), S_OK);
    EXPECT_EQ(back, identity);
    static_cast<IUnknown*>(back)->Release();
    static_cast<IUnknown*>(p)->Release();
  }
  static_cast<IUnknown*>(identity)->Release();

  // The identity is the first interface of the list; interfaces that several
  // of them derive from resolve to the first of those in the list.
  EXPECT_EQ(identity, static_cast<IUnknown*>(control.get()));
  ComPtr<IPersistStreamInit> stream_init = control.query<IPersistStreamInit>();
  EXPECT_EQ(control.query<IPersist>().get(), static_cast<IPersist*>(stream_init.get()));
  ComPtr<IOleInPlaceActiveObject> active = control.query<IOleInPlaceActiveObject>();
  EXPECT_EQ(control.query<IOleWindow>().get(), static_cast<IOleWindow*>(active.get()));
  ComPtr<IViewObjectEx> view = control.query<IViewObjectEx>();
  EXPECT_EQ(control.query<IViewObject>().get(), static_cast<IViewObject*>(view.get()));

  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(control->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
}

TEST_F(ModuleTest, NamesLeadToTheMembersIgnoringCase) {
  ComPtr<IDispatch> d = create<IDispatch>();
  ASSERT_TRUE(d);
  EXPECT_EQ(id_of(d.get(), u"FillColor"), DISPID_FILLCOLOR);
  EXPECT_EQ(id_of(d.get(), u"src"), DISPID_SRC);
  EXPECT_EQ(id_of(d.get(), u"Print"), DISPID_PRINT);
  EXPECT_EQ(id_of(d.get(), u"nextpage"), DISPID_NEXTPAGE);
  EXPECT_EQ(id_of(d.get(), u"PREVPAGE"), DISPID_PREVPAGE);
  EXPECT_EQ(id_of(d.get(), u"Sync"), DISPID_SYNC);
  EXPECT_EQ(id_of(d.get(), u"Syn"), DISPID_UNKNOWN);
  EXPECT_EQ(id_of(d.get(), u"Print2"), DISPID_UNKNOWN);
  OLECHAR* names[] = {const_cast<OLECHAR*>(u"Reload")};
  DISPID id = 0;
  EXPECT_EQ(d->GetIDsOfNames(IID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(id, DISPID_UNKNOWN);
}

TEST_F(ModuleTest, EveryMemberRunsThroughDispatch) {
  ComPtr<IDispatch> d = create<IDispatch>();
  ASSERT_TRUE(d);

  Variant result;
  EXPECT_EQ(invoke(d.get(), DISPID_FILLCOLOR, DISPATCH_PROPERTYPUT, {i4(0x00336699)}, nullptr), S_OK);
  EXPECT_EQ(invoke(d.get(), id_of(d.get(), u"fillcolor"), DISPATCH_PROPERTYGET, {}, &result), S_OK);
  EXPECT_EQ(result.vt, VT_UI4);
  EXPECT_EQ(result.ulVal, 0x00336699u);
  OLE_COLOR stored = 0;
  EXPECT_EQ(d.query<ITesselCtrl>()->get_FillColor(&stored), S_OK);
  EXPECT_EQ(stored, 0x00336699u);

  // Scripts ask for a property as method-or-get.
  EXPECT_EQ(invoke(d.get(), DISPID_SRC, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, &result), S_OK);
  EXPECT_EQ(result.vt, VT_BSTR);
  EXPECT_EQ(SysStringLen(result.bstrVal), 0u);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], ": GET SRC");

  // Setting src downloads (here from a closed port) and keeps the address.
  VARIANT address;
  VariantInit(&address);
  address.vt = VT_BSTR;
  address.bstrVal = bstr_from_ansi("http://127.0.0.1:1/r\xE9sum\xE9.html");
  EXPECT_EQ(invoke(d.get(), id_of(d.get(), u"SRC"), DISPATCH_PROPERTYPUT, {address}, nullptr), S_OK);
  VariantClear(&address);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1], "http://127.0.0.1:1/r\xE9sum\xE9.html: PUT SRC");
  // The getter answers nothing but names the address it keeps in its box.
  Variant kept;
  EXPECT_EQ(invoke(d.get(), DISPID_SRC, DISPATCH_PROPERTYGET, {}, &kept), S_OK);
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[2], "http://127.0.0.1:1/r\xE9sum\xE9.html: GET SRC");

  EXPECT_EQ(invoke(d.get(), id_of(d.get(), u"NextPage"), DISPATCH_METHOD, {}, nullptr), S_OK);
  EXPECT_EQ(invoke(d.get(), DISPID_NEXTPAGE, DISPATCH_METHOD, {}, nullptr), S_OK);
  TesselControlReport report;
  ASSERT_TRUE(exports_.report_control(d.get(), &report));
  EXPECT_EQ(report.current_page, 3);
  EXPECT_EQ(invoke(d.get(), id_of(d.get(), u"PrevPage"), DISPATCH_METHOD, {}, nullptr), S_OK);
  ASSERT_TRUE(exports_.report_control(d.get(), &report));
  EXPECT_EQ(report.current_page, 2);
  // Without a document neither printing nor the transfer has pages to send.
  EXPECT_EQ(invoke(d.get(), id_of(d.get(), u"Print"), DISPATCH_METHOD, {}, nullptr), S_OK);
  EXPECT_EQ(invoke(d.get(), id_of(d.get(), u"Sync"), DISPATCH_METHOD, {}, nullptr), S_OK);
}

TEST_F(ModuleTest, DispatchRefusesWhatNoMemberTakes) {
  ComPtr<IDispatch> d = create<IDispatch>();
  ASSERT_TRUE(d);
  Variant result;
  EXPECT_EQ(invoke(d.get(), 99, DISPATCH_METHOD, {}, &result), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(invoke(d.get(), DISPID_PRINT, DISPATCH_PROPERTYPUT, {i4(1)}, nullptr), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(invoke(d.get(), DISPID_NEXTPAGE, DISPATCH_METHOD, {i4(1)}, nullptr), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(invoke(d.get(), DISPID_FILLCOLOR, DISPATCH_PROPERTYPUT, {}, nullptr), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(invoke(d.get(), DISPID_FILLCOLOR, DISPATCH_PROPERTYPUT, {i4(-1)}, nullptr), DISP_E_OVERFLOW);
  VARIANT text;
  VariantInit(&text);
  text.vt = VT_BSTR;
  text.bstrVal = bstr_from_ansi("blue");
  EXPECT_EQ(invoke(d.get(), DISPID_FILLCOLOR, DISPATCH_PROPERTYPUT, {text}, nullptr), DISP_E_TYPEMISMATCH);
  SysFreeString(text.bstrVal);
  text.bstrVal = bstr_from_ansi("255");
  EXPECT_EQ(invoke(d.get(), DISPID_FILLCOLOR, DISPATCH_PROPERTYPUT, {text}, nullptr), S_OK);
  SysFreeString(text.bstrVal);
  OLE_COLOR stored = 0;
  EXPECT_EQ(d.query<ITesselCtrl>()->get_FillColor(&stored), S_OK);
  EXPECT_EQ(stored, 255u);
  IID other = IID_IDispatch;
  EXPECT_EQ(d->Invoke(DISPID_PRINT, other, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr),
            DISP_E_UNKNOWNINTERFACE);
  EXPECT_EQ(d->Invoke(DISPID_PRINT, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr), S_OK);
}

TEST_F(ModuleTest, FillColorIntoNullFailsWithInvalidPointer) {
  ComPtr<ITesselCtrl> control = create<ITesselCtrl>();
  ASSERT_TRUE(control);
  EXPECT_EQ(control->get_FillColor(nullptr), E_POINTER);
  EXPECT_EQ(control->get_src(nullptr), E_POINTER);
  OLE_COLOR color = 1;
  EXPECT_EQ(control->get_FillColor(&color), S_OK);
  EXPECT_EQ(color, 0u);
}

TEST_F(ModuleTest, TypeLibraryNamesTheInterfaceTheClassAndTheirMembers) {
  ComPtr<IDispatch> d = create<IDispatch>();
  ASSERT_TRUE(d);
  UINT count = 0;
  EXPECT_EQ(d->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(d->GetTypeInfo(0, 0, info.put()), S_OK);
  BStr name, help;
  ASSERT_EQ(info->GetDocumentation(MEMBERID_NIL, name.put(), help.put(), nullptr, nullptr), S_OK);
  EXPECT_EQ(name.ansi(), "ITesselCtrl");
  EXPECT_EQ(help.ansi(), "Tessel Interface");

  // The members in slot order after IDispatch's seven.
  struct Expected {
    DISPID id;
    INVOKEKIND kind;
    const char* name;
    const char* help;
  } expected[] = {{DISPID_FILLCOLOR, INVOKE_PROPERTYPUT, "FillColor", ""},
                  {DISPID_FILLCOLOR, INVOKE_PROPERTYGET, "FillColor", ""},
                  {1, INVOKE_PROPERTYGET, "src", "property src"},
                  {1, INVOKE_PROPERTYPUT, "src", "property src"},
                  {2, INVOKE_FUNC, "Print", "method Print"},
                  {3, INVOKE_FUNC, "NextPage", "method NextPage"},
                  {4, INVOKE_FUNC, "PrevPage", "method PrevPage"},
                  {5, INVOKE_FUNC, "Sync", "method Sync"}};
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->guid, IID_ITesselCtrl);
  EXPECT_EQ(attr->cFuncs, 8);
  EXPECT_NE(attr->wTypeFlags & TYPEFLAG_FDUAL, 0);
  info->ReleaseTypeAttr(attr);
  for (UINT i = 0; i < 8; ++i) {
    FUNCDESC* f = nullptr;
    ASSERT_EQ(info->GetFuncDesc(i, &f), S_OK);
    EXPECT_EQ(f->memid, expected[i].id) << i;
    EXPECT_EQ(f->invkind, expected[i].kind) << i;
    EXPECT_EQ(f->oVft, static_cast<int16_t>((7 + i) * sizeof(void*))) << i;
    info->ReleaseFuncDesc(f);
    ASSERT_EQ(info->GetDocumentation(expected[i].id, name.put(), help.put(), nullptr, nullptr), S_OK);
    EXPECT_EQ(name.ansi(), expected[i].name);
    EXPECT_EQ(help.ansi(), expected[i].help);
  }

  ComPtr<ITypeLib> lib;
  ASSERT_EQ(info->GetContainingTypeLib(lib.put(), nullptr), S_OK);
  ASSERT_EQ(lib->GetDocumentation(-1, nullptr, help.put(), nullptr, nullptr), S_OK);
  EXPECT_EQ(help.ansi(), "Tessel 1.0 Type Library");

  // The class information names the coclass and its one default interface.
  ComPtr<IProvideClassInfo2> class_info = d.query<IProvideClassInfo2>();
  ASSERT_TRUE(class_info);
  ComPtr<ITypeInfo> coclass;
  ASSERT_EQ(class_info->GetClassInfo(coclass.put()), S_OK);
  ASSERT_EQ(coclass->GetDocumentation(MEMBERID_NIL, name.put(), help.put(), nullptr, nullptr), S_OK);
  EXPECT_EQ(name.ansi(), "CTesselCtrl");
  EXPECT_EQ(help.ansi(), "Tessel Class");
  HREFTYPE ref = 0;
  ASSERT_EQ(coclass->GetRefTypeOfImplType(0, &ref), S_OK);
  ComPtr<ITypeInfo> default_interface;
  ASSERT_EQ(coclass->GetRefTypeInfo(ref, default_interface.put()), S_OK);
  ASSERT_EQ(default_interface->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->guid, IID_ITesselCtrl);
  default_interface->ReleaseTypeAttr(attr);
  EXPECT_EQ(coclass->GetRefTypeOfImplType(1, &ref), TYPE_E_ELEMENTNOTFOUND);
  GUID source = IID_ITesselCtrl;
  EXPECT_TRUE(FAILED(class_info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source)));
  EXPECT_EQ(source, GUID_NULL);
}

// A container site that answers IPropertyNotifySink and records the calls.
class RecordingSite final : public IOleClientSite, public IPropertyNotifySink, public IAdviseSink {
 public:
  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (iid == IID_IUnknown || iid == IID_IOleClientSite)
      *object = static_cast<IOleClientSite*>(this);
    else if (iid == IID_IPropertyNotifySink)
      *object = static_cast<IPropertyNotifySink*>(this);
    else if (iid == IID_IAdviseSink)
      *object = static_cast<IAdviseSink*>(this);
    else
      return *object = nullptr, E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override { return --refs; }
  HRESULT ShowObject() override { return S_OK; }
  HRESULT OnChanged(DISPID id) override { return calls.push_back("changed " + std::to_string(id)), S_OK; }
  HRESULT OnRequestEdit(DISPID id) override {
    calls.push_back("request " + std::to_string(id));
    return allow ? S_OK : S_FALSE;
  }
  void OnDataChange() override { calls.push_back("data"); }
  void OnViewChange(DWORD) override { calls.push_back("view"); }

  std::atomic<ULONG> refs{0};
  bool allow = true;
  std::vector<std::string> calls;
};

TEST_F(ModuleTest, FillColorAsksTheContainerAndTellsItsSinks) {
  RecordingSite site;
  std::vector<std::string> trace;
  DebugTraceSink previous = set_debug_trace_sink([&](const char* text) { trace.push_back(text); });
  {
    ComPtr<ITesselCtrl> control = create<ITesselCtrl>();
    ASSERT_TRUE(control);
    ASSERT_EQ(control.query<IOleObject>()->SetClientSite(&site), S_OK);
    ASSERT_EQ(control.query<IViewObject>()->SetAdvise(DVASPECT_CONTENT, 0, &site), S_OK);
    DWORD connection = 0;
    ASSERT_EQ(control.query<IDataObject>()->DAdvise(&site, &connection), S_OK);
    ComPtr<IPersistStreamInit> persist = control.query<IPersistStreamInit>();
    EXPECT_EQ(persist->IsDirty(), S_FALSE);

    site.allow = false;
    EXPECT_EQ(control->put_FillColor(0xFF), S_FALSE);
    EXPECT_EQ(site.calls, std::vector<std::string>{"request -510"});
    EXPECT_TRUE(trace.empty());
    EXPECT_EQ(persist->IsDirty(), S_FALSE);

    site.allow = true;
    site.calls.clear();
    EXPECT_EQ(control->put_FillColor(0xFF), S_OK);
    EXPECT_EQ(site.calls, (std::vector<std::string>{"request -510", "changed -510", "view", "data"}));
    EXPECT_EQ(trace, std::vector<std::string>{"OnFillColorChanged\n"});
    EXPECT_EQ(persist->IsDirty(), S_OK);

    // Frozen events: neither asked nor told, but stored and redrawn.
    site.allow = false;
    site.calls.clear();
    ComPtr<IOleControl> ole_control = control.query<IOleControl>();
    ole_control->FreezeEvents(1);
    ole_control->FreezeEvents(1);
    ole_control->FreezeEvents(0);
    EXPECT_EQ(control->put_FillColor(0x80), S_OK);
    EXPECT_EQ(site.calls, (std::vector<std::string>{"view", "data"}));
    ole_control->FreezeEvents(0);
    site.calls.clear();
    EXPECT_EQ(control->put_FillColor(0x81), S_FALSE);
    OLE_COLOR color = 0;
    control->get_FillColor(&color);
    EXPECT_EQ(color, 0x80u);

    // Page moves ask for a redraw too.
    site.calls.clear();
    control->NextPage();
    EXPECT_EQ(site.calls, std::vector<std::string>{"view"});
    EXPECT_EQ(control.query<IDataObject>()->DUnadvise(connection), S_OK);
    EXPECT_EQ(control.query<IDataObject>()->DUnadvise(connection), OLE_E_NOCONNECTION);
  }
  // The object let go of every reference to the site when it went.
  EXPECT_EQ(site.refs, 0u);
  set_debug_trace_sink(previous);
}

TEST_F(ModuleTest, SafeForScriptingAndDataOnAnyInterface) {
  ComPtr<IObjectSafety> safety = create<IObjectSafety>();
  ASSERT_TRUE(safety);
  const IID arbitrary = {0x12345678, 0x9ABC, 0xDEF0, {1, 2, 3, 4, 5, 6, 7, 8}};
  for (const IID& iid : {arbitrary, IID_IDispatch, IID_IPersistPropertyBag}) {
    DWORD supported = 0, enabled = 0;
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(iid, &supported, &enabled), S_OK);
    EXPECT_EQ(supported, 3u);
    EXPECT_EQ(enabled, 3u);
  }
  EXPECT_EQ(safety->SetInterfaceSafetyOptions(arbitrary, 0xFFFFFFFF, 0), S_OK);
  DWORD supported = 0, enabled = 0;
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(arbitrary, &supported, &enabled), S_OK);
  EXPECT_EQ(enabled, 3u);
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(arbitrary, nullptr, &enabled), E_POINTER);
}

TEST_F(ModuleTest, ObjectDescribesItselfToTheContainer) {
  ComPtr<IOleObject> object = create<IOleObject>();
  ASSERT_TRUE(object);
  DWORD status = 0;
  EXPECT_EQ(object->GetMiscStatus(DVASPECT_CONTENT, &status), S_OK);
  EXPECT_EQ(status, 131473u);
  BStr type;
  EXPECT_EQ(object->GetUserType(1, type.put()), S_OK);
  EXPECT_EQ(type.ansi(), "CTesselCtrl Object");
  CLSID clsid = GUID_NULL;
  EXPECT_EQ(object->GetUserClassID(&clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_TesselCtrl);
  CAUUID pages{};
  ASSERT_EQ(object.query<ISpecifyPropertyPages>()->GetPages(&pages), S_OK);
  ASSERT_EQ(pages.cElems, 1u);
  EXPECT_EQ(pages.pElems[0], CLSID_StockColorPage);
  CoTaskMemFree(pages.pElems);
  void* window = reinterpret_cast<void*>(1);
  EXPECT_TRUE(FAILED(object.query<IOleWindow>()->GetWindow(&window)));
  EXPECT_EQ(window, nullptr);
  EXPECT_EQ(object.query<ISupportErrorInfo>()->InterfaceSupportsErrorInfo(IID_ITesselCtrl), S_OK);
}

}  // namespace
