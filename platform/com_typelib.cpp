// ITypeLib and ITypeInfo over the tables of com_typelib.h.
#include "platform/com_typelib.h"
#include "platform/com_object.h"

#include <new>

namespace {

char16_t fold(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool same_name(const char* ansi, const OLECHAR* name) {
  size_t i = 0;
  for (; ansi[i] != '\0'; ++i)
    if (name[i] == 0 || fold(static_cast<char16_t>(static_cast<unsigned char>(ansi[i]))) != fold(name[i])) return false;
  return name[i] == 0;
}

// Fills an optional BSTR out-parameter; false when memory ran out.
bool put_text(BSTR* out, const char* text) {
  if (out == nullptr) return true;
  *out = text != nullptr ? bstr_from_ansi(text) : nullptr;
  return text == nullptr || *out != nullptr;
}

class TypeLib;

class TypeInfo final : public ComObject<ITypeInfo> {
 public:
  TypeInfo(TypeLib* lib, UINT index);

  HRESULT GetTypeAttr(TYPEATTR** attr) override;
  HRESULT GetFuncDesc(UINT index, FUNCDESC** desc) override;
  HRESULT GetNames(MEMBERID id, BSTR* names, UINT max_names, UINT* count) override;
  HRESULT GetRefTypeOfImplType(UINT index, HREFTYPE* ref) override;
  HRESULT GetImplTypeFlags(UINT index, int* flags) override;
  HRESULT GetIDsOfNames(OLECHAR** names, UINT count, MEMBERID* ids) override;
  HRESULT GetDocumentation(MEMBERID id, BSTR* name, BSTR* doc, DWORD* help_context, BSTR* help_file) override;
  HRESULT GetRefTypeInfo(HREFTYPE ref, ITypeInfo** info) override;
  HRESULT GetContainingTypeLib(ITypeLib** lib, UINT* index) override;
  void ReleaseTypeAttr(TYPEATTR* attr) override { delete attr; }
  void ReleaseFuncDesc(FUNCDESC* desc) override { delete desc; }

 private:
  const TypeDescription& type() const;
  ComPtr<ITypeLib> lib_;
  TypeLib* owner_;
  UINT index_;
};

class TypeLib final : public ComObject<ITypeLib> {
 public:
  explicit TypeLib(const TypeLibDescription& d) : description(d) {}

  UINT GetTypeInfoCount() override { return static_cast<UINT>(description.type_count); }
  HRESULT GetTypeInfo(UINT index, ITypeInfo** info) override {
    if (info == nullptr) return E_INVALIDARG;
    *info = nullptr;
    if (index >= description.type_count) return TYPE_E_ELEMENTNOTFOUND;
    *info = new (std::nothrow) TypeInfo(this, index);
    return *info != nullptr ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT GetTypeInfoOfGuid(REFIID guid, ITypeInfo** info) override {
    if (info == nullptr) return E_INVALIDARG;
    for (size_t i = 0; i < description.type_count; ++i)
      if (description.types[i].guid == guid) return GetTypeInfo(static_cast<UINT>(i), info);
    *info = nullptr;
    return TYPE_E_ELEMENTNOTFOUND;
  }
  HRESULT GetLibAttr(TLIBATTR** attr) override {
    if (attr == nullptr) return E_INVALIDARG;
    *attr = new (std::nothrow) TLIBATTR{description.guid, 0, description.major, description.minor, 0};
    return *attr != nullptr ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT GetDocumentation(int index, BSTR* name, BSTR* doc, DWORD* help_context, BSTR* help_file) override {
    if (index < -1 || index >= static_cast<int>(description.type_count)) return TYPE_E_ELEMENTNOTFOUND;
    const char* n = index < 0 ? description.name : description.types[index].name;
    const char* h = index < 0 ? description.help : description.types[index].help;
    if (help_context != nullptr) *help_context = 0;
    if (!put_text(help_file, nullptr) || !put_text(name, n) || !put_text(doc, h)) return E_OUTOFMEMORY;
    return S_OK;
  }
  void ReleaseTLibAttr(TLIBATTR* attr) override { delete attr; }

  const TypeLibDescription& description;
};

TypeInfo::TypeInfo(TypeLib* lib, UINT index) : lib_(lib), owner_(lib), index_(index) {}

const TypeDescription& TypeInfo::type() const {
  return owner_->description.types[index_];
}

HRESULT TypeInfo::GetTypeAttr(TYPEATTR** attr) {
  if (attr == nullptr) return E_INVALIDARG;
  const TypeDescription& t = type();
  auto* a = new (std::nothrow) TYPEATTR{};
  if (a == nullptr) return E_OUTOFMEMORY;
  a->guid = t.guid;
  a->memidConstructor = a->memidDestructor = MEMBERID_NIL;
  a->typekind = t.kind;
  a->cFuncs = static_cast<uint16_t>(t.member_count);
  a->cImplTypes = t.default_interface >= 0 ? 1 : 0;
  a->cbSizeVft = static_cast<uint16_t>((t.base_slots + t.member_count) * sizeof(void*));
  a->cbAlignment = alignof(void*);
  a->wTypeFlags = t.flags;
  a->wMajorVerNum = owner_->description.major;
  a->wMinorVerNum = owner_->description.minor;
  *attr = a;
  return S_OK;
}

HRESULT TypeInfo::GetFuncDesc(UINT index, FUNCDESC** desc) {
  if (desc == nullptr) return E_INVALIDARG;
  *desc = nullptr;
  const TypeDescription& t = type();
  if (index >= t.member_count) return TYPE_E_ELEMENTNOTFOUND;
  const TypeMemberDescription& m = t.members[index];
  const bool takes_value = m.kind == INVOKE_PROPERTYPUT || m.kind == INVOKE_PROPERTYPUTREF;
  *desc = new (std::nothrow) FUNCDESC{m.dispid, m.kind, static_cast<int16_t>(takes_value ? 1 : 0),
                                      static_cast<int16_t>((t.base_slots + index) * sizeof(void*)), m.value_type};
  return *desc != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT TypeInfo::GetNames(MEMBERID id, BSTR* names, UINT max_names, UINT* count) {
  if (names == nullptr || count == nullptr) return E_INVALIDARG;
  *count = 0;
  const TypeDescription& t = type();
  for (size_t i = 0; i < t.member_count; ++i)
    if (t.members[i].dispid == id) {
      if (max_names > 0) {
        names[0] = bstr_from_ansi(t.members[i].name);
        if (names[0] == nullptr) return E_OUTOFMEMORY;
        *count = 1;
      }
      return S_OK;
    }
  return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT TypeInfo::GetRefTypeOfImplType(UINT index, HREFTYPE* ref) {
  if (ref == nullptr) return E_INVALIDARG;
  if (index != 0 || type().default_interface < 0) return TYPE_E_ELEMENTNOTFOUND;
  *ref = static_cast<HREFTYPE>(type().default_interface);
  return S_OK;
}

HRESULT TypeInfo::GetImplTypeFlags(UINT index, int* flags) {
  if (flags == nullptr) return E_INVALIDARG;
  if (index != 0 || type().default_interface < 0) return TYPE_E_ELEMENTNOTFOUND;
  *flags = IMPLTYPEFLAG_FDEFAULT;
  return S_OK;
}

HRESULT TypeInfo::GetIDsOfNames(OLECHAR** names, UINT count, MEMBERID* ids) {
  if (names == nullptr || ids == nullptr || count == 0) return E_INVALIDARG;
  // The members of our interfaces take no named arguments.
  for (UINT i = 1; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  ids[0] = names[0] != nullptr ? find_member_id(type(), names[0]) : DISPID_UNKNOWN;
  return ids[0] != DISPID_UNKNOWN && count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
}

HRESULT TypeInfo::GetDocumentation(MEMBERID id, BSTR* name, BSTR* doc, DWORD* help_context, BSTR* help_file) {
  const TypeDescription& t = type();
  const char* n = nullptr;
  const char* h = nullptr;
  if (id == MEMBERID_NIL) {
    n = t.name;
    h = t.help;
  } else {
    for (size_t i = 0; i < t.member_count && n == nullptr; ++i)
      if (t.members[i].dispid == id) {
        n = t.members[i].name;
        h = t.members[i].help;
      }
    if (n == nullptr) return TYPE_E_ELEMENTNOTFOUND;
  }
  if (help_context != nullptr) *help_context = 0;
  if (!put_text(help_file, nullptr) || !put_text(name, n) || !put_text(doc, h)) return E_OUTOFMEMORY;
  return S_OK;
}

HRESULT TypeInfo::GetRefTypeInfo(HREFTYPE ref, ITypeInfo** info) {
  return owner_->GetTypeInfo(ref, info);
}

HRESULT TypeInfo::GetContainingTypeLib(ITypeLib** lib, UINT* index) {
  if (lib == nullptr) return E_INVALIDARG;
  *lib = lib_.get();
  (*lib)->AddRef();
  if (index != nullptr) *index = index_;
  return S_OK;
}

}  // namespace

ComPtr<ITypeLib> create_type_lib(const TypeLibDescription& description) {
  return ComPtr<ITypeLib>::adopt(new (std::nothrow) TypeLib(description));
}

DISPID find_member_id(const TypeDescription& type, const OLECHAR* name) {
  if (name == nullptr) return DISPID_UNKNOWN;
  for (size_t i = 0; i < type.member_count; ++i)
    if (same_name(type.members[i].name, name)) return type.members[i].dispid;
  return DISPID_UNKNOWN;
}
