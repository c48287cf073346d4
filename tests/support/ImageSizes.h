// Every GIF resource the screens use, with the size they lay it out at (one table for every test
// that checks the artwork). 163, 164 and 166 are not laid out by width (the soft-key bar fixes only
// the height, 34); their widths are the artwork's (tools/art).
#pragma once

namespace melodex_test {

struct GifSize {
  int id;
  int width;
  int height;
};

constexpr GifSize kGifSizes[] = {
    {110, 240, 160}, {113, 320, 46},  {114, 165, 35},  {115, 165, 35},  {116, 165, 35},
    {117, 165, 35},  {171, 165, 35},  {172, 165, 35},  {173, 165, 35},  {174, 165, 35},
    {175, 73, 51},   {118, 240, 150}, {120, 320, 63},  {122, 320, 63},  {124, 240, 120},
    {125, 220, 100}, {127, 88, 88},   {128, 87, 22},   {129, 87, 22},   {130, 87, 22},
    {131, 87, 21},   {132, 87, 21},   {133, 87, 22},   {134, 87, 22},   {135, 87, 23},
    {136, 87, 23},   {137, 87, 22},   {138, 87, 22},   {139, 320, 46},  {142, 156, 63},
    {143, 140, 30},  {144, 320, 46},  {145, 320, 46},  {161, 46, 34},   {162, 64, 34},
    {163, 66, 34},   {164, 54, 34},   {165, 73, 34},   {166, 38, 34},   {176, 172, 45},
    {177, 60, 23},   {178, 202, 41},
};

}  // namespace melodex_test
