// Libraries loaded on first use: bound once, kept, and refused with a reason
// when the library or one of its entry points is missing.
#include "platform/shared_library.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct MathApi {
  double (*cos)(double);
};
struct PartialMathApi {
  double (*cos)(double);
  double (*missing)(double);
};
struct AbsentApi {
  void (*anything)();
};

int g_math_binds = 0;

void bind_math(SharedLibraryHandle* library, MathApi* api, std::string* missing) {
  ++g_math_binds;
  shared_library_bind(library, "cos", &api->cos, missing);
}

TEST(SharedLibraryLoadOnce, BindsOnceAndKeepsTheEntryPoints) {
  std::string why = "untouched";
  const MathApi* first = shared_library_load_once<MathApi>("libm.so.6", bind_math, &why);
  ASSERT_NE(first, nullptr) << why;
  EXPECT_EQ(why, "untouched");
  EXPECT_EQ(first->cos(0.0), 1.0);
  EXPECT_EQ(shared_library_load_once<MathApi>("libm.so.6", bind_math, nullptr), first);
  EXPECT_EQ(g_math_binds, 1);
}

TEST(SharedLibraryLoadOnce, AMissingLibraryOrEntryPointIsNamed) {
  std::string why;
  auto bind_absent = [](SharedLibraryHandle* library, AbsentApi* api, std::string* missing) {
    shared_library_bind(library, "anything", &api->anything, missing);
  };
  EXPECT_EQ(shared_library_load_once<AbsentApi>("libtessel-no-such.so.1", bind_absent, &why), nullptr);
  EXPECT_EQ(why, "cannot load libtessel-no-such.so.1");

  auto bind_partial = [](SharedLibraryHandle* library, PartialMathApi* api, std::string* missing) {
    shared_library_bind(library, "tessel_no_such_entry", &api->missing, missing);
    shared_library_bind(library, "cos", &api->cos, missing);
    shared_library_bind(library, "tessel_second_missing", &api->missing, missing);
  };
  EXPECT_EQ(shared_library_load_once<PartialMathApi>("libm.so.6", bind_partial, &why), nullptr);
  EXPECT_EQ(why, "libm.so.6 has no tessel_no_such_entry") << "the first gap is named";
  why.clear();
  EXPECT_EQ(shared_library_load_once<PartialMathApi>("libm.so.6", bind_partial, &why), nullptr);
  EXPECT_EQ(why, "libm.so.6 has no tessel_no_such_entry") << "and stays the answer";
}

}  // namespace
