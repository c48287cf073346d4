// JPEG decoding with libjpeg-turbo from memory. libjpeg reports fatal errors through
// error_exit, which must not return: it longjmps back here. All the state lives in one heap
// context created before setjmp, so nothing is left half-built when the jump happens.
//
// Pictures come from the network and are decoded on the UI thread, so the work one picture
// may cost is bounded before and while it is decoded: its pixel count (from the header), the
// number of scans and the blocks all scans together cover (a progressive file may refine its
// coefficients one at a time, bit by bit, in thousands of valid scans), and the first
// warning ends it.
#include <cstdio>  // jpeglib.h needs FILE
#include <csetjmp>
#include <memory>
#include <vector>

#include <jpeglib.h>

#include "aygshell/images.h"

namespace aygshell {
namespace {

struct ErrorMgr {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

void ErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorMgr*>(cinfo->err);
  std::longjmp(err->jump, 1);
}

// A warning (corrupt data, a truncated file, a scan out of sequence) fails the picture
// anyway: stop at the first one instead of decoding the rest of a damaged stream. Traces are
// not printed.
void EmitMessage(j_common_ptr cinfo, int level) {
  if (level < 0) ErrorExit(cinfo);
}

// Called by libjpeg as it reads; counts each new scan and the blocks it covers.
struct ScanBudget {
  jpeg_progress_mgr pub{};
  int lastScan = 0;
  uint64_t blocks = 0;
};

void OnProgress(j_common_ptr common) {
  if (!common->is_decompressor) return;
  auto* cinfo = reinterpret_cast<j_decompress_ptr>(common);
  auto* budget = reinterpret_cast<ScanBudget*>(cinfo->progress);
  if (cinfo->input_scan_number == budget->lastScan) return;
  budget->lastScan = cinfo->input_scan_number;
  for (int i = 0; i < cinfo->comps_in_scan; ++i) {
    const jpeg_component_info* comp = cinfo->cur_comp_info[i];
    if (comp) budget->blocks += uint64_t{comp->width_in_blocks} * comp->height_in_blocks;
  }
  if (cinfo->input_scan_number > kMaxJpegScans || budget->blocks > kMaxJpegScanBlocks) ErrorExit(common);
}

struct Context {
  jpeg_decompress_struct cinfo{};
  ErrorMgr err{};
  ScanBudget budget{};
  bool created = false;
  device::Surface out;
  std::vector<JSAMPLE> row;
  ~Context() {
    if (created) jpeg_destroy_decompress(&cinfo);
  }
};

}  // namespace

bool DecodeJpeg(const uint8_t* data, size_t size, device::Surface* out) {
  if (!data || size < 4 || data[0] != 0xFF || data[1] != 0xD8) return false;
  if (size > kMaxImageFileBytes) return false;
  auto ctx = std::make_unique<Context>();
  Context* c = ctx.get();
  c->cinfo.err = jpeg_std_error(&c->err.pub);
  c->err.pub.error_exit = ErrorExit;
  c->err.pub.emit_message = EmitMessage;
  if (setjmp(c->err.jump)) return false;  // ctx's destructor frees libjpeg's memory
  jpeg_create_decompress(&c->cinfo);
  c->created = true;
  // libjpeg's own working memory is bounded too (progressive pictures buffer coefficients).
  c->cinfo.mem->max_memory_to_use = 96L * 1024L * 1024L;
  c->budget.pub.progress_monitor = OnProgress;
  c->cinfo.progress = &c->budget.pub;
  jpeg_mem_src(&c->cinfo, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(&c->cinfo, TRUE) != JPEG_HEADER_OK) return false;
  // The declared size is checked before anything is allocated for the pixels.
  if (c->cinfo.image_width == 0 || c->cinfo.image_height == 0 || c->cinfo.image_width > kMaxImageSide ||
      c->cinfo.image_height > kMaxImageSide ||
      uint64_t{c->cinfo.image_width} * c->cinfo.image_height > kMaxJpegPixels) {
    return false;
  }
  c->cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&c->cinfo);
  if (c->cinfo.output_components != 3) return false;
  const int w = static_cast<int>(c->cinfo.output_width), h = static_cast<int>(c->cinfo.output_height);
  c->out = device::Surface(w, h, 0x00FFFFFF);
  c->row.resize(static_cast<size_t>(w) * 3);
  while (c->cinfo.output_scanline < c->cinfo.output_height) {
    JSAMPROW rows[1] = {c->row.data()};
    int y = static_cast<int>(c->cinfo.output_scanline);
    if (jpeg_read_scanlines(&c->cinfo, rows, 1) != 1) return false;
    uint32_t* dst = c->out.row(y);
    for (int x = 0; x < w; ++x) {
      const JSAMPLE* p = c->row.data() + static_cast<size_t>(x) * 3;
      dst[x] = (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
    }
  }
  jpeg_finish_decompress(&c->cinfo);
  *out = std::move(c->out);
  return true;
}

}  // namespace aygshell
