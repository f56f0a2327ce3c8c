// The property map through streams, storages and property bags, and a page
// that sets only FillColor.
#include "common/http_fixture.h"
#include "module_fixture.h"
#include "platform/dc_cairo.h"
#include "platform/property_bag.h"

namespace {

using tessel_testing::ModuleTest;

// A control whose extent and colour are set.
ComPtr<ITesselCtrl> with_properties(ModuleTest& test, ComPtr<ITesselCtrl> control, int32_t cx, int32_t cy,
                                    OLE_COLOR color) {
  SIZEL size{cx, cy};
  EXPECT_EQ(control.query<IOleObject>()->SetExtent(DVASPECT_CONTENT, &size), S_OK);
  EXPECT_EQ(control->put_FillColor(color), S_OK);
  (void)test;
  return control;
}

void expect_properties(IUnknown* object, int32_t cx, int32_t cy, OLE_COLOR color) {
  ComPtr<ITesselCtrl> control = ComPtr<IUnknown>(object).query<ITesselCtrl>();
  SIZEL size{};
  EXPECT_EQ(control.query<IViewObject2>()->GetExtent(DVASPECT_CONTENT, &size), S_OK);
  EXPECT_EQ(size.cx, cx);
  EXPECT_EQ(size.cy, cy);
  OLE_COLOR got = 0;
  EXPECT_EQ(control->get_FillColor(&got), S_OK);
  EXPECT_EQ(got, color);
}

TEST_F(ModuleTest, StreamRoundTripRestoresOnlyTheProperties) {
  ComPtr<ITesselCtrl> original = with_properties(*this, create<ITesselCtrl>(), 4233, 2646, 0x00C08040);
  ComPtr<IPersistStreamInit> saver = original.query<IPersistStreamInit>();
  EXPECT_EQ(saver->IsDirty(), S_OK);
  ComPtr<IStream> stream = create_memory_stream();
  ASSERT_EQ(saver->Save(stream.get(), 1), S_OK);
  EXPECT_EQ(saver->IsDirty(), S_FALSE);
  uint64_t max = 0;
  saver->GetSizeMax(&max);
  EXPECT_EQ(memory_stream_bytes(stream.get()).size(), max);

  ComPtr<IPersistStreamInit> loader = create<IPersistStreamInit>();
  ASSERT_EQ(stream->Seek(0, STREAM_SEEK_SET, nullptr), S_OK);
  ASSERT_EQ(loader->Load(stream.get()), S_OK);
  expect_properties(loader.get(), 4233, 2646, 0x00C08040);
  // Nothing was downloaded or built, and nobody was told anything.
  EXPECT_FALSE(exports_.dump_tree(loader.get(), stdout)) << "no document";
  EXPECT_TRUE(boxes.empty());
  CLSID clsid = GUID_NULL;
  EXPECT_EQ(loader->GetClassID(&clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_TesselCtrl);
}

TEST_F(ModuleTest, DamagedStreamsLeaveThePropertiesAlone) {
  ComPtr<ITesselCtrl> original = with_properties(*this, create<ITesselCtrl>(), 10, 20, 0x123456);
  ComPtr<IStream> stream = create_memory_stream();
  ASSERT_EQ(original.query<IPersistStreamInit>()->Save(stream.get(), 0), S_OK);
  std::vector<unsigned char> bytes = memory_stream_bytes(stream.get());

  ComPtr<ITesselCtrl> target = with_properties(*this, create<ITesselCtrl>(), 1, 2, 3);
  ComPtr<IPersistStreamInit> loader = target.query<IPersistStreamInit>();
  // Cut short: every length below the whole record.
  for (size_t keep = 0; keep < bytes.size(); ++keep) {
    ComPtr<IStream> cut = create_memory_stream({bytes.begin(), bytes.begin() + static_cast<long>(keep)});
    EXPECT_EQ(loader->Load(cut.get()), STG_E_READFAULT) << keep;
  }
  std::vector<unsigned char> other_version = bytes;
  other_version[1] = 0x02;
  ComPtr<IStream> foreign = create_memory_stream(other_version);
  EXPECT_EQ(loader->Load(foreign.get()), STG_E_OLDFORMAT);
  expect_properties(target.get(), 1, 2, 3);
  EXPECT_EQ(loader->Load(nullptr), E_POINTER);
}

TEST_F(ModuleTest, StorageRoundTripUsesItsContentsStream) {
  ComPtr<ITesselCtrl> original = with_properties(*this, create<ITesselCtrl>(), 300, 200, 0xFF00FF);
  ComPtr<IStorage> storage = create_memory_storage();
  ComPtr<IPersistStorage> saver = original.query<IPersistStorage>();
  ASSERT_EQ(saver->Save(storage.get(), 0), S_OK);
  EXPECT_EQ(saver->SaveCompleted(nullptr), S_OK);
  ComPtr<IStream> contents;
  EXPECT_EQ(storage->OpenStream("Contents", contents.put()), S_OK);

  ComPtr<IPersistStorage> loader = create<IPersistStorage>();
  ASSERT_EQ(loader->Load(storage.get()), S_OK);
  expect_properties(loader.get(), 300, 200, 0xFF00FF);
  EXPECT_FALSE(exports_.dump_tree(loader.get(), stdout)) << "no document";

  ComPtr<IStorage> empty = create_memory_storage();
  EXPECT_EQ(loader->Load(empty.get()), STG_E_FILENOTFOUND);
  expect_properties(loader.get(), 300, 200, 0xFF00FF);
}

TEST_F(ModuleTest, PropertyBagRoundTrip) {
  ComPtr<ITesselCtrl> original = with_properties(*this, create<ITesselCtrl>(), 816, 1056, 0x00ABCDEF);
  MemoryPropertyBag saved;
  ASSERT_EQ(original.query<IPersistPropertyBag>()->Save(&saved, 1, 1), S_OK);
  ASSERT_EQ(saved.values().size(), 3u);
  EXPECT_EQ(saved.read("_cx")->number, 816);
  EXPECT_EQ(saved.read("_cy")->number, 1056);
  EXPECT_EQ(saved.read("FillColor")->number, 0x00ABCDEF);

  // The bag load is the load sequence; with no src it ends without a document.
  ComPtr<IPersistPropertyBag> loader = create<IPersistPropertyBag>();
  EXPECT_EQ(loader->Load(&saved, nullptr), S_OK);
  expect_properties(loader.get(), 816, 1056, 0x00ABCDEF);
}

TEST_F(ModuleTest, PageSettingOnlyFillColorKeepsItAndStaysWhite) {
  tessel_testing::NoSystemProxy no_proxy;
  MemoryPropertyBag bag;
  bag.set("FillColor", "255");
  ComPtr<IPersistPropertyBag> control = create<IPersistPropertyBag>();
  ASSERT_TRUE(control);
  EXPECT_EQ(control->Load(&bag, nullptr), S_OK);
  EXPECT_EQ(boxes, (std::vector<std::string>{
                       "Error: Failure to read Property URL",
                       "Error Downloading: Error downloading information.  Click OK, then press the F5 key to "
                       "try again."}));
  OLE_COLOR color = 0;
  EXPECT_EQ(control.query<ITesselCtrl>()->get_FillColor(&color), S_OK);
  EXPECT_EQ(color, 255u);

  // Persisted: a stream saved from it restores the colour elsewhere.
  ComPtr<IStream> stream = create_memory_stream();
  ASSERT_EQ(control.query<IPersistStreamInit>()->Save(stream.get(), 1), S_OK);
  stream->Seek(0, STREAM_SEEK_SET, nullptr);
  ComPtr<IPersistStreamInit> copy = create<IPersistStreamInit>();
  ASSERT_EQ(copy->Load(stream.get()), S_OK);
  EXPECT_EQ(copy.query<ITesselCtrl>()->get_FillColor(&color), S_OK);
  EXPECT_EQ(color, 255u);

  // Drawn over a background the host erased to white, the view is an empty
  // framed page: the colour appears nowhere.
  auto dc = CairoDc::create_screen(120, 90);
  ASSERT_TRUE(dc);
  const DcObject background = dc->create_solid_brush(dc_rgb(255, 255, 255));
  dc->fill_rect({0, 0, 120, 90}, background);
  dc->delete_object(background);
  const DcRect bounds{10, 10, 110, 80};
  ASSERT_EQ(control.query<IViewObject>()->Draw(DVASPECT_CONTENT, dc.get(), &bounds), S_OK);
  int white = 0, inside = 0, coloured = 0;
  for (int y = 0; y < 90; ++y)
    for (int x = 0; x < 120; ++x) {
      coloured += dc->get_pixel(x, y) == dc_rgb(255, 0, 0);
      if (x > bounds.left && x < bounds.right - 2 && y > bounds.top && y < bounds.bottom - 2) {
        ++inside;
        white += dc->get_pixel(x, y) == dc_rgb(255, 255, 255);
      }
    }
  EXPECT_EQ(white, inside);
  EXPECT_EQ(coloured, 0);
  EXPECT_NE(dc->get_pixel(bounds.left, bounds.top), dc_rgb(255, 255, 255));  // the frame
  EXPECT_EQ(control.query<IViewObject>()->Draw(DVASPECT_CONTENT, nullptr, &bounds), E_INVALIDARG);
}

}  // namespace
