// Type libraries described by tables in the module: the names, ids, help
// strings and kinds of a library's interfaces and classes, answered through
// ITypeLib and ITypeInfo.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/com_dispatch.h"

enum TYPEKIND { TKIND_ENUM, TKIND_RECORD, TKIND_MODULE, TKIND_INTERFACE, TKIND_DISPATCH, TKIND_COCLASS };
enum INVOKEKIND { INVOKE_FUNC = 1, INVOKE_PROPERTYGET = 2, INVOKE_PROPERTYPUT = 4, INVOKE_PROPERTYPUTREF = 8 };

inline constexpr uint16_t TYPEFLAG_FCANCREATE = 0x2;
inline constexpr uint16_t TYPEFLAG_FCONTROL = 0x20;
inline constexpr uint16_t TYPEFLAG_FDUAL = 0x40;
inline constexpr uint16_t TYPEFLAG_FOLEAUTOMATION = 0x100;
inline constexpr int IMPLTYPEFLAG_FDEFAULT = 0x1;
inline constexpr MEMBERID MEMBERID_NIL = DISPID_UNKNOWN;

// One member of an interface: a method, or one direction of a property.
// `value_type` is the type of the argument of a put or the result of a get
// (VT_EMPTY for methods without either).
struct TypeMemberDescription {
  const char* name;
  DISPID dispid;
  INVOKEKIND kind;
  VARTYPE value_type;
  const char* help;
};

struct TypeDescription {
  const char* name;
  const char* help;
  GUID guid;
  TYPEKIND kind;
  uint16_t flags;
  const TypeMemberDescription* members;  // interfaces: in slot order
  size_t member_count;
  int default_interface;  // coclasses: index of the type, else -1
  size_t base_slots;      // interfaces: slots before the first member
};

struct TypeLibDescription {
  const char* name;
  const char* help;
  GUID guid;
  uint16_t major, minor;
  const TypeDescription* types;
  size_t type_count;
};

struct TYPEATTR {
  GUID guid;
  LCID lcid;
  MEMBERID memidConstructor, memidDestructor;
  uint32_t cbSizeInstance;
  TYPEKIND typekind;
  uint16_t cFuncs, cVars, cImplTypes, cbSizeVft, cbAlignment, wTypeFlags, wMajorVerNum, wMinorVerNum;
};

struct FUNCDESC {
  MEMBERID memid;
  INVOKEKIND invkind;
  int16_t cParams;
  int16_t oVft;  // offset of the member's slot in the interface's table
  VARTYPE value_type;
};

struct TLIBATTR {
  GUID guid;
  LCID lcid;
  uint16_t wMajorVerNum, wMinorVerNum, wLibFlags;
};

using HREFTYPE = uint32_t;
struct ITypeLib;

struct ITypeInfo : IUnknown {
  virtual HRESULT GetTypeAttr(TYPEATTR** attr) = 0;
  virtual HRESULT GetFuncDesc(UINT index, FUNCDESC** desc) = 0;
  virtual HRESULT GetNames(MEMBERID id, BSTR* names, UINT max_names, UINT* count) = 0;
  virtual HRESULT GetRefTypeOfImplType(UINT index, HREFTYPE* ref) = 0;
  virtual HRESULT GetImplTypeFlags(UINT index, int* flags) = 0;
  virtual HRESULT GetIDsOfNames(OLECHAR** names, UINT count, MEMBERID* ids) = 0;
  virtual HRESULT GetDocumentation(MEMBERID id, BSTR* name, BSTR* doc, DWORD* help_context, BSTR* help_file) = 0;
  virtual HRESULT GetRefTypeInfo(HREFTYPE ref, ITypeInfo** info) = 0;
  virtual HRESULT GetContainingTypeLib(ITypeLib** lib, UINT* index) = 0;
  virtual void ReleaseTypeAttr(TYPEATTR* attr) = 0;
  virtual void ReleaseFuncDesc(FUNCDESC* desc) = 0;

 protected:
  ~ITypeInfo() = default;
};

struct ITypeLib : IUnknown {
  virtual UINT GetTypeInfoCount() = 0;
  virtual HRESULT GetTypeInfo(UINT index, ITypeInfo** info) = 0;
  virtual HRESULT GetTypeInfoOfGuid(REFIID guid, ITypeInfo** info) = 0;
  virtual HRESULT GetLibAttr(TLIBATTR** attr) = 0;
  // index -1 documents the library itself.
  virtual HRESULT GetDocumentation(int index, BSTR* name, BSTR* doc, DWORD* help_context, BSTR* help_file) = 0;
  virtual void ReleaseTLibAttr(TLIBATTR* attr) = 0;

 protected:
  ~ITypeLib() = default;
};

inline constexpr IID IID_ITypeInfo = {0x00020401, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_ITypeLib = {0x00020402, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
COM_INTERFACE_ID(ITypeInfo, IID_ITypeInfo);
COM_INTERFACE_ID(ITypeLib, IID_ITypeLib);

// A type library over a description that outlives it. Null when memory runs out.
ComPtr<ITypeLib> create_type_lib(const TypeLibDescription& description);

// Finds a member id by name, ignoring case as scripts expect; DISPID_UNKNOWN
// when the type has no such member.
DISPID find_member_id(const TypeDescription& type, const OLECHAR* name);
