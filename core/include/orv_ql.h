/*
 * orv_ql.h - the metadata core of Orvanta preview.
 *
 * Functions with C linkage are the only way into the core: initialisation
 * (how ExifTool runs), inspection, the picture entry points, scheduling
 * hints for a previewer, the self-test, and release of what the core hands
 * out. Every text
 * crossing this boundary is NUL-terminated UTF-8. Every string or buffer the
 * core returns is owned by the caller until it is handed back, exactly once,
 * to the matching release function. Arguments are only read during a call.
 *
 * All functions may be called from any thread, concurrently.
 */
#ifndef ORV_QL_H
#define ORV_QL_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define ORV_QL_API __attribute__((visibility("default")))
#else
#define ORV_QL_API
#endif

/*
 * Tells the core where the ExifTool script is and switches every later
 * ExifTool run to an in-process Perl interpreter. Call once per process,
 * before the other calls; the first call with a valid UTF-8 path wins and
 * later calls change nothing. Returns true when the system Perl library is
 * loaded. After a false result with a valid path, ExifTool cannot run at all
 * for the rest of the process. A null or non-UTF-8 path returns false and
 * changes nothing. Without any successful call, ExifTool runs as a child
 * process: "exiftool" from PATH.
 */
ORV_QL_API bool orv_ql_init(const char *exiftool_script_path);

/*
 * Beyond the first six: like orv_ql_init, but every later ExifTool run goes
 * to a resident ExifTool, "/usr/bin/perl SCRIPT [-config FILE] -stay_open
 * True -@ -", one per configuration, started on first use and kept open
 * between runs, so that ExifTool compiles itself once rather than for every
 * run. Results are the same as from the other modes.
 *
 * Returns true when a resident starts and answers. When none can be started
 * (no perl, a script that is not ExifTool), nothing is set and false is
 * returned, so the caller may fall back to orv_ql_init. The first successful
 * call of either kind decides the mode for the process; a later call of
 * either kind changes nothing and reports whether the mode in force works.
 * A null or non-UTF-8 path returns false and changes nothing.
 *
 * A run that takes longer than 60 seconds is killed and fails, as child
 * runs are; a resident idle for 5 minutes leaves and is started again when
 * needed. A resident found stopped or dead before a run is replaced.
 * Residents end with their host, however it ends. In-process runs
 * (orv_ql_init) cannot be interrupted: a file that makes ExifTool loop holds
 * its caller until ExifTool gives up.
 *
 * Limits of every ExifTool process (resident or child): 1 GiB of address
 * space, 60 s of processor time per run, 320 MiB of output per stream. A
 * file that needs more fails with "too large or too complex to read"
 * (in the envelope: "failed to run exiftool: too large or too complex to
 * read"), and the next file is not held by it.
 */
ORV_QL_API bool orv_ql_init_resident(const char *exiftool_script_path);

/*
 * Beyond the first six: like orv_ql_init, but every later ExifTool run is a
 * child process "/usr/bin/perl SCRIPT ...", started clean, under the limits
 * above and the 60 s deadline. For short-lived programs that must be able
 * to stop any run (a thumbnailer): in-process runs cannot be stopped.
 * Returns false, changing nothing, when /usr/bin/perl cannot be run. The
 * first successful initialisation of any kind decides the mode.
 */
ORV_QL_API bool orv_ql_init_child(const char *exiftool_script_path);

/*
 * Beyond the first six, for a previewer that prepares files ahead of need.
 * true: the calling thread's later calls are background work: their
 * ExifTool runs go to resident processes of their own (never queued behind
 * or ahead of a user's request) and are stopped after 5 s. false (every
 * thread's default): they are a user's request again. Child runs take the
 * 5 s deadline too; in-process runs cannot be stopped.
 */
ORV_QL_API void orv_ql_run_as_prefetch(bool prefetch);

/*
 * Beyond the first six: every call of a user's request (not background
 * work) that began before this one, in progress or waiting for ExifTool,
 * fails as soon as possible: inspection with {"error":"failed to run
 * exiftool: abandoned"} (or its usual texts when ExifTool had answered),
 * pictures with null. A resident process running such a call is killed and
 * started afresh on next use. Calls begun afterwards are not affected.
 * In-process and child runs in progress are not stopped; their later runs
 * are.
 */
ORV_QL_API void orv_ql_abandon_requests(void);

/*
 * Inspects one file and returns a compact JSON envelope: {"file":{...}} on
 * success or {"error":"..."}. Never null: when even the envelope cannot be
 * allocated, {"error":"out of memory"}. Release with orv_ql_free_string.
 * Every text value is cut to at most 64 KiB, at a character boundary. The
 * record comes from one version of the file: a file replaced or changed
 * while it is read is read again, once; one that changed again gives
 * {"error":"the file changed while it was read: PATH"}.
 */
ORV_QL_API char *orv_ql_inspect(const char *path);

/*
 * Returns an upright baseline JPEG of the file's picture (or of the first
 * decodable preview embedded in a RAW file), fitted so that its longer side
 * is 1800 pixels, or null when there is none. On success the exact byte count
 * is stored through out_length; with a null out_length the result is null
 * and no work is done.
 * Beyond the first six: files named .jpg/.jpeg, .png, .tif/.tiff,
 * .heic/.heif/.hif, .avif, .webp and .jxl are decoded directly, the decoder
 * chosen by their content; a HEIF collection or burst shows its primary
 * picture, an animation its first frame. `orientation` turns the picture,
 * except for a HEIF file whose container rotates or mirrors it (irot/imir)
 * and a JPEG XL file whose codestream stores an orientation: the file's
 * own turn is applied instead, exactly once.
 * Bounds: a JPEG, PNG or TIFF file above 1 GiB is refused unread (smaller
 * ones are never read whole); a WebP or JPEG XL file is read whole and
 * refused above 256 MiB; an embedded preview above 256 MiB is passed over;
 * HEIF and JPEG XL pictures whose decoded frame and working memory exceed
 * 256 MiB are refused. Decoding holds at most 256 MiB of a picture besides the result, and
 * up to 512 MiB of coefficients for a progressive JPEG.
 * Colours: the JPEG returned carries no ICC profile; its pixels are sRGB. A
 * picture that says it is in another colour space is converted before it
 * is encoded: by its own ICC profile (JPEG APP2, PNG iCCP or gAMA+cHRM,
 * TIFF tag 34675), else by the EXIF mark for Adobe RGB (ColorSpace 0xFFFF
 * "Uncalibrated" with InteropIndex "R03"; for a RAW file's embedded
 * preview, the RAW's own EXIF). Relative colorimetric with black-point
 * compensation, or perceptual where the profile has a perceptual table of
 * its own. CMYK JPEGs are converted through their profile, or by the plain
 * formula without one. A profile that cannot be used leaves the pixels as
 * decoded, never an error; with ORVQL_DEBUG set, notes say why on stderr.
 * Release with orv_ql_free_bytes(bytes, *out_length).
 */
ORV_QL_API uint8_t *orv_ql_preview(const char *path, int64_t orientation, size_t *out_length);

/*
 * Beyond the first six: a thumbnail for file managers. The same picture as
 * orv_ql_preview, fitted into size x size pixels (never enlarged, decoded
 * straight to about that size), turned upright by the file's own
 * orientation (the container's turn for HEIF and JPEG XL when it has one,
 * else EXIF). For a camera RAW file one ExifTool run gives the orientation
 * and the embedded previews together, the first that decodes being taken.
 * size: 1 to 4096. Null when there is no picture; null at once, with no work
 * done, for a null out_length or a size out of range. The bounds of
 * orv_ql_preview apply, except that decoding holds at most 128 MiB per
 * picture (a file manager runs several thumbnailers at once); pictures that
 * need more are refused. Release with orv_ql_free_bytes(bytes, *out_length).
 */
ORV_QL_API uint8_t *orv_ql_thumbnail(const char *path, uint32_t size, size_t *out_length);

/*
 * Beyond the first six: one place of the file's picture at full size (one
 * picture pixel per output pixel), for judging sharpness.
 *
 * The full-size picture is the file's own for the files orv_ql_preview
 * decodes directly; for any other file, the largest embedded JPEG preview
 * that decodes (JpgFromRaw, PreviewImage, OtherImage, compared by the size
 * their headers state, the earlier tag winning a tie). It is turned upright
 * as orv_ql_preview turns its picture (`orientation`, or the file's own turn
 * for HEIF and JPEG XL) and its colours converted to sRGB the same way.
 *
 * In *region: centre_x and centre_y, the centre wanted as fractions (0 to 1)
 * of the upright picture's width and height; width and height, the size
 * wanted in pixels (1 to 8192 each). On success the core fills in the rest:
 * the upright full-size picture's size, and the region given back, which is
 * the one wanted moved inside the picture (never past an edge) and cut to
 * the picture's size where the picture is smaller; `embedded` tells whether
 * it comes from a preview embedded in the file.
 *
 * Returns the region as 8-bit RGB, rows top to bottom, 3 * region_width
 * bytes a row and no padding, with *out_length = 3 * region_width *
 * region_height; null when there is no picture, for a null region or
 * out_length, or a wanted size out of range or a centre outside 0 to 1 or
 * NaN (no work done, nothing filled in). Only what the region needs is
 * decoded: of a JPEG the columns around it and the rows down to its last,
 * of a TIFF the strips or tiles under it, of a PNG the rows down to its
 * last, of a WebP the region cropped by the decoder, of a JPEG XL the
 * region's pixels as the decoder hands them over; a HEIF picture is
 * decoded whole at full size, then cut. The bounds of orv_ql_preview
 * apply. Release with
 * orv_ql_free_bytes(bytes, *out_length).
 */
typedef struct orv_ql_zoom_region {
    double centre_x;
    double centre_y;
    uint32_t width;
    uint32_t height;
    /* filled in on success */
    uint32_t full_width;
    uint32_t full_height;
    uint32_t x;
    uint32_t y;
    uint32_t region_width;
    uint32_t region_height;
    bool embedded;
} orv_ql_zoom_region;

ORV_QL_API uint8_t *orv_ql_zoom(const char *path, int64_t orientation, orv_ql_zoom_region *region,
                                size_t *out_length);

/*
 * Runs "exiftool -ver" and describes the run as text:
 *   status=Some(0) out="12.57" err=""
 * or "failed: <reason>" when ExifTool cannot be started. Never null (when
 * the text cannot be allocated: "failed: out of memory").
 * Release with orv_ql_free_string.
 */
ORV_QL_API char *orv_ql_selftest(void);

/* Releases a string from orv_ql_inspect or orv_ql_selftest. Null is ignored. */
ORV_QL_API void orv_ql_free_string(char *text);

/*
 * Releases a buffer from orv_ql_preview, orv_ql_thumbnail or orv_ql_zoom, with the
 * length reported for it. A null bytes or a zero length is ignored.
 */
ORV_QL_API void orv_ql_free_bytes(uint8_t *bytes, size_t length);

#ifdef __cplusplus
}
#endif

#endif /* ORV_QL_H */
