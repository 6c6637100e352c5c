/*
 * Frame-hook module: draws a filled box into every picture.
 *
 *     vhook=/path/to/libokv_drawbox.so x y w h Y U V
 *
 * x, y: top-left corner in pixels (may lie outside the picture); w, h: size in pixels (>= 0);
 * Y, U, V: the colour, 0 to 255 each. The box is clipped to the picture.
 *
 * YUV 4:2:0 pictures: the box's luma samples take Y; a chroma sample takes U and V only when every
 * pixel it covers lies in the box, so no pixel outside the box changes colour. BGR24 pictures:
 * the box's pixels take the colour converted with BT.601 (limited range). Other formats pass
 * unchanged.
 */
#include <errno.h>
#include <limits.h>
#include <stddef.h>
#include <stdlib.h>
#include <string.h>

#include "ostrelkalvexa/frame_hook_module.h"

typedef struct drawbox_context {
  int x, y, w, h;
  uint8_t yuv[3];
  uint8_t bgr[3];
} drawbox_context;

static int parse_int(const char* text, long min, long max, int* out) {
  char* end = NULL;
  long v;
  if (!text || !*text) return 0;
  errno = 0;
  v = strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || v < min || v > max) return 0;
  *out = (int)v;
  return 1;
}

static uint8_t clamp_byte(long v) {
  if (v < 0) return 0;
  v >>= 8;
  return (uint8_t)(v > 255 ? 255 : v);
}

static void yuv_to_bgr(const uint8_t yuv[3], uint8_t bgr[3]) {
  const long c = (long)yuv[0] - 16, d = (long)yuv[1] - 128, e = (long)yuv[2] - 128;
  bgr[0] = clamp_byte(298 * c + 516 * d + 128);
  bgr[1] = clamp_byte(298 * c - 100 * d - 208 * e + 128);
  bgr[2] = clamp_byte(298 * c + 409 * e + 128);
}

int Configure(void** ctx, int argc, char* argv[]) {
  drawbox_context box;
  int v[7];
  int i;
  if (!ctx || argc != 8 || !argv) return -1;
  for (i = 0; i < 7; ++i) {
    long min = i < 2 ? INT_MIN : 0;
    long max = i < 4 ? INT_MAX : 255;
    if (!parse_int(argv[i + 1], min, max, &v[i])) return -1;
  }
  box.x = v[0];
  box.y = v[1];
  box.w = v[2];
  box.h = v[3];
  for (i = 0; i < 3; ++i) box.yuv[i] = (uint8_t)v[4 + i];
  yuv_to_bgr(box.yuv, box.bgr);
  *ctx = malloc(sizeof box);
  if (!*ctx) return -1;
  memcpy(*ctx, &box, sizeof box);
  return 0;
}

static void fill_plane(uint8_t* plane, int linesize, int x0, int y0, int x1, int y1, uint8_t value) {
  int row;
  for (row = y0; row < y1; ++row) memset(plane + (ptrdiff_t)row * linesize + x0, value, (size_t)(x1 - x0));
}

/* [lo, hi) of the chroma samples whose luma samples lie in [x0, x1) of a line `size` long. */
static void covered_chroma(int x0, int x1, int size, int* lo, int* hi) {
  *lo = (x0 + 1) / 2;
  *hi = x1 == size ? (x1 + 1) / 2 : x1 / 2;
}

void Process(void* ctx, okv_picture* picture, int pix_fmt, int width, int height, int64_t pts) {
  const drawbox_context* box = (const drawbox_context*)ctx;
  long long x0, y0, x1, y1;
  (void)pts;
  if (!box || !picture || width <= 0 || height <= 0) return;
  x0 = box->x < 0 ? 0 : box->x;
  y0 = box->y < 0 ? 0 : box->y;
  x1 = (long long)box->x + box->w;
  y1 = (long long)box->y + box->h;
  if (x1 > width) x1 = width;
  if (y1 > height) y1 = height;
  if (x0 >= x1 || y0 >= y1) return;

  if (pix_fmt == OKV_PIX_FMT_YUV420P) {
    int cx0, cx1, cy0, cy1;
    if (!picture->data[0] || !picture->data[1] || !picture->data[2]) return;
    fill_plane(picture->data[0], picture->linesize[0], (int)x0, (int)y0, (int)x1, (int)y1, box->yuv[0]);
    covered_chroma((int)x0, (int)x1, width, &cx0, &cx1);
    covered_chroma((int)y0, (int)y1, height, &cy0, &cy1);
    if (cx0 >= cx1 || cy0 >= cy1) return;
    fill_plane(picture->data[1], picture->linesize[1], cx0, cy0, cx1, cy1, box->yuv[1]);
    fill_plane(picture->data[2], picture->linesize[2], cx0, cy0, cx1, cy1, box->yuv[2]);
  } else if (pix_fmt == OKV_PIX_FMT_BGR24) {
    long long row, col;
    if (!picture->data[0]) return;
    for (row = y0; row < y1; ++row) {
      uint8_t* p = picture->data[0] + (ptrdiff_t)row * picture->linesize[0] + x0 * 3;
      for (col = x0; col < x1; ++col, p += 3) memcpy(p, box->bgr, 3);
    }
  }
}

void Release(void* ctx) { free(ctx); }
