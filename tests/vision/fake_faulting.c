/* A stand-in for the recognition plug-in whose engine misbehaves as its
 * language code says: "segv" faults, "abort" aborts, "hang" never returns,
 * each in recognize; "loadsegv" faults in create_ocr; any other code
 * recognises the text "fake". Barcode scans fault. */
#include "uVisionApi.h"

#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

struct zv_handle {
  int kind;
  char code[32];
};

static struct zv_handle library = {1, ""};
static struct zv_handle image = {2, ""};
static struct zv_handle scanner = {3, ""};
static struct zv_handle text = {4, ""};
static struct zv_handle engine = {5, ""};
static const uint16_t fake[] = {'f', 'a', 'k', 'e', 0};
static const uint16_t none[] = {0};

static int32_t add_ref(zv_handle *o) { return o ? 2 : ZV_E_INVALIDARG; }
static int32_t release(zv_handle *o) { return o ? 1 : ZV_E_INVALIDARG; }
static int32_t last_error(const uint16_t **t) {
  *t = none;
  return ZV_OK;
}
static int32_t create_image(zv_handle *l, int32_t w, int32_t h, int32_t layout, int32_t row, const void *px,
                            zv_handle **out) {
  (void)l;
  (void)w;
  (void)h;
  (void)layout;
  (void)row;
  (void)px;
  *out = &image;
  return ZV_OK;
}
static int32_t image_size(zv_handle *i, int32_t *w, int32_t *h) {
  (void)i;
  if (w)
    *w = 1;
  if (h)
    *h = 1;
  return ZV_OK;
}
static void misbehave(const char *code) {
  if (strcmp(code, "segv") == 0 || strcmp(code, "loadsegv") == 0)
    raise(SIGSEGV);
  if (strcmp(code, "abort") == 0)
    abort();
  if (strcmp(code, "hang") == 0)
    for (;;)
      pause();
}
static int32_t create_ocr(zv_handle *l, const char *folder, const char *code, int32_t r1, int32_t r2, zv_handle **out) {
  (void)l;
  (void)folder;
  (void)r1;
  (void)r2;
  strncpy(engine.code, code, sizeof engine.code - 1);
  if (strcmp(code, "loadsegv") == 0)
    misbehave(code);
  *out = &engine;
  return ZV_OK;
}
static int32_t set_mode(zv_handle *o, int32_t m) {
  (void)o;
  (void)m;
  return ZV_OK;
}
static int32_t recognize(zv_handle *o, zv_handle *i, const zv_rect *r, int32_t res, zv_handle **out) {
  (void)i;
  (void)r;
  (void)res;
  misbehave(o->code);
  *out = &text;
  return ZV_OK;
}
static int32_t recognize_progress(zv_handle *o, zv_handle *i, const zv_rect *r, void (*progress)(void *, int32_t),
                                  void *context, zv_handle **out) {
  if (progress)
    progress(context, 50);
  return recognize(o, i, r, 0, out);
}
static int32_t get_text(zv_handle *t, const uint16_t **chars, int32_t *length) {
  (void)t;
  *chars = fake;
  if (length)
    *length = 4;
  return ZV_OK;
}
static int32_t create_scanner(zv_handle *l, int32_t r, zv_handle **out) {
  (void)l;
  (void)r;
  *out = &scanner;
  return ZV_OK;
}
static int32_t scan(zv_handle *s, zv_handle *i, const zv_rect *r, int32_t res, zv_handle **out) {
  (void)s;
  (void)i;
  (void)r;
  (void)res;
  (void)out;
  raise(SIGBUS);
  return ZV_E_FAIL;
}
static int32_t list_count(zv_handle *l, int32_t *c) {
  (void)l;
  *c = 0;
  return ZV_OK;
}
static int32_t list_item(zv_handle *l, int32_t i, zv_handle **out) {
  (void)l;
  (void)i;
  (void)out;
  return ZV_E_RANGE;
}
static int32_t barcode_text(zv_handle *b, zv_handle **out) {
  (void)b;
  (void)out;
  return ZV_E_FAIL;
}

static const zv_api api = {sizeof(zv_api), ZV_ABI_VERSION, add_ref, release, last_error, create_image, image_size,
                           create_ocr, set_mode, recognize, get_text, create_scanner, scan, list_count, list_item,
                           barcode_text, barcode_text, recognize_progress,
                           /* no scan_pixels: the helper reads through create_image and scan */
                           0};

__attribute__((visibility("default"))) int32_t zvision_library_create(uint32_t version, const zv_api **out,
                                                                      zv_handle **lib);
int32_t zvision_library_create(uint32_t version, const zv_api **out, zv_handle **lib) {
  if (version != ZV_ABI_VERSION)
    return ZV_E_VERSION;
  *out = &api;
  *lib = &library;
  return ZV_OK;
}
