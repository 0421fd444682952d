// lienzo: the part of Allegro 4's API that the game's drawing uses, on
// 16-bit (5.6.5) memory bitmaps, for the WebAssembly build, which has no
// Allegro, no window and no input devices. Only that build puts this folder
// on its include path, so the game's own files compile unchanged against
// it. Every drawing call gives the pixels Allegro 4.4's own C routines give
// at 16 bits per pixel (its polygon and circle rasterisers, its blenders,
// its sprite, blit and font code), which the pixel test holds it to. What
// means nothing without a window (the mouse, the keys, `screen`) is here
// only so that the game links; it reads as idle.
#pragma once

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------
// Bitmaps
// ---------------------------------------------------------------------------

struct BITMAP;

// A bitmap's drawing routines: the span filler is the one the shapes go
// through, which the beam swaps for its tables.
struct GFX_VTABLE {
  int color_depth;
  int mask_color;
  void (*hfill)(BITMAP *bmp, int x1, int y, int x2, int color);
};

struct BITMAP {
  int w, h;
  int clip;            // whether drawing is clipped to cl..cr-1, ct..cb-1
  int cl, cr, ct, cb;
  GFX_VTABLE *vtable;
  unsigned char **line;  // the rows
  bool sub;            // a view into another bitmap's pixels
  // Drawing onto it does nothing while set: frames played unseen (a seek)
  // keep every state the drawing carries but spend nothing on pixels.
  bool oculto;
};

BITMAP *create_bitmap(int w, int h);
BITMAP *create_bitmap_ex(int depth, int w, int h);  // 16 bits only
BITMAP *create_sub_bitmap(BITMAP *parent, int x, int y, int w, int h);
void destroy_bitmap(BITMAP *bmp);

inline int bitmap_color_depth(const BITMAP *bmp) { return bmp->vtable->color_depth; }
inline int bitmap_mask_color(const BITMAP *bmp) { return bmp->vtable->mask_color; }
inline bool is_memory_bitmap(const BITMAP *) { return true; }
inline bool is_sub_bitmap(const BITMAP *bmp) { return bmp->sub; }
inline void acquire_bitmap(BITMAP *) {}
inline void release_bitmap(BITMAP *) {}

void set_clip_rect(BITMAP *bmp, int x1, int y1, int x2, int y2);
void get_clip_rect(BITMAP *bmp, int *x1, int *y1, int *x2, int *y2);

constexpr int MASK_COLOR_16 = 0xF81F;

// ---------------------------------------------------------------------------
// Colours and blending
// ---------------------------------------------------------------------------

extern int _rgb_r_shift_15, _rgb_g_shift_15, _rgb_b_shift_15;
extern int _rgb_r_shift_16, _rgb_g_shift_16, _rgb_b_shift_16;
extern int _rgb_r_shift_24, _rgb_g_shift_24, _rgb_b_shift_24;
extern int _rgb_r_shift_32, _rgb_g_shift_32, _rgb_b_shift_32, _rgb_a_shift_32;
extern int _rgb_scale_5[32];
extern int _rgb_scale_6[64];

int makecol(int r, int g, int b);
int makecol16(int r, int g, int b);
int getr(int c);
int getg(int c);
int getb(int c);

using BLENDER_FUNC = unsigned long (*)(unsigned long x, unsigned long y, unsigned long n);
extern BLENDER_FUNC _blender_func16;
extern BLENDER_FUNC _blender_func32;
extern int _blender_alpha;
void set_trans_blender(int r, int g, int b, int a);
void set_add_blender(int r, int g, int b, int a);

constexpr int DRAW_MODE_SOLID = 0;
constexpr int DRAW_MODE_TRANS = 5;
extern int _drawing_mode;
void drawing_mode(int mode, BITMAP *pattern, int x_anchor, int y_anchor);

// ---------------------------------------------------------------------------
// Drawing
// ---------------------------------------------------------------------------

void clear_to_color(BITMAP *bmp, int color);
void clear_bitmap(BITMAP *bmp);
void putpixel(BITMAP *bmp, int x, int y, int color);
int getpixel(BITMAP *bmp, int x, int y);
void hline(BITMAP *bmp, int x1, int y, int x2, int color);
void vline(BITMAP *bmp, int x, int y1, int y2, int color);
void rect(BITMAP *bmp, int x1, int y1, int x2, int y2, int color);
void rectfill(BITMAP *bmp, int x1, int y1, int x2, int y2, int color);
void polygon(BITMAP *bmp, int vertices, const int *points, int color);
void circlefill(BITMAP *bmp, int x, int y, int radius, int color);

void blit(BITMAP *source, BITMAP *dest, int source_x, int source_y, int dest_x, int dest_y, int width, int height);
void masked_blit(BITMAP *source, BITMAP *dest, int source_x, int source_y, int dest_x, int dest_y, int width,
                 int height);
void draw_sprite(BITMAP *bmp, BITMAP *sprite, int x, int y);
void draw_trans_sprite(BITMAP *bmp, BITMAP *sprite, int x, int y);

// ---------------------------------------------------------------------------
// Text, in the game's colour fonts (one byte a character, ISO 8859-1)
// ---------------------------------------------------------------------------

struct FONT;
void destroy_font(FONT *f);
int text_length(const FONT *f, const char *str);
int text_height(const FONT *f);
void textout_ex(BITMAP *bmp, const FONT *f, const char *str, int x, int y, int color, int bg);
void textout_centre_ex(BITMAP *bmp, const FONT *f, const char *str, int x, int y, int color, int bg);
void textprintf_ex(BITMAP *bmp, const FONT *f, int x, int y, int color, int bg, const char *format, ...)
    __attribute__((format(printf, 7, 8)));
void textprintf_centre_ex(BITMAP *bmp, const FONT *f, int x, int y, int color, int bg, const char *format, ...)
    __attribute__((format(printf, 7, 8)));

// ---------------------------------------------------------------------------
// Samples and data files
// ---------------------------------------------------------------------------

struct SAMPLE {
  int bits;      // 8 or 16
  int stereo;
  int freq;
  int priority;
  unsigned long len;  // frames
  unsigned long loop_start, loop_end;
  unsigned long param;
  void *data;    // 8-bit unsigned, or 16-bit signed-with-offset as Allegro keeps them
};
SAMPLE *create_sample(int bits, int stereo, int freq, int len);
void destroy_sample(SAMPLE *s);
inline void lock_sample(SAMPLE *) {}

constexpr int DAT_ID(int a, int b, int c, int d) { return (a << 24) | (b << 16) | (c << 8) | d; }
constexpr int DAT_MAGIC = DAT_ID('A', 'L', 'L', '.');
constexpr int DAT_FILE = DAT_ID('F', 'I', 'L', 'E');
constexpr int DAT_DATA = DAT_ID('D', 'A', 'T', 'A');
constexpr int DAT_FONT = DAT_ID('F', 'O', 'N', 'T');
constexpr int DAT_SAMPLE = DAT_ID('S', 'A', 'M', 'P');
constexpr int DAT_BITMAP = DAT_ID('B', 'M', 'P', ' ');
constexpr int DAT_PROPERTY = DAT_ID('p', 'r', 'o', 'p');
constexpr int DAT_END = -1;
constexpr int F_NOPACK_MAGIC = 0x736C682E;

struct DATAFILE_PROPERTY {
  char *dat;
  int type;
};
struct DATAFILE {
  void *dat;
  int type;
  long size;
  DATAFILE_PROPERTY *prop;
};
void unload_datafile(DATAFILE *dat);
// No packfile reader here: a data file is read from memory by the game's
// own walker; this only says so.
DATAFILE *load_datafile(const char *filename);

// The depth a bitmap of `depth` is built at: this library's one.
int _color_load_depth(int depth, bool hasalpha);

// In-memory packfiles, for the objects read through their type's loader
// (the fonts).
struct PACKFILE_VTABLE {
  int (*pf_fclose)(void *userdata);
  int (*pf_getc)(void *userdata);
  int (*pf_ungetc)(int c, void *userdata);
  long (*pf_fread)(void *p, long n, void *userdata);
  int (*pf_putc)(int c, void *userdata);
  long (*pf_fwrite)(const void *p, long n, void *userdata);
  int (*pf_fseek)(void *userdata, int offset);
  int (*pf_feof)(void *userdata);
  int (*pf_ferror)(void *userdata);
};
struct PACKFILE;
PACKFILE *pack_fopen_vtable(const PACKFILE_VTABLE *vtable, void *userdata);
int pack_fclose(PACKFILE *f);

struct DATAFILE_TYPE {
  int type;
  void *(*load)(PACKFILE *f, long size);
  void (*destroy)(void *data);
};
constexpr int MAX_DATAFILE_TYPES = 4;
extern DATAFILE_TYPE _datafile_type[MAX_DATAFILE_TYPES];

// ---------------------------------------------------------------------------
// What a page has none of: idle input, no screen
// ---------------------------------------------------------------------------

extern volatile int mouse_x, mouse_y, mouse_z, mouse_b;
extern volatile char key[128];
extern BITMAP *screen;
inline void show_mouse(BITMAP *) {}
inline void position_mouse_z(int z) { mouse_z = z; }
inline int poll_mouse() { return 0; }
