// Fuzzes what a page can hand the control module: the persisted-property
// record a container reads from a stream, and strings a script passes as
// member names and property values. A record the control accepts must save
// back as the same bytes; refused input must leave the properties as they were.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "control/module/tessel_module_exports.h"
#include "platform/com_ole.h"
#include "platform/shared_library.h"

namespace {

struct Module {
  SharedLibrary library;
  TesselModuleExports exports;
};

// Loaded once: <build>/control/Tessel.so beside this program's folder.
Module& module() {
  static Module m = [] {
    Module loaded;
    const std::string path = std::string(program_directory()) + "../control/Tessel.so";
    loaded.library = shared_library_open(path.c_str());
    if (!loaded.library || !loaded.exports.resolve(loaded.library.get())) std::abort();
    return loaded;
  }();
  return m;
}

ComPtr<IDispatch> create_control() {
  ComPtr<IClassFactory> factory;
  ComPtr<IDispatch> control;
  if (module().exports.get_class_object(CLSID_TesselCtrl, IID_IClassFactory, factory.put_void()) != S_OK) std::abort();
  if (factory->CreateInstance(nullptr, IID_IDispatch, control.put_void()) != S_OK) std::abort();
  return control;
}

std::vector<unsigned char> saved(IPersistStreamInit* persist) {
  ComPtr<IStream> stream = create_memory_stream();
  if (persist->Save(stream.get(), 0) != S_OK) std::abort();
  return memory_stream_bytes(stream.get());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  module();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ComPtr<IDispatch> control = create_control();
  ComPtr<IPersistStreamInit> persist = control.query<IPersistStreamInit>();
  const std::vector<unsigned char> before = saved(persist.get());

  ComPtr<IStream> stream = create_memory_stream(std::vector<unsigned char>(data, data + size));
  const HRESULT loaded = persist->Load(stream.get());
  const std::vector<unsigned char> after = saved(persist.get());
  if (SUCCEEDED(loaded)) {
    if (after.size() > size || std::memcmp(after.data(), data, after.size()) != 0) std::abort();
  } else if (after != before) {
    std::abort();
  }

  // The same bytes as UTF-16 text: a member name, then a FillColor value.
  std::vector<OLECHAR> text(size / 2 + 1, 0);
  for (size_t i = 0; i + 1 < size; i += 2) text[i / 2] = static_cast<OLECHAR>(data[i] | data[i + 1] << 8);
  OLECHAR* names[] = {text.data()};
  DISPID id = 0;
  control->GetIDsOfNames(IID_NULL, names, 1, 0, &id);

  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(size / 2));
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{&value, &put, 1, 1};
  control->Invoke(DISPID_FILLCOLOR, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr);
  VariantClear(&value);
  return 0;
}
