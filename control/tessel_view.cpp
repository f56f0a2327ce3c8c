// The page view: the current page drawn in the control's area inside a
// one-pixel frame, and the two navigation members scripts call.
#include "control/tessel_ctrl.h"

#include <climits>
#include <cstring>
#include <memory>
#include <utility>

#include "layout/paginate.h"
#include "layout/render_target.h"
#include "platform/dc.h"
#include "platform/message_box.h"
#include "platform/picture_cache.h"

namespace {

constexpr RtColor kPageWhite = 0x00FFFFFF;
constexpr const char kNoTargetText[] = "Problem creating WebPage.";

// The context's clip region as it was before the draw narrowed it; restored
// on every way out. A context that cannot save its state is not narrowed,
// so that the host never finds its clip region changed after a draw.
class ClipGuard {
 public:
  ClipGuard(DeviceContext* dc, const DcRect& bounds) : dc_(dc), level_(dc->save_dc()) {
    if (level_ != 0) dc_->intersect_clip_rect(bounds);
  }
  ~ClipGuard() {
    if (level_ != 0) dc_->restore_dc(level_);
  }
  ClipGuard(const ClipGuard&) = delete;
  ClipGuard& operator=(const ClipGuard&) = delete;

 private:
  DeviceContext* dc_;
  int level_;
};

// A rectangle outlined with the selected pen and filled with the selected
// brush, right column and bottom row outside it, as a device draws a
// rectangle; inverted sides are swapped first.
void outline_and_fill(DeviceContext* dc, DcRect r) {
  if (r.right < r.left) std::swap(r.left, r.right);
  if (r.bottom < r.top) std::swap(r.top, r.bottom);
  if (r.right - r.left < 1 || r.bottom - r.top < 1) return;
  const DcObject brush = dc->select_object(dc->stock_object(DcStockObject::WhiteBrush));
  if (brush != 0) {
    dc->select_object(brush);
    dc->fill_rect({r.left + 1, r.top + 1, r.right - 1, r.bottom - 1}, brush);
  }
  dc->move_to(r.left, r.top);
  dc->line_to(r.left, r.bottom - 1);
  dc->line_to(r.right - 1, r.bottom - 1);
  dc->line_to(r.right - 1, r.top);
  dc->line_to(r.left, r.top);
}

// Text centred on x with its baseline on y.
void text_centred_on_baseline(DeviceContext* dc, int x, int y, const char* text) {
  const int length = static_cast<int>(std::strlen(text));
  DcSize extent{0, 0};
  DcTextMetrics metrics{0, 0, 0};
  dc->text_extent(text, length, &extent);
  dc->text_metrics(&metrics);
  dc->text_out(x - extent.cx / 2, y - metrics.ascent, text, length);
}

// The frame runs along the outermost visible column and row.
void draw_frame(RenderTarget* target, int width, int height) {
  target->draw_rect(target, 0, 0, width - 2, height - 2);
}

// The view's pages, all on the one target over the control's area.
class ViewSink : public PageSink {
 public:
  ViewSink(CTesselCtrl& control, RenderTarget* target)
      : control_(control), target_(target), width_(page_width(target)), height_(page_height(target)) {}

  // Every page starts on a cleared area, so only the last one stays visible.
  RenderTarget* begin_page(int /*page*/) override {
    target_->fill_rect(target_, 0, 0, width_ - 1, height_ - 1, kPageWhite);
    return target_;
  }

  void no_progress(int /*page*/, pdoc_element* /*element*/) override {
    control_.ShowMessage("Cannot fit on a page", "Error", MB_OK);
  }

  // A page as the host would see it if the draw ended here: framed. The
  // next page's clear paints over the frame.
  bool end_page(int page, const PagePosition& /*start*/) override {
    if (control_.on_page_drawn) {
      draw_frame(target_, width_, height_);
      control_.on_page_drawn(page);
    }
    return true;
  }

 private:
  CTesselCtrl& control_;
  RenderTarget* target_;
  int width_, height_;
};

}  // namespace

void CTesselCtrl::Draw(DeviceContext* dc, const DcRect& bounds) {
  if (dc == nullptr) return;
  ClipGuard clip(dc, bounds);

  // The bounds' right and bottom lie outside the area, so the page is one
  // pixel wider and taller than what is visible.
  RenderTargetPtr target(rt_create(dc, {bounds.left, bounds.top, bounds.right, bounds.bottom}, RT_VERSION));
  m_leftOut = {};
  if (!target) {
    outline_and_fill(dc, bounds);
    text_centred_on_baseline(dc, (bounds.left + bounds.right) / 2, (bounds.top + bounds.bottom) / 2, kNoTargetText);
    return;
  }

  const int width = page_width(target.get());
  const int height = page_height(target.get());
  int pages = 0;
  LeftOutScope left_out;
  if (m_pDocument && m_pDocument->root && m_nCurrentPage > 0) {
    // Each page before the current one is drawn too.
    PictureCacheScope pictures;
    ViewSink sink(*this, target.get());
    pages = paginate(sink, m_pDocument->root, m_nCurrentPage).pages;
  }
  m_nCurrentPage = pages;
  m_leftOut = left_out.report();
  draw_frame(target.get(), width, height);
}

long CTesselCtrl::NextPage() {
  // No upper bound here: the next draw brings the counter back to the last
  // page. It only saturates so that it cannot wrap around.
  if (m_nCurrentPage < INT_MAX) ++m_nCurrentPage;
  if (on_repaint_request) on_repaint_request();
  return S_OK;
}

long CTesselCtrl::PrevPage() {
  m_nCurrentPage = m_nCurrentPage > 1 ? m_nCurrentPage - 1 : 1;
  if (on_repaint_request) on_repaint_request();
  return S_OK;
}
