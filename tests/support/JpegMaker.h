// A JPEG picture made in memory with libjpeg, for tests that need a real album-art file: the
// left half orange (255, 155, 22), the right half link blue (0, 120, 193). Flat areas survive
// the compression within a few steps of each colour.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace melodex_test {

// A progressive picture takes libjpeg's simple progression unless scans gives a script.
inline std::vector<uint8_t> MakeJpeg(int w, int h, bool progressive = false,
                                     const std::vector<jpeg_scan_info>* scans = nullptr) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr jerr{};
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  unsigned char* buf = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buf, &size);
  cinfo.image_width = static_cast<JDIMENSION>(w);
  cinfo.image_height = static_cast<JDIMENSION>(h);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 95, TRUE);
  if (progressive) jpeg_simple_progression(&cinfo);
  if (scans) {
    cinfo.scan_info = scans->data();
    cinfo.num_scans = static_cast<int>(scans->size());
  }
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<JSAMPLE> row(static_cast<size_t>(w) * 3);
  while (cinfo.next_scanline < cinfo.image_height) {
    for (int x = 0; x < w; ++x) {
      bool left = x < w / 2;
      row[static_cast<size_t>(x) * 3 + 0] = left ? 255 : 0;
      row[static_cast<size_t>(x) * 3 + 1] = left ? 155 : 120;
      row[static_cast<size_t>(x) * 3 + 2] = left ? 22 : 193;
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::vector<uint8_t> out(buf, buf + size);
  jpeg_destroy_compress(&cinfo);
  free(buf);
  return out;
}

}  // namespace melodex_test
