// A device context for tests that draws nothing: it answers fixed, simple
// text metrics and records every drawing operation with its arguments, so
// layout tests can assert exact sequences and positions without fonts.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "platform/dc.h"
#include "platform/dc_objects.h"

// Metrics at 96 pixels per inch, scaled with the resolution: every character
// 7 pixels wide, ascent 10, descent 3. With proportional metrics they belong
// to a font of 13 pixels character height and scale with the font instead
// (10 points at 96 per inch is 13 pixels).
struct RecordingMetrics {
  int char_width = 7;
  int ascent = 10;
  int descent = 3;
  bool proportional = false;
};

class RecordingDc final : public DeviceContext {
 public:
  explicit RecordingDc(int dpi = 96, int width = 800, int height = 600, RecordingMetrics metrics = {});

  int logical_dpi_x() const override { return dpi_; }
  int logical_dpi_y() const override { return dpi_; }
  int device_width() const override { return width_; }
  int device_height() const override { return height_; }

  DcObject create_font(const DcFontRequest& wanted) override;
  DcObject create_pen(int width, DcColor color) override;
  DcObject create_solid_brush(DcColor color) override;
  DcObject stock_object(DcStockObject which) override { return objects_.stock(which); }
  DcObject select_object(DcObject object) override;
  bool delete_object(DcObject object) override;

  bool text_metrics(DcTextMetrics* metrics) override;
  bool text_out(int x, int y, const char* text, int length) override;
  bool text_extent(const char* text, int length, DcSize* size) override;
  DcColor set_text_color(DcColor color) override;
  DcColor set_bk_color(DcColor color) override;
  int set_bk_mode(int mode) override;
  DcColor get_text_color() const override { return text_color_; }
  DcColor get_bk_color() const override { return bk_color_; }
  int get_bk_mode() const override { return bk_mode_; }

  bool move_to(int x, int y) override;
  bool line_to(int x, int y) override;
  bool fill_rect(const DcRect& rect, DcObject brush) override;

  int set_stretch_mode(int mode) override;
  int stretch_dib(int dest_x, int dest_y, int dest_width, int dest_height, int src_x, int src_y, int src_width,
                  int src_height, const void* bits, size_t bits_size, const DcBitmapInfoHeader* info) override;

  int save_dc() override;
  bool restore_dc(int level) override;
  bool intersect_clip_rect(const DcRect& rect) override;

  DcColor get_pixel(int, int) override { return DC_INVALID_COLOR; }
  bool start_page() override;
  bool end_page() override;

  // The recorded operations, one line each, for example
  //   create_font(Times,-13,400,0,0)=4   select(4)=1   delete(4)
  //   text_color(0x000000)   bk_color(0xffffff)   bk_mode(transparent)
  //   text_out(10,20,"abc")   move_to(1,2)   line_to(3,4)
  //   create_pen(1,0x808080)=5   create_brush(0x0000ff)=6
  //   fill_rect(0,0,10,10,0x0000ff)   stretch_mode(3)
  //   stretch_dib(x,y,w,h,sx,sy,sw,sh)   save_dc()=1   restore_dc(1)   clip(l,t,r,b)
  // A refused delete is recorded as "delete(4) refused". Queries (metrics,
  // extents) are not recorded.
  const std::vector<std::string>& ops() const { return ops_; }
  // The recorded lines that start with prefix.
  std::vector<std::string> ops_starting(const std::string& prefix) const;
  void clear() { ops_.clear(); }
  // Switched off, operations are carried out but not written down: for a
  // run that only counts pages, where the lines would be most of the work.
  void set_recording(bool on) { recording_ = on; }

  // Faces (compared without regard to case) whose fonts cannot be created.
  void refuse_face(const std::string& face);

  size_t live_objects() const { return objects_.live_count(); }
  size_t objects_created() const { return objects_.created_count(); }
  size_t fonts_created() const { return fonts_created_; }
  DcObject selected(DcObjectKind kind) const { return objects_.selected(kind); }
  // The request a font object was made from; null when it is not live.
  const DcFontRequest* font_spec(DcObject font) const;
  DcColor text_color() const { return text_color_; }
  DcColor bk_color() const { return bk_color_; }
  int bk_mode() const { return bk_mode_; }
  int current_x() const { return current_x_; }
  int current_y() const { return current_y_; }

 private:
  // Makes and keeps the line only while recording.
  template <typename MakeLine>
  void record(MakeLine make_line) {
    if (recording_) ops_.emplace_back(make_line());
  }
  // Metrics of the selected font.
  void font_metrics(int* char_width, int* ascent, int* descent) const;

  int dpi_, width_, height_;
  RecordingMetrics metrics_;
  DcObjectTable objects_;
  std::vector<std::string> ops_;
  std::set<std::string> refused_faces_;  // lower case
  DcColor text_color_ = 0;
  DcColor bk_color_ = dc_rgb(255, 255, 255);
  int bk_mode_ = DC_OPAQUE;
  int stretch_mode_ = DC_BLACKONWHITE;
  int current_x_ = 0, current_y_ = 0;
  int saves_ = 0;
  size_t fonts_created_ = 0;
  bool recording_ = true;
};
