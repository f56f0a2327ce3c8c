// The module's exports for the host program: they answer only for the
// module's own controls, and read a local document's pictures as the
// control reads the document.
#include <string>
#include <vector>

#include "common/http_fixture.h"
#include "module_fixture.h"

namespace {

using tessel_testing::ModuleTest;

TEST_F(ModuleTest, HostExportsAnswerOnlyForTheModulesOwnControls) {
  ComPtr<IDispatch> control = create<IDispatch>();
  ASSERT_TRUE(control);
  TesselControlReport report;
  ASSERT_TRUE(exports_.report_control(control.get(), &report));
  EXPECT_EQ(report.current_page, 1);
  EXPECT_FALSE(report.load_failed);
  EXPECT_EQ(report.last_print.status, PrintResult::Status::NotRun);
  EXPECT_EQ(report.last_sync.status, SyncResult::Status::NotRun);
  EXPECT_EQ(report.left_out_elements, 0);

  EXPECT_TRUE(exports_.go_to_page(control.get(), 5));
  EXPECT_FALSE(exports_.go_to_page(control.get(), -1));
  ASSERT_TRUE(exports_.report_control(control.get(), &report));
  EXPECT_EQ(report.current_page, 5);
  EXPECT_FALSE(exports_.dump_tree(control.get(), stdout)) << "no document yet";
  EXPECT_TRUE(exports_.on_page_drawn(
      control.get(), [](void*, int) {}, nullptr));
  EXPECT_TRUE(exports_.on_page_drawn(control.get(), nullptr, nullptr));

  // Any other object, even one the module made, is refused.
  ComPtr<IStream> stream = create_memory_stream();
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(exports_.get_class_object(CLSID_TesselCtrl, IID_IClassFactory, factory.put_void()), S_OK);
  for (IUnknown* other :
       {static_cast<IUnknown*>(stream.get()), static_cast<IUnknown*>(factory.get()), static_cast<IUnknown*>(nullptr)}) {
    EXPECT_FALSE(exports_.report_control(other, &report));
    EXPECT_FALSE(exports_.go_to_page(other, 1));
    EXPECT_FALSE(exports_.dump_tree(other, stdout));
    EXPECT_FALSE(exports_.on_page_drawn(
        other, [](void*, int) {}, nullptr));
  }
  EXPECT_EQ(report.current_page, 5) << "a refused report leaves the record alone";
}

TEST_F(ModuleTest, PictureNamesAreTheSourcesOfTheDocumentsPictures) {
  tessel_testing::TempDir dir;
  tessel_testing::write_file(dir.file("d.html"),
                             "<p><IMG SRC=\"a b.png\"><img alt=x src='sub/c.png'></p>"
                             "<a src=link.png>x</a><img><img src=http://127.0.0.1:1/d.png>");
  std::vector<std::string> names;
  auto each = [](void* user, const char* src) { static_cast<std::vector<std::string>*>(user)->push_back(src); };
  ASSERT_TRUE(exports_.picture_names(dir.file("d.html").c_str(), each, &names));
  EXPECT_EQ(names, (std::vector<std::string>{"a b.png", "sub/c.png", "http://127.0.0.1:1/d.png"}));
  EXPECT_FALSE(exports_.picture_names(dir.file("none.html").c_str(), each, &names));
}

}  // namespace
