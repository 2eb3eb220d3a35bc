#pragma once

/*
 * The recognition plug-in's C interface.
 *
 * The plug-in is a shared library that exports one function, the entry point
 * ZV_ENTRY_POINT, which hands out the plug-in's function table and a new
 * library object. Everything else is reached through the table.
 *
 * Objects are opaque, reference-counted handles (zv_handle): a handle that an
 * operation hands out carries one reference, which its receiver gives back
 * with release(); add_ref() takes another. Objects refer to what they need
 * (an engine keeps its library object alive, a barcode item its list), so
 * handles may be released in any order.
 *
 * Every operation returns a status: 0 or more is success, a negative value a
 * failure (the negated errno code that comes nearest, ZV_E_*). After a
 * failure, last_error() gives the plug-in's own description of it.
 *
 * Library objects and scanners may be used from several threads at once; an
 * OCR engine, image, list or text object from one thread at a time.
 *
 * The operations run in the calling process and do not guard it: damaged
 * trained data or an unusual picture can end it (an assertion of the engine
 * or of the barcode reader). The program therefore calls the plug-in only
 * from its helper process (uVisionService.h).
 */

#include <errno.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Version of this interface; the entry point refuses any other. */
#define ZV_ABI_VERSION 1u

/* Name of the exported entry point. */
#define ZV_ENTRY_POINT "zvision_library_create"

/* Status codes. */
#define ZV_OK 0
#define ZV_E_INVALIDARG (-EINVAL) /* an argument out of range, a null pointer, a handle of the wrong kind */
#define ZV_E_NOMEM (-ENOMEM)      /* memory exhausted */
#define ZV_E_NOENT (-ENOENT)      /* a trained-data file missing */
#define ZV_E_BADDATA (-EILSEQ)    /* a trained-data file that is not valid */
#define ZV_E_RANGE (-ERANGE)      /* an index out of range */
#define ZV_E_VERSION (-ENOTSUP)   /* the entry point does not serve the requested interface version */
#define ZV_E_FAIL (-EIO)          /* any other failure inside the plug-in */

/* Channel layout of the pixels handed to create_image (bytes in memory order). */
#define ZV_LAYOUT_GREY8 1  /* one byte per pixel, grey level */
#define ZV_LAYOUT_RGB24 2  /* R, G, B */
#define ZV_LAYOUT_RGBA32 3 /* R, G, B, A (alpha is not read) */
#define ZV_LAYOUT_BGRA32 4 /* B, G, R, A (alpha is not read) */

/* OCR engine modes (set_mode). */
#define ZV_MODE_LEGACY 0      /* the legacy engine only */
#define ZV_MODE_LSTM 1        /* the neural-network engine only */
#define ZV_MODE_LEGACY_LSTM 2 /* both */
#define ZV_MODE_DEFAULT 3     /* whatever the trained data serves best */

typedef struct zv_handle zv_handle;

/* A rectangle of an image in pixels, origin top-left. For recognition and
 * scanning it is clipped to the image; all four fields 0 mean the whole
 * image; a negative width or height is refused. */
typedef struct zv_rect {
  int32_t x;
  int32_t y;
  int32_t width;
  int32_t height;
} zv_rect;

typedef struct zv_api {
  /* sizeof(zv_api) as the plug-in knows it, and the interface version. */
  uint32_t size;
  uint32_t version;

  /* Every handle. add_ref and release return the new reference count
   * (release: 0 when the object is gone). */
  int32_t (*add_ref)(zv_handle *object);
  int32_t (*release)(zv_handle *object);

  /* The calling thread's description of its last failure as zero-terminated
   * UTF-16, valid until the thread's next call into the plug-in; empty when
   * the last call succeeded. Never fails. */
  int32_t (*last_error)(const uint16_t **text);

  /* Library object: makes a plug-in image from width x height pixels of the
   * given layout, rowBytes bytes apart (origin top-left). The plug-in copies
   * the pixels; the memory may be freed when the call returns. */
  int32_t (*create_image)(zv_handle *library, int32_t width, int32_t height, int32_t layout, int32_t rowBytes,
                          const void *pixels, zv_handle **image);
  /* Image size. */
  int32_t (*image_size)(zv_handle *image, int32_t *width, int32_t *height);

  /* Library object: makes an OCR engine that reads the trained data of
   * `language` (a code such as "eng"; several joined with '+') from the file
   * <folder>/<language>.traineddata. Both strings are narrow (the system's
   * encoding), zero-terminated; reserved1 and reserved2 must be 0. A missing
   * file gives ZV_E_NOENT, a file the engine cannot load ZV_E_BADDATA. */
  int32_t (*create_ocr)(zv_handle *library, const char *folder, const char *language, int32_t reserved1,
                        int32_t reserved2, zv_handle **ocr);
  /* OCR engine: sets the engine mode (ZV_MODE_*); the engine starts in
   * ZV_MODE_DEFAULT. */
  int32_t (*set_mode)(zv_handle *ocr, int32_t mode);
  /* OCR engine: recognises all text within `rect` of `image` into a new
   * text object (empty when no text is found); reserved must be 0. An
   * engine may recognise any number of images, each as a fresh engine
   * would: nothing it adapted to on one carries over to the next. */
  int32_t (*recognize)(zv_handle *ocr, zv_handle *image, const zv_rect *rect, int32_t reserved, zv_handle **text);

  /* Text object: its zero-terminated UTF-16 text, owned by the object and
   * valid while it lives; length (may be null) receives the number of
   * 16-bit units before the terminator. */
  int32_t (*text)(zv_handle *text, const uint16_t **chars, int32_t *length);

  /* Library object: makes a barcode scanner; reserved must be 0. */
  int32_t (*create_scanner)(zv_handle *library, int32_t reserved, zv_handle **scanner);
  /* Scanner: reads every barcode within `rect` of `image` into a new
   * barcode list, top to bottom, then left to right; reserved must be 0. */
  int32_t (*scan)(zv_handle *scanner, zv_handle *image, const zv_rect *rect, int32_t reserved, zv_handle **list);
  /* Barcode list: number of barcodes, and item `index` (from 0). */
  int32_t (*list_count)(zv_handle *list, int32_t *count);
  int32_t (*list_item)(zv_handle *list, int32_t index, zv_handle **item);
  /* Barcode item: a new text object with the symbology's name ("QRCode",
   * "Code128", "EAN-13", "DataMatrix" ...), and one with the decoded
   * content. */
  int32_t (*barcode_type)(zv_handle *item, zv_handle **text);
  int32_t (*barcode_value)(zv_handle *item, zv_handle **text);

  /* OCR engine: as recognize, and calls progress(context, percent) now and
   * then on the calling thread with the share of the work done (0 to 100);
   * progress may be null. */
  int32_t (*recognize_progress)(zv_handle *ocr, zv_handle *image, const zv_rect *rect,
                                void (*progress)(void *context, int32_t percent), void *context, zv_handle **text);

  /* Scanner: as scan, on width x height pixels of the given layout, rowBytes
   * bytes apart (origin top-left), read where they lie: nothing is copied,
   * and the pixels must stay as they are until the call returns. A plug-in
   * may leave this entry null; create_image and scan then do the same work
   * on a copy. */
  int32_t (*scan_pixels)(zv_handle *scanner, int32_t width, int32_t height, int32_t layout, int32_t rowBytes,
                         const void *pixels, const zv_rect *rect, int32_t reserved, zv_handle **list);
} zv_api;

/* The entry point: checks that the plug-in serves interface `version`, then
 * hands out its function table (static, valid while the library is loaded)
 * and a new library object. */
typedef int32_t (*zv_library_create_fn)(uint32_t version, const zv_api **api, zv_handle **library);

#ifdef __cplusplus
}
#endif
